#include "model/idcc_hub.h"

IDCCHub::IDCCHub() : QObject(nullptr) { }

IDCCHub::~IDCCHub() = default;

QString IDCCHub::GetDefaultCharacterNodeName() { return QStringLiteral("--- None ---"); }

void IDCCHub::setCharacterTool(CharacterTool* tool) { characterTool_ = tool; }

void IDCCHub::UpdateDccCharacterSkeleton(const QString&, const QString&, const QString&, int, bool) { }

void IDCCHub::UpdateDccDeleteCharacter(const QString&) { }

const QGLWidget* IDCCHub::GetGLShareWidget() const { return nullptr; }

void IDCCHub::UpdateDccCharacterUI() { }

void IDCCHub::RegisterCharacterizationNode(const QString&) { }

void IDCCHub::UnregisterCharacterizationNode(const QString&) { }

void IDCCHub::UpdateDccBoneInvertedState(int, bool) { }

bool IDCCHub::PostCharacterUpdate(const QString&) { return false; }

QString IDCCHub::SanitizeBoneName(const QString& name) const { return name; }

void IDCCHub::SetCharacterState(VLMCharacter*, VLMCharacterState*) { }

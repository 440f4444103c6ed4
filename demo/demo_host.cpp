#include "demo_host.h"

#include "ui/ui_functions.h"

namespace {

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// A rig node argument by its name, which says more than its id.
QString nodeText(int node)
{
    const QString name = NodeDisplayName(node);
    return name.isEmpty() ? QString::number(node) : name;
}

// One notification as the call the host received: Name(argument, ...).
QString callText(const char* name, const QStringList& arguments = QStringList())
{
    return QLatin1String(name) + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')');
}

}  // namespace

DemoHost::DemoHost() = default;

DemoHost::~DemoHost() = default;

void DemoHost::AddCharacter(const QString& name)
{
    if (!name.isEmpty() && !characters_.contains(name))
        characters_ << name;
}

QString DemoHost::NextCharacterName() const
{
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("Character%1").arg(n);
        if (!characters_.contains(name))
            return name;
    }
}

void DemoHost::SelectNode(const QString& node)
{
    StandInHost::SelectNode(node);
    emit Notified(callText("SelectNode", {quoted(node)}));
    emit selectionChanged();
}

void DemoHost::RegisterAssignedNode(const QString& node)
{
    StandInHost::RegisterAssignedNode(node);
    emit Notified(callText("RegisterAssignedNode", {quoted(node)}));
}

void DemoHost::UnregisterAssignedNode(const QString& node)
{
    StandInHost::UnregisterAssignedNode(node);
    emit Notified(callText("UnregisterAssignedNode", {quoted(node)}));
}

void DemoHost::UpdateDccCharacterSkeleton(const QString& oldNode, const QString& newNode,
                                          const QString& characterization, int characterBone, bool nodeRemoved)
{
    StandInHost::UpdateDccCharacterSkeleton(oldNode, newNode, characterization, characterBone, nodeRemoved);
    emit Notified(callText("UpdateDccCharacterSkeleton", {quoted(oldNode), quoted(newNode), quoted(characterization),
                                                          nodeText(characterBone), boolText(nodeRemoved)}));
}

void DemoHost::UpdateDccDeleteCharacter(const QString& characterization)
{
    StandInHost::UpdateDccDeleteCharacter(characterization);
    characters_.removeAll(characterization);
    emit Notified(callText("UpdateDccDeleteCharacter", {quoted(characterization)}));
}

void DemoHost::UpdateDccCharacterUI()
{
    StandInHost::UpdateDccCharacterUI();
    emit Notified(callText("UpdateDccCharacterUI"));
}

void DemoHost::RegisterCharacterizationNode(const QString& name)
{
    StandInHost::RegisterCharacterizationNode(name);
    emit Notified(callText("RegisterCharacterizationNode", {quoted(name)}));
}

void DemoHost::UnregisterCharacterizationNode(const QString& name)
{
    StandInHost::UnregisterCharacterizationNode(name);
    emit Notified(callText("UnregisterCharacterizationNode", {quoted(name)}));
}

void DemoHost::UpdateDccBoneInvertedState(int characterBone, bool inverted)
{
    StandInHost::UpdateDccBoneInvertedState(characterBone, inverted);
    emit Notified(callText("UpdateDccBoneInvertedState", {nodeText(characterBone), boolText(inverted)}));
}

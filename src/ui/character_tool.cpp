#include "ui/character_tool.h"

#include "base/tool_identity.h"
#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "model/resource_bridge.h"
#include "ui/config_mirror_dialog.h"
#include "ui/name_match_widget.h"
#include "ui/property_view.h"
#include "ui/schematic_widget.h"
#include "ui/ui_functions.h"
#include "widgets/icon_button.h"

#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const int kPanelWidth = 392;
const int kPanelHeight = 660;

// A tab page with a filled background.
QWidget* makePage(QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setAutoFillBackground(true);
    return page;
}

// The page's main view above its property view, in a vertical layout of
// margin 1; neither takes the keyboard focus.
void addViews(QWidget* page, QWidget* view, QWidget* properties)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(view);
    layout->addWidget(properties);
    view->setFocusPolicy(Qt::NoFocus);
    properties->setFocusPolicy(Qt::NoFocus);
}

}  // namespace

CharacterTool::CharacterTool(bool keepOnNew, const char* path1, const char* path2, QWidget* parent, IDCCHub* hub)
    : QWidget(parent), hub_(hub), keepOnNew_(keepOnNew)
{
    if (!parent)
        return;
    if (hub_)
        hub_->setCharacterTool(this);

    bridge_ =
        new ResourceBridge(MakePortablePath(QString::fromUtf8(path1)), MakePortablePath(QString::fromUtf8(path2)));
    model_ = new CharacterizationModel(bridge_, hub_);
    connect(model_, SIGNAL(ModelChanged()), this, SLOT(SyncOnModel()));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(5);
    auto* tabs = new QTabWidget(this);
    layout->addWidget(tabs, 1);

    QWidget* figurePage = makePage(this);
    schematic_ = new SchematicWidget(figurePage, bridge_, hub_, model_);
    addViews(figurePage, schematic_, new PropertyView(figurePage, hub_, model_));
    tabs->addTab(figurePage, tr("Figure"));

    // The tab widget adopts the page.
    QWidget* listPage = makePage(nullptr);
    nameMatch_ = new NameMatchWidget(listPage, hub_, bridge_, model_);
    nameMatch_->setMinimumHeight(schematic_->minimumHeight());
    addViews(listPage, nameMatch_, new PropertyView(listPage, hub_, model_));
    tabs->addTab(listPage, tr("Name Match"));

    // At least 392 wide, and wider when the views need it in the host's
    // font: a minimum set by hand would otherwise let the layout squeeze the
    // property views below what they need, and cut them off.
    setMinimumWidth(std::max(kPanelWidth, layout->minimumSize().width()));
    emit model_->ModelChanged();
}

CharacterTool::~CharacterTool()
{
    if (hub_) {
        if (hub_->characterTool_ == this)
            hub_->setCharacterTool(nullptr);
        // The model leaves the hub in its own destructor; the views must not
        // hear a selection change that the host sends while the
        // characterizations unregister themselves below.
        for (QObject* child : findChildren<QObject*>())
            disconnect(hub_, nullptr, child, nullptr);
    }
    delete bridge_;
    bridge_ = nullptr;
    delete model_;
    model_ = nullptr;
}

CharacterizationModel* CharacterTool::GetModel() { return model_; }

IDCCHub* CharacterTool::GetDCCHub() { return hub_; }

ResourceBridge* CharacterTool::GetBridge() { return bridge_; }

Characterization* CharacterTool::GetCharacterization() const
{
    return model_ ? model_->GetCurrentCharacterization() : nullptr;
}

// Adding already makes it current; selecting the last index again would only
// repeat the revalidation.
void CharacterTool::SetCharacterization(Characterization* characterization)
{
    if (model_)
        model_->AddCharacterization(characterization);
}

void CharacterTool::CreateCharacterization(QString name)
{
    if (!model_)
        return;
    for (int i = 0; i < model_->CharacterizationCount(); ++i) {
        const Characterization* c = model_->CharacterizationAt(i);
        if (c && c->GetName() == name)
            return;
    }
    model_->AddCharacterization(new Characterization(name, hub_));
}

void CharacterTool::ClearCharacterization()
{
    if (model_)
        model_->ClearAll();
}

void CharacterTool::ShowSave() { OnSave(); }

void CharacterTool::ShowAutoMatch() { AutoMatch(); }

void CharacterTool::ShowExtractTemplate() { ExtractTemplate(); }

void CharacterTool::ShowConfigMirror() { ConfigMirror(); }

void CharacterTool::ShowHelp() { Help(); }

void CharacterTool::ShowAbout() { About(); }

void CharacterTool::DoToggleEditMode() { ToggleEditMode(); }

void CharacterTool::DoToggleMirrorMode() { ToggleMirrorMode(); }

void CharacterTool::DoDelete(bool confirm)
{
    confirmDelete_ = confirm;
    OnDelete();
    confirmDelete_ = true;
}

void CharacterTool::AddAction(QAction*) { }

const char* CharacterTool::GetToolName() { return ToolIdentity::GetToolName(); }

float CharacterTool::GetToolVersion() { return ToolIdentity::GetToolVersion(); }

const char* CharacterTool::GetCompactName() { return ToolIdentity::GetCompactName(); }

// 392 by 660, or what the views need in the host's font when that is more.
QSize CharacterTool::sizeHint() const
{
    return QSize(kPanelWidth, kPanelHeight).expandedTo(minimumSizeHint());
}

// --- Slots ---

void CharacterTool::OnOpen() { }

void CharacterTool::OnSave() { }

void CharacterTool::OnNew()
{
    if (!model_)
        return;
    if (!keepOnNew_)
        model_->RemoveCurrentCharacterization();
    model_->CreateNewCharacterization();
}

void CharacterTool::OnMenu() { }

void CharacterTool::OnDelete() { deleteCurrent(); }

bool CharacterTool::deleteCurrent()
{
    if (!model_)
        return false;
    if (confirmDelete_ && ShowCenteredMessageBox(QMessageBox::Question, tr("Delete Characterization"),
                                                 tr("Are you sure you want to delete the current characterization?"),
                                                 this, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return false;
    Characterization* doomed = model_->GetCurrentCharacterization();
    if (doomed && hub_) {
        hub_->UpdateDccDeleteCharacter(doomed->GetName());
        // The host may have changed the list while it was told: remove the
        // one it was told about, when it is still there.
        if (model_->GetCurrentCharacterization() != doomed) {
            int index = model_->CharacterizationCount() - 1;
            while (index >= 0 && model_->CharacterizationAt(index) != doomed)
                --index;
            if (index < 0)
                return false;
            model_->SetCurrentCharacterization(index);
        }
    }
    model_->RemoveCurrentCharacterization();
    if (model_->CharacterizationCount() == 0)
        model_->CreateNewCharacterization();
    else
        model_->SetCurrentCharacterization(0);
    return doomed != nullptr;
}

void CharacterTool::AutoMatch() { }

void CharacterTool::ExtractTemplate() { }

void CharacterTool::ConfigMirror()
{
    if (!model_)
        return;
    ConfigMirrorDialog dialog(this, PathToQString(bridge_->GetSettingsFilePath()));
    if (dialog.exec() == QDialog::Accepted)
        model_->LoadMirrorList();
}

void CharacterTool::OnDownArrow()
{
    if (!model_)
        return;
    int node = model_->GetEditedPart() - 1;
    if (node < 0)
        node = VLM_NODE_COUNT - 1;
    model_->SetEditedPart(node, false);
}

void CharacterTool::OnUpArrow()
{
    if (!model_)
        return;
    int node = model_->GetEditedPart() + 1;
    if (node >= VLM_NODE_COUNT)
        node = 0;
    model_->SetEditedPart(node, false);
}

void CharacterTool::SyncOnModel() { }

void CharacterTool::SetCharacterization(int index)
{
    if (model_)
        model_->SetCurrentCharacterization(index);
}

void CharacterTool::ToggleMirrorMode()
{
    if (model_)
        model_->SetMirrorMode(!model_->IsMirrorMode());
}

void CharacterTool::ToggleEditMode()
{
    if (!model_)
        return;
    if (!model_->IsLocked()) {
        if (!model_->GetStatus().IsOkOrWarning()) {
            ShowCenteredMessageBox(
                QMessageBox::Warning, tr("Validation Warning"),
                tr("Your characterization is not yet valid.\nOnly valid characterizations can be locked."), this,
                QMessageBox::Ok);
            return;
        }
        model_->SetEditMode(true, std::vector<int>());
        return;
    }
    // Without a host there is no skeleton to check the joints against.
    std::vector<int> missing;
    if (hub_) {
        QStringList joints;
        hub_->GetSkeletonNodes(joints);
        model_->FindMissingNodes(joints, missing);
    }
    if (!missing.empty()) {
        const Characterization* asked = model_->GetCurrentCharacterization();
        if (ShowCenteredMessageBox(QMessageBox::Warning, tr("Validation Warning"),
                                   tr("One or more bones in the current characterization cannot be found in the "
                                      "skeleton.\nAll invalid nodes will be cleared from the characterization."),
                                   this, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
        // The box runs an event loop: the list may have changed meanwhile.
        if (model_->GetCurrentCharacterization() != asked || !model_->IsLocked())
            return;
    }
    model_->SetEditMode(false, missing);
}

void CharacterTool::Help() { }

void CharacterTool::About() { }

// --- Private members ---

QPushButton* CharacterTool::CreateButton(QWidget* parent, const char* picture, const char* slot)
{
    return CreateButton(parent, QString::fromUtf8(picture), slot);
}

QPushButton* CharacterTool::CreateButton(QWidget*, const QString& picture, const char* slot)
{
    QPushButton* button = MakeIconButton(bridge_ ? bridge_->LoadSharedPicture(picture) : QPixmap(), false, QString());
    if (slot)
        connect(button, SIGNAL(clicked()), this, slot);
    return button;
}

void CharacterTool::SaveQvz(const QString&, int, bool) { }

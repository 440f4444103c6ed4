#include "ui/character_tool.h"

#include "base/tool_identity.h"
#include "model/binary_save_plan.h"
#include "model/characterization.h"
#include "model/characterization_files.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "model/resource_bridge.h"
#include "ui/about_dialog.h"
#include "ui/config_mirror_dialog.h"
#include "ui/name_match_widget.h"
#include "ui/property_view.h"
#include "ui/schematic_widget.h"
#include "ui/template_dialogs.h"
#include "ui/template_helpers.h"
#include "ui/ui_functions.h"
#include "widgets/guards.h"
#include "widgets/icon_button.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

// The file types of the save dialog.
const QString kBinaryFileExtension = QStringLiteral(".vlmc");
const QString kLittleEndianFilter = QStringLiteral("Binary VLM little endian (*%1)").arg(kBinaryFileExtension);
const QString kBigEndianFilter = QStringLiteral("Binary VLM big endian (*%1)").arg(kBinaryFileExtension);

namespace {

const QString kAboutFileName = QStringLiteral("Velmora_4_5_About_Box.txt");
const int kPanelWidth = 392;
const int kPanelHeight = 660;

// A tab page: its main view above its property view, in a vertical layout of
// margin 1, on a filled background, inside a scroll area. A host docks the
// panel where it may have less height than the views need (the figure at
// half size, all the property rows): the page then scrolls rather than be
// cut off below whatever row fits, or overlap what the host has beneath.
// Given the room, it shows whole with no scroll bar.
class PageScroller : public QScrollArea {
public:
    explicit PageScroller(QWidget* parent) : QScrollArea(parent), content_(new QWidget(this))
    {
        content_->setAutoFillBackground(true);
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

    // The parent of the page's views.
    QWidget* Content() const { return content_; }

    void SetViews(QWidget* view, QWidget* properties)
    {
        auto* layout = new QVBoxLayout(content_);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(view);
        layout->addWidget(properties);
        view->setFocusPolicy(Qt::NoFocus);
        properties->setFocusPolicy(Qt::NoFocus);
        // The rows keep their height and take what room is left over; the
        // view above gives way first when room is short.
        properties->setSizePolicy(properties->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
        setWidget(content_);
    }

    // The whole page: the base would bound it to a few dozen text lines.
    QSize sizeHint() const override { return frameSize(widget()->sizeHint()); }
    // As narrow as the page's rows allow beside a scroll bar (there is no
    // scrolling sideways); as short as a scroll bar needs.
    QSize minimumSizeHint() const override
    {
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        return QSize(frameSize(widget()->minimumSizeHint()).width() + bar, QScrollArea::minimumSizeHint().height());
    }

private:
    QSize frameSize(const QSize& content) const
    {
        const int frame = 2 * frameWidth();
        return content + QSize(frame, frame);
    }

    QWidget* content_;
};

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

    // The figure and the list are twins of one height: the list needs no
    // more than the figure at its smallest, and takes the page's spare room
    // as the figure does up to its full size. Neither is fixed at the
    // figure's full height any more, which made the panel too tall to dock
    // on a screen 768 pixels high.
    auto* figurePage = new PageScroller(tabs);
    schematic_ = new SchematicWidget(figurePage->Content(), bridge_, hub_, model_);
    figurePage->SetViews(schematic_, new PropertyView(figurePage->Content(), hub_, model_));
    tabs->addTab(figurePage, tr("Figure"));
    auto* listPage = new PageScroller(tabs);
    nameMatch_ = new NameMatchWidget(listPage->Content(), hub_, bridge_, model_);
    nameMatch_->setMinimumHeight(schematic_->minimumHeight());
    nameMatch_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    listPage->SetViews(nameMatch_, new PropertyView(listPage->Content(), hub_, model_));
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

bool CharacterTool::ShowSave() { return saveCurrent(); }

QString CharacterTool::GetLastSavedFile() const { return lastSavedFile_; }

QString CharacterTool::GetFileFolder() const { return fileFolder_; }

void CharacterTool::SetFileFolder(const QString& folder) { fileFolder_ = folder; }

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

// 392 by 660, or what the views need in the host's font when that is more:
// as wide as the rows need, as high as the page needs to show whole with the
// figure at its own size.
QSize CharacterTool::sizeHint() const
{
    const int views = layout() ? layout()->sizeHint().height() : 0;
    return QSize(kPanelWidth, std::max(kPanelHeight, views)).expandedTo(minimumSizeHint());
}

// --- Slots ---

void CharacterTool::OnOpen() { }

void CharacterTool::OnSave() { saveCurrent(); }

bool CharacterTool::saveCurrent()
{
    Characterization* current = GetCharacterization();
    if (!current || !model_->GetStatus().IsOkOrWarning())
        return false;
    // Unlike a dialog without a folder, which starts in the working folder,
    // it starts where the user's files last were.
    QFileDialog dialog(nullptr, QString(), fileFolder_, QString());
    // The desktop's own dialog would not show the check box.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* limits = new QCheckBox(tr("Save rotation limits"), &dialog);
    limits->setChecked(true);
    dialog.layout()->addWidget(limits);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilters({kBigEndianFilter, kLittleEndianFilter});
    // The dialog runs an event loop: the characterization must still be the
    // current one afterwards.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty() || GetCharacterization() != current)
        return false;

    const bool withLimits = limits->isChecked();
    const bool bigEndian = dialog.selectedNameFilter() == kBigEndianFilter;
    const QString title = tr("Save Characterization");
    auto refuse = [this, &title](const QString& why) {
        ShowCenteredMessageBox(QMessageBox::Warning, title, tr("The characterization could not be saved.\n%1").arg(why),
                               this, QMessageBox::Ok);
        return false;
    };
    // Which files the name reaches and what may be replaced is the file
    // layer's to decide; the panel asks its questions and writes.
    const BinarySavePlan plan = PlanBinarySave(dialog.selectedFiles().first());
    if (!plan.refusal.isEmpty())
        return refuse(plan.refusal);
    for (const QString& question : plan.questions) {
        // A question runs an event loop: the characterization must still be
        // the current one afterwards.
        const int answer =
            ShowCenteredMessageBox(QMessageBox::Question, title, question, this, QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes || GetCharacterization() != current)
            return false;
    }
    QString message;
    if (!SaveCharacterizationBinary(*current, plan.binaryPath, plan.companionPath,
                                    bigEndian ? kStreamBigEndian : kStreamLittleEndian, withLimits, &message))
        return refuse(message);
    noteSaved(plan.binaryPath);
    // Unlike a save that says nothing once it has written, one that had to
    // keep a file it could not read under another name says where it is.
    if (!message.isEmpty())
        ShowCenteredMessageBox(QMessageBox::Information, title, message, this, QMessageBox::Ok);
    return true;
}

void CharacterTool::noteSaved(const QString& file)
{
    const QFileInfo written(file);
    lastSavedFile_ = written.absoluteFilePath();
    fileFolder_ = written.absolutePath();
}

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

void CharacterTool::AutoMatch()
{
    if (!model_)
        return;
    // A copy: the host's answer may change while the dialog runs.
    const QStringList selected = hub_ ? hub_->GetSelectedNodes() : QStringList();
    const Characterization* current = model_->GetCurrentCharacterization();
    if (RefuseCharacterizationEdit(this, current, /*defaultEditable=*/false, CharacterizationEdit::MappingTemplate))
        return;
    if (selected.isEmpty()) {
        ShowCenteredMessageBox(QMessageBox::Warning, tr("Match Error"),
                               tr("You must select at least one bone in the skeleton\nbefore you can use a mapping "
                                  "template."),
                               this, QMessageBox::Ok);
        return;
    }
    QString prefix;
    model_->GuessPrefixFromNames(selected, prefix);
    ApplyTemplateDialog dialog(this, PathToQString(bridge_->GetUserPath()) + QStringLiteral("/template"), prefix);
    if (dialog.exec() != QDialog::Accepted || model_->GetCurrentCharacterization() != current || current->IsLocked())
        return;
    // The empty entry applies nothing. A chosen template that is gone by the
    // time the dialog is accepted is still handed to the model, which refuses
    // it with the reason that the box below shows, rather than the command
    // ending without a word.
    const QFileInfo path(dialog.GetCurrentPath());
    if (dialog.GetCurrentPath().isEmpty())
        return;
    const int domain = dialog.GetDomainMatchType();
    const QString usedPrefix = dialog.GetPrefix();
    const int mapped = model_->ApplyMappingTemplate(path.absoluteFilePath().toUtf8().constData(), domain, usedPrefix);
    if (mapped < 0) {
        ShowCenteredMessageBox(QMessageBox::Warning, tr("Match Error"), model_->GetLastOperationMessage(), this,
                               QMessageBox::Ok);
        return;
    }
    if (mapped > 0)
        return;
    // A guessed prefix that no joint carries maps nothing: the user hears so
    // rather than meeting an unchanged figure.
    const QString none = domain == 1            ? tr("None of the selected joints matched the template.")
                         : usedPrefix.isEmpty() ? tr("No joint of the skeleton matched the template.")
                                                : tr("No joint of the skeleton with the prefix \"%1\" matched the "
                                                     "template.")
                                                      .arg(usedPrefix);
    ShowCenteredMessageBox(QMessageBox::Warning, tr("Match Error"), none + tr("\nNothing was mapped."), this,
                           QMessageBox::Ok);
}

void CharacterTool::ExtractTemplate()
{
    if (!model_)
        return;
    const QString example = TemplateExampleBone(model_->GetCurrentCharacterization());
    if (example.isEmpty()) {
        ShowCenteredMessageBox(QMessageBox::Warning, tr("Extract Template Error"),
                               tr("A naming template cannot be extracted from an empty characterization.\nYou must "
                                  "map at least one bone in the skeleton first."),
                               this, QMessageBox::Ok);
        return;
    }
    QString prefix;
    model_->GuessTemplatePrefix(prefix);
    const QString folder = PathToQString(bridge_->GetUserPath()) + QStringLiteral("/template/");
    SaveTemplateDialog dialog(this, example, prefix, ProposedTemplateName(folder), folder);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The file the dialog asked about before overwriting.
    const QString file = TemplateFilePath(folder, dialog.GetFileName());
    QString why;
    if (!model_->SaveMappingTemplate(file.toUtf8().constData(), dialog.GetPrefix(), &why))
        ShowCenteredMessageBox(QMessageBox::Warning, tr("Extract Template Error"),
                               tr("The template could not be written to \"%1\".\n%2").arg(file, why), this,
                               QMessageBox::Ok);
    else if (!why.isEmpty())  // the former file could not be read and was kept aside
        ShowCenteredMessageBox(QMessageBox::Information, tr("Extract Template"), why, this, QMessageBox::Ok);
}

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

// There is no help viewer program on this platform: the desktop opens the
// help file with its own.
void CharacterTool::Help()
{
    if (!bridge_)
        return;
    const QString path = PathToQString(bridge_->GetHelpFilePath());
    if (!path.isEmpty() && QFileInfo(path).isFile())
        OpenWithDesktop(path);
}

void CharacterTool::About()
{
    if (!bridge_)
        return;
    const QFileInfo info(PathToQString(AppendToPath(bridge_->GetResourcePath(), kAboutFileName)));
    // Only a regular file: opening a named pipe would wait for a writer.
    QFile file(info.absoluteFilePath());
    if (!info.isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    AboutDlg dialog(this, QString::fromUtf8(file.readAll()));
    dialog.exec();
}

void CharacterTool::GetCharacterizationStream(char*& stream, std::size_t& size, std::vector<QString>& boneNames,
                                              bool bigEndian) const
{
    Characterization* current = GetCharacterization();
    if (current &&
        CharacterizationToStream(*current, bigEndian ? kStreamBigEndian : kStreamLittleEndian, true, stream, size))
        boneNames = current->GetNodeNames();
}

// Adding selects it; being locked, it is validated without the host.
void CharacterTool::SetCharacterizationFromStream(const char* stream, std::size_t size,
                                                  const std::vector<QString>& boneNames)
{
    if (!model_)
        return;
    std::unique_ptr<Characterization> characterization = CharacterizationFromStream(stream, size, boneNames);
    if (!characterization)
        return;
    characterization->SetLocked(true);
    model_->AddCharacterization(characterization.release());
}

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

Characterization* CharacterTool::LoadBinary(const QString& binaryPath, const QString&)
{
    QFileDialog dialog(nullptr, tr("Choose bone correspondance file"), QFileInfo(binaryPath).absolutePath(),
                       tr("Bone correspondance file (*.bones.xml)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QString companion;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        companion = dialog.selectedFiles().first();
    const OverrideCursorGuard wait(Qt::WaitCursor);
    return LoadCharacterizationBinary(binaryPath, companion).release();
}

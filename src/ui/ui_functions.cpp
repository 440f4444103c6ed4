#include "ui/ui_functions.h"

#include "model/characterization.h"
#include "model/characterization_model.h"
#include "model/idcc_hub.h"
#include "rig/vlm_names.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidgetItem>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstdint>

namespace {

QString translate(const char* text) { return QCoreApplication::translate("UiFunctions", text); }

// A message box lays out its text (wrapping it, fixing its size) only when it
// is shown, and its layout may still settle its size a little after that. It
// therefore centres itself on its parent by the size it has, while being shown
// and whenever that size changes (the user cannot resize it): its size hint is
// not that size (a wrapped text's hint is narrower), and a box centred by its
// hint sat right of centre.
class CenteredMessageBox : public QMessageBox {
public:
    CenteredMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons, QWidget* parent)
        : QMessageBox(icon, title, text, buttons, parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    {
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        centre();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QMessageBox::resizeEvent(event);
        if (isVisible())
            centre();
    }

private:
    void centre()
    {
        QWidget* parent = parentWidget();
        if (!parent)
            return;
        // The frame's size: `move` places the frame.
        const QSize box = frameGeometry().size();
        QPoint at =
            parent->mapToGlobal(QPoint(parent->width() / 2 - box.width() / 2, parent->height() / 2 - box.height() / 2));
        // Departing from a plain centring: a box wider (or taller) than a
        // parent near its window's edge, such as the panel docked at the
        // right, is moved in to stay within that window when it fits there,
        // rather than hang over its edge.
        const QWidget* window = parent->window();
        const QRect area(window->mapToGlobal(QPoint(0, 0)), window->size());
        if (box.width() <= area.width())
            at.setX(qBound(area.left(), at.x(), area.left() + area.width() - box.width()));
        if (box.height() <= area.height())
            at.setY(qBound(area.top(), at.y(), area.top() + area.height() - box.height()));
        // The screen comes before the window: with the window partly off the
        // screen (or under a taskbar), a box centred on it would show its
        // buttons where they cannot be clicked. Taller or wider than the
        // screen's free area, it starts at that area's top left, title bar
        // first.
        if (const QScreen* screen = window->screen()) {
            const QRect free = screen->availableGeometry();
            at.setX(std::max(free.left(), std::min(at.x(), free.left() + free.width() - box.width())));
            at.setY(std::max(free.top(), std::min(at.y(), free.top() + free.height() - box.height())));
        }
        move(at);
    }
};

int showRealMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                       QMessageBox::StandardButtons buttons)
{
    CenteredMessageBox box(icon, title, text, buttons, parent);
    box.setModal(true);
    return box.exec();
}

MessageBoxHandler& messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

bool openWithDesktopServices(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

DesktopOpener& desktopOpener()
{
    static DesktopOpener opener;
    return opener;
}

// Switches the model's mirror mode off for a scope and puts back what it was,
// however the scope is left.
class MirrorModeOff {
public:
    explicit MirrorModeOff(CharacterizationModel* model) : model_(model), saved_(model->IsMirrorMode())
    {
        model_->SetMirrorMode(false);
    }
    ~MirrorModeOff() { model_->SetMirrorMode(saved_); }
    MirrorModeOff(const MirrorModeOff&) = delete;
    MirrorModeOff& operator=(const MirrorModeOff&) = delete;

private:
    CharacterizationModel* model_;
    bool saved_;
};

QString rigNodeName(int node)
{
    const char* name = VLMGetNodeName(node);
    return name ? QString::fromUtf8(name) : QString();
}

QTreeWidgetItem* makeFolderTreeItem(QTreeWidgetItem* parent, const QFileInfo& info, const QIcon& icon)
{
    auto* item = new QTreeWidgetItem(parent);
    if (!icon.isNull())
        item->setIcon(0, icon);
    item->setText(0, info.fileName());
    item->setData(0, Qt::UserRole, info.absoluteFilePath());
    return item;
}

}  // namespace

// --- Message boxes ---

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = std::move(messageBoxHandler());
    messageBoxHandler() = std::move(handler);
    return previous;
}

int ShowCenteredMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                           QMessageBox::StandardButtons buttons)
{
    const MessageBoxHandler& handler = messageBoxHandler();
    if (handler)
        return handler(icon, title, text, parent, buttons);
    return showRealMessageBox(icon, title, text, parent, buttons);
}

void ShowCharacterizationNotCreated(QWidget* parent)
{
    ShowCenteredMessageBox(QMessageBox::Warning, translate("Characterization Not Created"),
                           translate("You must create a new characterization before you can edit its bone mappings."),
                           parent, QMessageBox::Ok);
}

namespace {

// Why an edit of `current` is refused; "none created" is told before "locked".
enum class EditRefusal { None, NotCreated, Locked };

EditRefusal editRefusal(const Characterization* current, bool defaultEditable)
{
    if (!current || (!defaultEditable && current->GetName() == IDCCHub::GetDefaultCharacterNodeName()))
        return EditRefusal::NotCreated;
    return current->IsLocked() ? EditRefusal::Locked : EditRefusal::None;
}

}  // namespace

bool MayEditCharacterization(const Characterization* current, bool defaultEditable)
{
    return editRefusal(current, defaultEditable) == EditRefusal::None;
}

bool RefuseCharacterizationEdit(QWidget* parent, const Characterization* current, bool defaultEditable,
                                CharacterizationEdit edit)
{
    switch (editRefusal(current, defaultEditable)) {
    case EditRefusal::None: return false;
    case EditRefusal::NotCreated: ShowCharacterizationNotCreated(parent); return true;
    case EditRefusal::Locked: break;
    }
    const QString text = edit == CharacterizationEdit::MappingTemplate
                             ? translate("The current characterization is locked.\nYou must unlock it before you "
                                         "can apply a mapping template.")
                             : translate("The current characterization is locked.\nYou must unlock it before you "
                                         "can edit its bone mappings.");
    ShowCenteredMessageBox(QMessageBox::Warning, translate("Characterization Locked"), text, parent, QMessageBox::Ok);
    return true;
}

// --- The desktop ---

DesktopOpener SetDesktopOpener(DesktopOpener opener)
{
    DesktopOpener previous = std::move(desktopOpener());
    desktopOpener() = std::move(opener);
    return previous;
}

bool OpenWithDesktop(const QString& path)
{
    const DesktopOpener& opener = desktopOpener();
    return opener ? opener(path) : openWithDesktopServices(path);
}

// --- Widgets and names ---

QString RotationOrderDisplayName(VLMRotationOrder order)
{
    static const char* const names[VLM_ROTATION_ORDER_COUNT] = {
        "Euler XYZ", "Euler XYX", "Euler XZY", "Euler XZX", "Euler YZX", "Euler YZY",  "Euler YXZ",
        "Euler YXY", "Euler ZXY", "Euler ZXZ", "Euler ZYX", "Euler ZYZ", "Spheric XYZ"};
    const auto code = static_cast<std::uint32_t>(order);
    return code < std::uint32_t(VLM_ROTATION_ORDER_COUNT) ? QString::fromLatin1(names[code]) : QString();
}

QString NodeDisplayName(int node) { return node < 0 ? QString() : NodeDisplayNameFromName(rigNodeName(node)); }

QString NodeDisplayNameFromName(const QString& name)
{
    return QString(name).replace(QStringLiteral("FootExtraFinger"), QStringLiteral("FootBigToe"), Qt::CaseSensitive);
}

void FillFolderTree(QTreeWidgetItem* parent, const QString& folder, const QString& nameFilter, const QIcon& folderIcon,
                    const QIcon& fileIcon)
{
    const QDir dir(folder);
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;

    // Every folder, whatever the name filter says; links are not followed, so
    // a link back up the tree cannot make the walk endless.
    const QFileInfoList folders =
        dir.entryInfoList(QStringList(), QDir::AllDirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, order);
    for (const QFileInfo& info : folders) {
        const QString name = info.fileName();
        if (name.endsWith(QLatin1String(".qvm")) || name.endsWith(QLatin1String(".bck")))
            continue;
        QTreeWidgetItem* item = makeFolderTreeItem(parent, info, folderIcon);
        FillFolderTree(item, info.absoluteFilePath(), nameFilter, folderIcon, fileIcon);
        if (item->childCount() == 0)
            delete item;  // also takes it out of `parent`
    }

    const QFileInfoList files = dir.entryInfoList(QStringList(nameFilter), QDir::Files, order);
    for (const QFileInfo& info : files)
        makeFolderTreeItem(parent, info, fileIcon);
}

// --- Assignment ---

bool AssignBoneWithConfirmation(QWidget* parent, CharacterizationModel* model, int node, const QString& joint,
                                int& mirrorNode, QString& mirrorJoint, bool mirroring)
{
    // The model ignores an empty joint; asking about it or reporting an
    // assignment would tell the user something that did not happen.
    Characterization* current = model ? model->GetCurrentCharacterization() : nullptr;
    if (!current || joint.isEmpty() || rigNodeName(node).isEmpty())
        return false;
    if (model->GetNodeHostName(node) == joint)
        return false;

    const QString title =
        mirroring ? translate("Mirroring: Bone Already Assigned") : translate("Bone Already Assigned");

    if (current->IsNodeAssigned(node)) {
        const QString text = translate("\"%1\" is assigned to bone \"%2\".\nChange to \"%3\"?")
                                 .arg(rigNodeName(node), model->GetNodeHostName(node), joint);
        if (ShowCenteredMessageBox(QMessageBox::Question, title, text, parent, QMessageBox::Yes | QMessageBox::No) !=
            QMessageBox::Yes)
            return false;
    }

    int other = -1;
    if (model->FindNodeByHostName(joint, other)) {
        const QString text =
            translate("Bone \"%1\" is being used for the \"%2\".\nClear?").arg(joint, rigNodeName(other));
        if (ShowCenteredMessageBox(QMessageBox::Question, title, text, parent, QMessageBox::Ok | QMessageBox::Cancel) !=
            QMessageBox::Ok)
            return false;
        model->ClearNode(other);
    }

    model->AssignNodeAndFindMirror(node, joint, mirrorNode, mirrorJoint);
    model->SetEditedPart(node, false);
    return true;
}

bool AssignBoneAndMirror(QWidget* parent, CharacterizationModel* model, int node, const QString& joint)
{
    int mirrorNode = -1;
    QString mirrorJoint;
    bool result = AssignBoneWithConfirmation(parent, model, node, joint, mirrorNode, mirrorJoint, false);

    // A keyword pair with the same text on both sides finds the joint itself
    // as its mirror; assigning it to the opposite node would only offer to
    // take it away from the node just assigned.
    if (mirrorNode >= 0 && mirrorJoint != joint) {
        const MirrorModeOff mirrorOff(model);
        int unusedNode = -1;
        QString unusedJoint;
        const bool mirrored =
            AssignBoneWithConfirmation(parent, model, mirrorNode, mirrorJoint, unusedNode, unusedJoint, true);
        result = result || mirrored;
    }
    return result;
}

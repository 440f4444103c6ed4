#include "ui/clip_tree_widget.h"

#include "model/resource_bridge.h"
#include "model/xml_document.h"
#include "model/xml_settings_store.h"
#include "ui/ui_functions.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

namespace {

const char* const kPathGroup = "path";
const char* const kClipPathKey = "clip_path";
const char* const kClipFilter = "*.qvz";

bool isClipFile(const QString& path) { return path.endsWith(QLatin1String(".qvz"), Qt::CaseInsensitive); }

// What the user hears of a settings write: why it failed, or where the
// former file that could not be read was kept; nothing when all went well.
void ReportSettingsWrite(QWidget* parent, XmlSettingsStore& settings, QStringList notes)
{
    const bool written = settings.Write();
    const QString outcome = written ? settings.GetWriteNotice() : settings.GetWriteProblem();
    if (!outcome.isEmpty())
        notes << outcome;
    if (!notes.isEmpty())
        ShowCenteredMessageBox(written && notes.size() == 1 ? QMessageBox::Information : QMessageBox::Warning,
                               QCoreApplication::translate("ClipTreeWidget", "Clip Folders"),
                               notes.join(QLatin1Char('\n')), parent, QMessageBox::Ok);
}

}  // namespace

ClipTreeWidget::ClipTreeWidget(const QIcon& folderIcon, const QIcon& fileIcon, ResourceBridge* bridge, QWidget* parent)
    : QTreeWidget(parent), folderIcon_(folderIcon), fileIcon_(fileIcon), bridge_(bridge)
{
    populate();
    header()->hide();
}

ClipTreeWidget::~ClipTreeWidget() = default;

void ClipTreeWidget::SetIcons(const QIcon& folderIcon, const QIcon& fileIcon)
{
    folderIcon_ = folderIcon;
    fileIcon_ = fileIcon;
}

QString ClipTreeWidget::GetCurrentPath() const
{
    const QTreeWidgetItem* item = currentItem();
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QString ClipTreeWidget::settingsFile() const
{
    return bridge_ ? PathToQString(bridge_->GetSettingsFilePath()) : QString();
}

void ClipTreeWidget::populate()
{
    if (!bridge_)
        return;
    XmlSettingsStore::PairList folders;
    {
        XmlSettingsStore settings(settingsFile());
        settings.GetPairList(kPathGroup, kClipPathKey, folders);
        // Unlike recording the default whenever the list is empty, a settings
        // file that could not be read is not replaced just for that: it
        // waits for a change the user asks for, whose write keeps it aside.
        if (folders.empty() && settings.GetReadProblem().isEmpty()) {
            folders.emplace_back(QStringLiteral("clip"), PathToQString(bridge_->GetClipPath()));
            settings.SetPairList(kPathGroup, kClipPathKey, folders);
        }
    }

    for (const auto& folder : folders) {
        auto* item = new QTreeWidgetItem(this);
        if (!folderIcon_.isNull())
            item->setIcon(0, folderIcon_);
        item->setText(0, folder.first);
        item->setData(0, Qt::UserRole, folder.second);
        FillFolderTree(item, folder.second, QLatin1String(kClipFilter), folderIcon_, fileIcon_);
        topLevelItems_.push_back(item);
    }
}

void ClipTreeWidget::Refresh()
{
    for (QTreeWidgetItem* item : topLevelItems_) {
        removeItemWidget(item, 0);
        delete item;
    }
    topLevelItems_.clear();
    populate();
}

void ClipTreeWidget::AddDirectory()
{
    QFileDialog dialog(nullptr, QString());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || !bridge_) {
        Refresh();
        return;
    }

    {
        XmlSettingsStore settings(settingsFile());
        XmlSettingsStore::PairList folders;
        settings.GetPairList(kPathGroup, kClipPathKey, folders);
        QStringList refused;
        for (const QString& selected : dialog.selectedFiles()) {
            const QFileInfo info(selected);
            if (!info.exists())
                continue;
            const QString path = info.absoluteFilePath();
            // A path the settings file could not hold would make the whole
            // file unreadable, every folder and mirror pair in it lost.
            const QString unheld = CharacterXmlCannotHold(path, tr("The path of the folder %1").arg(info.fileName()));
            if (!unheld.isEmpty()) {
                refused << unheld + tr(" It was not added.");
                continue;
            }
            const bool known = std::any_of(folders.begin(), folders.end(),
                                           [&path](const std::pair<QString, QString>& f) { return f.second == path; });
            if (!known)
                folders.emplace_back(info.fileName(), path);
        }
        settings.SetPairList(kPathGroup, kClipPathKey, folders);
        ReportSettingsWrite(this, settings, refused);
    }
    Refresh();
}

void ClipTreeWidget::RemoveDirectory()
{
    const QString path = GetCurrentPath();
    if (path.isEmpty() || isClipFile(path) || !bridge_) {
        Refresh();
        return;
    }
    {
        XmlSettingsStore settings(settingsFile());
        XmlSettingsStore::PairList folders;
        settings.GetPairList(kPathGroup, kClipPathKey, folders);
        const auto found = std::find_if(folders.begin(), folders.end(),
                                        [&path](const std::pair<QString, QString>& f) { return f.second == path; });
        if (found != folders.end())
            folders.erase(found);
        settings.SetPairList(kPathGroup, kClipPathKey, folders);
        ReportSettingsWrite(this, settings, QStringList());
    }
    Refresh();
}

void ClipTreeWidget::ShowExplorer()
{
    const QString path = GetCurrentPath();
    if (path.isEmpty())
        return;
    OpenWithDesktop(isClipFile(path) ? QFileInfo(path).absolutePath() : path);
}

bool ClipTreeWidget::isTopLevelCurrent() const
{
    QTreeWidgetItem* item = currentItem();
    return item && std::find(topLevelItems_.begin(), topLevelItems_.end(), item) != topLevelItems_.end();
}

std::unique_ptr<QMenu> ClipTreeWidget::BuildContextMenu()
{
    auto menu = std::make_unique<QMenu>();
    const bool topLevel = isTopLevelCurrent();
    menu->addAction(tr("Refresh"), this, SLOT(Refresh()))->setEnabled(topLevel);
    menu->addSeparator();
    menu->addAction(tr("Add Clip Directory..."), this, SLOT(AddDirectory()));
    menu->addAction(tr("Remove"), this, SLOT(RemoveDirectory()))->setEnabled(topLevel);
    menu->addSeparator();
    menu->addAction(tr("Explore..."), this, SLOT(ShowExplorer()));
    return menu;
}

void ClipTreeWidget::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton) {
        const std::unique_ptr<QMenu> menu = BuildContextMenu();
        menu->exec(event->globalPos());
    }
}

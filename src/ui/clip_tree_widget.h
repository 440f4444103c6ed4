// A tree of clip folders: the folders the user registered (settings group
// "path", key "clip_path": label and folder per entry) as top-level items, and
// below each its subfolders and ".qvz" clip files. Without a registered folder
// the per-user "clip" folder is registered. The right mouse button opens a
// menu to refresh the tree, add or remove a folder and open a folder in the
// file manager.
#ifndef SKW_UI_CLIP_TREE_WIDGET_H
#define SKW_UI_CLIP_TREE_WIDGET_H

#include <QIcon>
#include <QTreeWidget>

#include <memory>
#include <vector>

class QMenu;
class ResourceBridge;

class ClipTreeWidget : public QTreeWidget {
    Q_OBJECT

public:
    // The bridge is borrowed; it names the settings file and the per-user clip
    // folder. Without a bridge the tree stays empty.
    ClipTreeWidget(const QIcon& folderIcon, const QIcon& fileIcon, ResourceBridge* bridge, QWidget* parent);
    ~ClipTreeWidget() override;

    // Replaces both icons; the items keep theirs until the next refresh.
    void SetIcons(const QIcon& folderIcon, const QIcon& fileIcon);
    const QIcon& GetFolderIcon() const { return folderIcon_; }
    const QIcon& GetFileIcon() const { return fileIcon_; }

    // The path of the current item; empty when no item is current.
    QString GetCurrentPath() const;

    // The context menu for the current item, not yet shown; its entries run
    // the slots below. The right mouse button shows it.
    std::unique_ptr<QMenu> BuildContextMenu();

public slots:
    // Rebuilds the tree from the settings file.
    void Refresh();
    // Asks for a folder and registers it (once per absolute path).
    void AddDirectory();
    // Unregisters the current top-level folder; with a clip file or nothing
    // current it only refreshes.
    void RemoveDirectory();
    // Opens the current folder (for a clip file, the folder holding it) in the
    // desktop's file manager; nothing when no item is current.
    void ShowExplorer();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void populate();
    bool isTopLevelCurrent() const;
    QString settingsFile() const;

    QIcon folderIcon_;
    QIcon fileIcon_;
    ResourceBridge* bridge_;
    std::vector<QTreeWidgetItem*> topLevelItems_;
};

#endif

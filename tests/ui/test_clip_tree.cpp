// The folder tree filling and the clip folder tree with its context menu, on
// temporary folders.
#include "model_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/clip_tree_widget.h"
#include "ui/ui_functions.h"
#include "ui_seams.h"

#include "model/xml_settings_store.h"

#include <QStyle>

#include <memory>

namespace {

using Pairs = XmlSettingsStore::PairList;

void MakeFiles(const QDir& root, const QStringList& files)
{
    for (const QString& file : files)
        WriteFile(root.filePath(file), "clip");
}

// The tree below `item` as "name{children}" texts, in display order.
QString Dump(const QTreeWidgetItem* item)
{
    QStringList parts;
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem* child = item->child(i);
        parts << child->text(0) + (child->childCount() ? "{" + Dump(child) + "}" : QString());
    }
    return parts.join(' ');
}

TEST(FillFolderTreeTest, PrunesAndOrdersFoldersBeforeFilesWithoutRegardToCase)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    MakeFiles(root, {"B.qvz", "a.qvz", "notes.txt", "zeta/x.qvz", "Alpha/y.qvz", "Alpha/deep/inner/z.qvz",
                     "only_txt/n.txt", "take.qvm/q.qvz", "old.bck/r.qvz", "Take.QVM/s.qvz", "named.qvz/t.qvz"});
    root.mkpath("empty");
    root.mkpath("Alpha/nested/empty");
    ASSERT_TRUE(QFile::link(root.filePath("zeta"), root.filePath("link")));

    QTreeWidgetItem top;
    FillFolderTree(&top, root.path(), "*.qvz", QApplication::style()->standardIcon(QStyle::SP_DirIcon), QIcon());
    EXPECT_EQ(Dump(&top), "Alpha{deep{inner{z.qvz}} y.qvz} named.qvz{t.qvz} Take.QVM{s.qvz} zeta{x.qvz} a.qvz B.qvz");
    const QTreeWidgetItem* alpha = top.child(0);
    EXPECT_EQ(alpha->child(1)->data(0, Qt::UserRole).toString(), root.filePath("Alpha/y.qvz"));
    EXPECT_TRUE(!alpha->icon(0).isNull() && alpha->child(1)->icon(0).isNull());  // a null file icon: none shown
}

class ClipTreeTest : public ModelTest {
protected:
    ClipTreeTest()
    {
        MakeFiles(clipDir_, {"walk.qvz", "moves/run.qvz"});
        MakeFiles(other_, {"jump.qvz"});
    }
    Pairs Registered() const
    {
        Pairs pairs;
        XmlSettingsStore(PathToQString(bridge_->GetSettingsFilePath())).GetPairList("path", "clip_path", pairs);
        return pairs;
    }
    std::unique_ptr<ClipTreeWidget> MakeTree()
    {
        auto tree = std::make_unique<ClipTreeWidget>(QApplication::style()->standardIcon(QStyle::SP_DirIcon),
                                                     QApplication::style()->standardIcon(QStyle::SP_FileIcon),
                                                     bridge_.get(), nullptr);
        tree->resize(260, 220);
        tree->show();
        tree->expandAll();
        return tree;
    }
    // Right-clicks the item and chooses a menu entry, as the user does.
    void Choose(ClipTreeWidget& tree, QTreeWidgetItem* item, const QString& entry)
    {
        AnswerNextPopup([entry](QMenu* menu) { ClickMenuEntry(menu, entry); });
        QTest::mouseClick(tree.viewport(), Qt::RightButton, Qt::NoModifier, tree.visualItemRect(item).center());
    }

    QDir clipDir_{PathToQString(bridge_->GetClipPath())};
    QDir other_{dir_.filePath("more clips")};
    const QString kClipTree = "clip{moves{run.qvz} walk.qvz}";
};

// Without registered folders the clip folder is registered and shown.
TEST_F(ClipTreeTest, AddingAFolderTwiceRegistersItOnceAndCancellingStillRefreshes)
{
    auto tree = MakeTree();
    SaveScreenshot(tree.get(), "clip_tree_widget");
    EXPECT_EQ(Registered(), (Pairs{{"clip", clipDir_.path()}}));
    EXPECT_EQ(Dump(tree->invisibleRootItem()), kClipTree);
    for (int i = 0; i < 2; ++i) {
        AnswerNextFileDialog({other_.path(), QString(), {}, {}});
        Choose(*tree, tree->topLevelItem(0), "Add Clip Directory...");
    }
    EXPECT_EQ(Registered(), (Pairs{{"clip", clipDir_.path()}, {"more clips", other_.path()}}));

    // A folder whose path the settings file could not hold is refused, and
    // the file keeps every folder.
    const QString escaped = dir_.filePath("esc\x1B[31m");
    ASSERT_TRUE(QDir().mkpath(escaped));
    ScriptedMessageBoxes boxes;
    boxes.Answer(QMessageBox::Ok);
    AnswerNextFileDialog({escaped, QString(), {}, {}});
    Choose(*tree, tree->topLevelItem(0), "Add Clip Directory...");
    EXPECT_EQ(boxes.Texts(), QStringList{"The path of the folder esc\x1B[31m holds the character U+001B, which an XML "
                                         "file cannot hold. It was not added."});
    EXPECT_EQ(Registered().size(), 2u);

    MakeFiles(other_, {"land.qvz"});
    AnswerNextFileDialog({});  // cancel
    tree->AddDirectory();
    EXPECT_EQ(Dump(tree->invisibleRootItem()), kClipTree + " more clips{jump.qvz land.qvz}");
}

TEST_F(ClipTreeTest, RefreshAndRemoveAreOfferedOnlyOnRegisteredFolders)
{
    auto tree = MakeTree();
    QTreeWidgetItem* clip = tree->topLevelItem(0);
    const std::pair<QTreeWidgetItem*, bool> cases[] = {
        {nullptr, false}, {clip, true}, {clip->child(0), false}, {clip->child(1), false}};
    for (const auto& c : cases) {
        tree->setCurrentItem(c.first);
        const std::unique_ptr<QMenu> menu = tree->BuildContextMenu();
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << (action->isSeparator() ? "|" : action->text() + (action->isEnabled() ? "" : "(off)"));
        const QString off = c.second ? "" : "(off)";
        EXPECT_EQ(entries,
                  QStringList({"Refresh" + off, "|", "Add Clip Directory...", "Remove" + off, "|", "Explore..."}))
            << tree->GetCurrentPath().toStdString();
    }
}

TEST_F(ClipTreeTest, RemovingTheOnlyFolderBringsTheClipFolderBackAndAClipFileCurrentOnlyRefreshes)
{
    XmlSettingsStore(PathToQString(bridge_->GetSettingsFilePath()))
        .SetPairList("path", "clip_path", {{"more clips", other_.path()}});
    auto tree = MakeTree();
    ASSERT_EQ(Dump(tree->invisibleRootItem()), "more clips{jump.qvz}");
    Choose(*tree, tree->topLevelItem(0), "Remove");
    EXPECT_EQ(Registered(), (Pairs{{"clip", clipDir_.path()}}));
    EXPECT_EQ(Dump(tree->invisibleRootItem()), kClipTree);

    tree->expandAll();
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));  // walk.qvz
    MakeFiles(clipDir_, {"turn.qvz"});
    tree->RemoveDirectory();
    EXPECT_EQ(Registered(), (Pairs{{"clip", clipDir_.path()}}));
    EXPECT_EQ(Dump(tree->invisibleRootItem()), "clip{moves{run.qvz} turn.qvz walk.qvz}");
}

TEST_F(ClipTreeTest, ExploreOpensTheFolderOfTheCurrentItem)
{
    RecordingDesktopOpener opener;
    auto tree = MakeTree();
    tree->ShowExplorer();  // nothing current: nothing opened
    QTreeWidgetItem* clip = tree->topLevelItem(0);
    Choose(*tree, clip, "Explore...");
    Choose(*tree, clip->child(0)->child(0), "Explore...");  // moves/run.qvz
    EXPECT_EQ(opener.Paths(), QStringList({clipDir_.path(), clipDir_.filePath("moves")}));
}

}  // namespace

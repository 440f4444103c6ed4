#include "model/file_utils.h"
#include "model/resource_bridge.h"

#include "test_support_fs.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// The rcc functions of this suite's own picture tree (test_pictures.qrc).
int qInitResources_test_pictures();
int qCleanupResources_test_pictures();

namespace {

const QByteArray kShippedSettings = "<config_root><mirror/></config_root>";

// A temporary install folder with shipped files, and APPDATA pointing at a
// temporary per-user root whose name is not ASCII.
class ResourceBridgeTest : public testing::Test {
protected:
    ResourceBridgeTest()
        : appData_(dir_.filePath(QString::fromUtf8("données-Ω")).toUtf8()), appDataEnv_("APPDATA", &appData_)
    {
        for (const char* file : {"config/skelwright.xml", "config/extra/a.xml", "config/extra/b.txt",
                                 "template/Biped.xml", "clip/walk.qvz", "clip/notes.xml", "clip/moves/run.qvz"})
            WriteFile(Install(file), QByteArray(file) == "config/skelwright.xml" ? kShippedSettings : QByteArray(file));
    }

    QString Install(const QString& name = QString()) const
    {
        return dir_.filePath(name.isEmpty() ? "install" : "install/" + name);
    }
    QString User(const QString& name) const
    {
        return QString::fromUtf8(appData_) + "/Tovrand/VLMSkelwright3" + (name.isEmpty() ? "" : "/" + name);
    }
    std::unique_ptr<ResourceBridge> MakeBridge() const
    {
        return std::make_unique<ResourceBridge>(MakePortablePath("C:\\host"), MakePortablePath(Install()));
    }

    QTemporaryDir dir_;
    QByteArray appData_;
    ScopedEnv appDataEnv_;
};

TEST_F(ResourceBridgeTest, FillsTheUserFoldersWithoutOverwriting)
{
    WriteFile(User("clip/moves/run.qvz"), "my run");
    auto bridge = MakeBridge();
    EXPECT_EQ(PathToQString(bridge->GetUserPath()), User(""));
    EXPECT_EQ(PathToQString(bridge->GetSettingsFilePath()), User("config/skelwright.xml"));
    EXPECT_EQ(PathToQString(bridge->GetConfigPath()), User("config"));
    EXPECT_EQ(PathToQString(bridge->GetTemplatePath()), User("template"));
    EXPECT_EQ(PathToQString(bridge->GetClipPath()), User("clip"));
    EXPECT_EQ(PathToQString(bridge->GetResourcePath()), Install());
    EXPECT_EQ(PathToQString(bridge->GetInstallPath()), "C:/host");

    // Only the filtered files, subfolders created whatever their name.
    EXPECT_EQ(ReadFile(User("config/skelwright.xml")), kShippedSettings);
    EXPECT_EQ(QDir(User("config/extra")).entryList(QDir::Files), QStringList({"a.xml"}));
    EXPECT_EQ(QDir(User("template")).entryList(QDir::Files), QStringList({"Biped.xml"}));
    EXPECT_EQ(QDir(User("clip")).entryList(QDir::Files), QStringList({"walk.qvz"}));
    EXPECT_EQ(ReadFile(User("clip/moves/run.qvz")), "my run");  // the user's file is kept

    // A user's file stays, with no backup; a deleted one comes back.
    WriteFile(User("config/skelwright.xml"), "mine");
    QFile::remove(User("config/extra/a.xml"));
    bridge = MakeBridge();
    EXPECT_EQ(ReadFile(User("config/skelwright.xml")), "mine");
    EXPECT_EQ(ReadFile(User("config/extra/a.xml")), "config/extra/a.xml");
    EXPECT_TRUE(QDir(User("config")).entryList({"*.bak"}, QDir::AllEntries).isEmpty());
}

TEST_F(ResourceBridgeTest, WithoutAppDataTheUserDataFolderIsUsed)
{
    const QByteArray xdg = dir_.filePath("xdg").toUtf8();
    const QByteArray decoy = dir_.filePath("decoy").toUtf8();
    const QByteArray empty;
    ScopedEnv xdgEnv("XDG_DATA_HOME", &xdg);
    ScopedEnv decoyEnv("LOCALAPPDATA", &decoy);
    for (const QByteArray* appData : {static_cast<const QByteArray*>(nullptr), &empty}) {
        ScopedEnv unset("APPDATA", appData);
        testing::internal::CaptureStderr();
        const auto bridge = MakeBridge();
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(PathToQString(bridge->GetUserPath()), dir_.filePath("xdg/Tovrand/VLMSkelwright3"));
        EXPECT_EQ(ReadFile(dir_.filePath("xdg/Tovrand/VLMSkelwright3/config/skelwright.xml")), kShippedSettings);
        EXPECT_NE(message.find("APPDATA"), std::string::npos);
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    }
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("decoy")));
}

TEST_F(ResourceBridgeTest, HelpFileIsTheLastChmByName)
{
    EXPECT_TRUE(MakeBridge()->GetHelpFilePath().empty());  // no "doc" folder
    WriteFile(Install("doc/Upper.CHM"), "");
    EXPECT_TRUE(MakeBridge()->GetHelpFilePath().empty());  // the extension is case-sensitive
    for (const char* file : {"doc/b.chm", "doc/a.chm", "doc/c.chm.txt"})
        WriteFile(Install(file), "");
    QDir().mkpath(Install("doc/z.chm"));  // a folder, not a file
    EXPECT_EQ(PathToQString(MakeBridge()->GetHelpFilePath()), Install("doc/b.chm"));
}

TEST(PortablePath, HostTextsBecomeGenericPaths)
{
    EXPECT_EQ(PathToQString(MakePortablePath("//:C:\\Data\\Skel")), "C:/Data/Skel");
    const char* const cases[][3] = {
        {"C:", "x", "C:x"}, {"/a/", "b", "/a/b"}, {"/a", "\\b\\c", "/a/b/c"}, {"/a", "", "/a"}};
    for (const auto& c : cases)
        EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath(c[0]), c[1])), c[2]) << c[0] << " + " << c[1];
    EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath("/a"), QString::fromUtf8("Ω\\é"))),
              QString::fromUtf8("/a/Ω/é"));
}

class FileUtilsTest : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(FileUtilsTest, UniqueNamesCountUpFromTheBaseName)
{
    QString base = "t";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".bak"), Path("t.bak"));
    for (const char* file : {"t.bak", "t(1).bak", "a.b.xml"})
        WriteFile(Path(file), "");
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".bak"), Path("t(2).bak"));
    EXPECT_EQ(base, "t(2)");
    // Base names end at the first dot.
    base = "a.b";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".xml"), Path("a.b.xml"));
    base = "a";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".xml"), Path("a(1).xml"));
}

TEST_F(FileUtilsTest, CopiesKeepBackupsOnlyOnFailureAndFollowNoLinks)
{
    WriteFile(Path("new.xml"), "new");
    WriteFile(Path("target.xml"), "old");
    CopyFileWithBackup(Path("new.xml"), Path("target.xml"));
    EXPECT_EQ(ReadFile(Path("target.xml")), "new");
    EXPECT_TRUE(QDir(dir_.path()).entryList({"*.bak"}).isEmpty());
    CopyFileWithBackup(Path("absent.xml"), Path("target.xml"));
    EXPECT_FALSE(QFile::exists(Path("target.xml")));
    EXPECT_EQ(ReadFile(Path("target.bak")), "new");

    // A link back to an ancestor is not entered.
    WriteFile(Path("src/a.qvz"), "a");
    WriteFile(Path("src/deep/b.qvz"), "b");
    ASSERT_TRUE(QFile::link(Path("src"), Path("src/deep/loop")));
    QDir().mkpath(Path("dst"));
    CopyFolderRecursive(Path("src"), Path("dst"), "*.qvz");
    EXPECT_EQ(ReadFile(Path("dst/a.qvz")) + ReadFile(Path("dst/deep/b.qvz")), "ab");
    EXPECT_FALSE(QFileInfo::exists(Path("dst/deep/loop")));
    CopyFolderRecursive(Path("src"), Path("nowhere"), "*.qvz");  // no target folder: nothing
    EXPECT_FALSE(QFileInfo::exists(Path("nowhere")));
}

TEST_F(FileUtilsTest, FileAge)
{
    WriteFile(Path("old"), "");
    WriteFile(Path("young"), "");
    QFile old(Path("old"));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    old.close();
    EXPECT_TRUE(IsFileNewer(Path("young"), Path("old")));
    EXPECT_FALSE(IsFileNewer(Path("old"), Path("young")));
    EXPECT_FALSE(IsFileNewer(Path("young"), Path("absent")));
}

TEST(SharedPictures, LoadedByNameWhileTheTreeHasAUser)
{
    QTemporaryDir dir;
    const QByteArray appData = dir.path().toUtf8();
    ScopedEnv env("APPDATA", &appData);
    auto first = std::make_unique<ResourceBridge>(MakePortablePath(""), MakePortablePath(""));
    const QPixmap probe = first->LoadSharedPicture("Bones/Test/Probe.png");
    ASSERT_FALSE(probe.isNull());
    EXPECT_EQ(probe.size(), QSize(3, 2));
    EXPECT_EQ(probe.toImage().pixel(0, 0), qRgb(200, 40, 40));
    EXPECT_FALSE(first->LoadSharedPicture(QString::fromUtf8("Bones/Test/Ωmega_Valid.png")).isNull());
    EXPECT_TRUE(first->LoadSharedPicture("Bones/Test/Missing.png").isNull());

    // Every bridge is one user of the module's tree.
    const int users = SharedPictureTree().Users();
    auto second = std::make_unique<ResourceBridge>(MakePortablePath(""), MakePortablePath(""));
    EXPECT_EQ(SharedPictureTree().Users(), users + 1);
    first.reset();
    second.reset();
    EXPECT_EQ(SharedPictureTree().Users(), users - 1);

    // The tree is unregistered with its last user only; one release too many
    // changes nothing.
    const QString path = ":/skelwright/resources/shared_pictures/Bones/Test/Probe.png";
    SharedResourceTree tree(&qInitResources_test_pictures, &qCleanupResources_test_pictures);
    tree.Acquire();
    tree.Acquire();
    tree.Release();
    EXPECT_TRUE(QFile::exists(path));
    tree.Release();
    EXPECT_FALSE(QFile::exists(path));
    tree.Release();
    tree.Acquire();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(tree.Users(), 1);
}

}  // namespace

#include "model/file_utils.h"
#include "model/resource_bridge.h"

#include "test_support_fs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// The rcc functions of this suite's own picture tree (test_pictures.qrc).
int qInitResources_test_pictures();
int qCleanupResources_test_pictures();

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const QByteArray kShippedSettings = "<config_root><mirror/></config_root>";

// A temporary install folder with shipped files, and APPDATA pointing at a
// temporary per-user root whose name is not ASCII.
class ResourceBridgeTest : public testing::Test {
protected:
    ResourceBridgeTest()
        : appData_(dir_.filePath(QString::fromUtf8("données-Ω")).toUtf8()),
          appDataEnv_("APPDATA", &appData_)
    {
        WriteFile(Install("config/skelwright.xml"), kShippedSettings);
        WriteFile(Install("config/extra/a.xml"), "a");
        WriteFile(Install("config/extra/b.txt"), "b");
        WriteFile(Install("template/Biped.xml"), "t");
        WriteFile(Install("clip/walk.qvz"), "w");
        WriteFile(Install("clip/notes.xml"), "n");
        WriteFile(Install("clip/moves/run.qvz"), "r");
    }

    QString Install(const QString& name = QString()) const
    {
        return dir_.filePath("install") + (name.isEmpty() ? QString() : '/' + name);
    }
    QString User(const QString& name = QString()) const
    {
        return QString::fromUtf8(appData_) + "/Tovrand/VLMSkelwright3"
               + (name.isEmpty() ? QString() : '/' + name);
    }
    std::unique_ptr<ResourceBridge> MakeBridge() const
    {
        return std::make_unique<ResourceBridge>(MakePortablePath("C:\\host"),
                                                MakePortablePath(Install()));
    }

    QTemporaryDir dir_;
    QByteArray appData_;
    ScopedEnv appDataEnv_;
};

TEST_F(ResourceBridgeTest, CreatesTheUserFoldersAndCopiesTheShippedFiles)
{
    const auto bridge = MakeBridge();
    EXPECT_EQ(PathToQString(bridge->GetUserPath()), User());
    EXPECT_EQ(PathToQString(bridge->GetSettingsFilePath()), User("config/skelwright.xml"));
    EXPECT_EQ(PathToQString(bridge->GetConfigPath()), User("config"));
    EXPECT_EQ(PathToQString(bridge->GetTemplatePath()), User("template"));
    EXPECT_EQ(PathToQString(bridge->GetClipPath()), User("clip"));
    EXPECT_EQ(PathToQString(bridge->GetResourcePath()), Install());
    EXPECT_EQ(PathToQString(bridge->GetInstallPath()), "C:/host");
    EXPECT_EQ(bridge->GetVersionText(), "2.0");

    EXPECT_EQ(ReadFile(User("config/skelwright.xml")), kShippedSettings);
    EXPECT_EQ(QDir(User("config")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              QStringList({"extra", "skelwright.xml"}));
    EXPECT_EQ(QDir(User("config/extra")).entryList(QDir::Files), QStringList({"a.xml"}));
    EXPECT_EQ(QDir(User("template")).entryList(QDir::Files), QStringList({"Biped.xml"}));
    EXPECT_EQ(QDir(User("clip")).entryList(QDir::Files), QStringList({"walk.qvz"}));
    EXPECT_EQ(QDir(User("clip/moves")).entryList(QDir::Files), QStringList({"run.qvz"}));
}

TEST_F(ResourceBridgeTest, UserFilesAreNeverOverwrittenAndDeletedOnesReturn)
{
    WriteFile(User("config/skelwright.xml"), "mine");
    WriteFile(User("clip/moves/run.qvz"), "my run");
    MakeBridge();
    EXPECT_EQ(ReadFile(User("config/skelwright.xml")), "mine");
    EXPECT_EQ(ReadFile(User("clip/moves/run.qvz")), "my run");
    EXPECT_TRUE(QDir(User("config")).entryList({"*.bak"}, QDir::AllEntries).isEmpty());

    QFile::remove(User("config/extra/a.xml"));
    MakeBridge();
    EXPECT_EQ(ReadFile(User("config/extra/a.xml")), "a");
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
        CaptureStderr();
        const auto bridge = MakeBridge();
        const std::string message = GetCapturedStderr();
        EXPECT_EQ(PathToQString(bridge->GetUserPath()), dir_.filePath("xdg/Tovrand/VLMSkelwright3"));
        EXPECT_EQ(ReadFile(dir_.filePath("xdg/Tovrand/VLMSkelwright3/config/skelwright.xml")),
                  kShippedSettings);
        EXPECT_NE(message.find("APPDATA"), std::string::npos);
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    }
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("decoy")));

    // Without XDG_DATA_HOME: the home folder's ".local/share".
    const QByteArray home = dir_.filePath("home").toUtf8();
    ScopedEnv homeEnv("HOME", &home);
    ScopedEnv noXdg("XDG_DATA_HOME", nullptr);
    ScopedEnv unset("APPDATA", nullptr);
    CaptureStderr();
    const auto bridge = MakeBridge();
    GetCapturedStderr();
    EXPECT_EQ(PathToQString(bridge->GetUserPath()),
              dir_.filePath("home/.local/share/Tovrand/VLMSkelwright3"));
}

TEST_F(ResourceBridgeTest, HelpFileIsTheLastChmByName)
{
    EXPECT_TRUE(MakeBridge()->GetHelpFilePath().empty());  // no "doc" folder

    WriteFile(Install("doc/Upper.CHM"), "");
    EXPECT_TRUE(MakeBridge()->GetHelpFilePath().empty());  // the extension is case-sensitive

    WriteFile(Install("doc/b.chm"), "");
    WriteFile(Install("doc/a.chm"), "");
    WriteFile(Install("doc/c.chm.txt"), "");
    QDir().mkpath(Install("doc/z.chm"));  // a folder, not a file
    EXPECT_EQ(PathToQString(MakeBridge()->GetHelpFilePath()), Install("doc/b.chm"));
}

TEST(PortablePath, HostTextsBecomeGenericPaths)
{
    EXPECT_EQ(PathToQString(MakePortablePath("//:C:\\Data\\Skel")), "C:/Data/Skel");
    EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath("C:"), "x")), "C:x");
    EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath("/a/"), "b")), "/a/b");
    EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath("/a"), "\\b\\c")), "/a/b/c");
    EXPECT_EQ(PathToQString(AppendToPath(MakePortablePath("/a"), "")), "/a");
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
    EXPECT_EQ(base, "t");

    WriteFile(Path("t.bak"), "");
    WriteFile(Path("t(1).bak"), "");
    WriteFile(Path("a.b.xml"), "");
    base = "t";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".bak"), Path("t(2).bak"));
    EXPECT_EQ(base, "t(2)");

    // Base names end at the first dot.
    base = "a.b";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".xml"), Path("a.b.xml"));
    base = "a";
    EXPECT_EQ(MakeUniqueFileName(base, dir_.path(), ".xml"), Path("a(1).xml"));
}

TEST_F(FileUtilsTest, CopyWithBackupKeepsTheFormerFileOnlyWhenTheCopyFails)
{
    WriteFile(Path("new.xml"), "new");
    WriteFile(Path("target.xml"), "old");
    CopyFileWithBackup(Path("new.xml"), Path("target.xml"));
    EXPECT_EQ(ReadFile(Path("target.xml")), "new");
    EXPECT_TRUE(QDir(dir_.path()).entryList({"*.bak"}).isEmpty());

    CopyFileWithBackup(Path("absent.xml"), Path("target.xml"));
    EXPECT_FALSE(QFile::exists(Path("target.xml")));
    EXPECT_EQ(ReadFile(Path("target.bak")), "new");
}

TEST_F(FileUtilsTest, FolderCopyDoesNotFollowLinks)
{
    WriteFile(Path("src/a.qvz"), "a");
    WriteFile(Path("src/deep/b.qvz"), "b");
    ASSERT_TRUE(QFile::link(Path("src"), Path("src/deep/loop")));
    QDir().mkpath(Path("dst"));
    CopyFolderRecursive(Path("src"), Path("dst"), "*.qvz");
    EXPECT_EQ(ReadFile(Path("dst/a.qvz")), "a");
    EXPECT_EQ(ReadFile(Path("dst/deep/b.qvz")), "b");
    EXPECT_FALSE(QFileInfo::exists(Path("dst/deep/loop")));

    // No target folder: nothing happens.
    CopyFolderRecursive(Path("src"), Path("nowhere"), "*.qvz");
    EXPECT_FALSE(QFileInfo::exists(Path("nowhere")));
}

TEST_F(FileUtilsTest, FileAgeAndFolderCreation)
{
    EnsureDirectory(Path("x/y/z"));
    EXPECT_TRUE(QFileInfo(Path("x/y/z")).isDir());

    WriteFile(Path("old"), "");
    WriteFile(Path("young"), "");
    QFile old(Path("old"));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
    old.close();
    EXPECT_TRUE(IsFileNewer(Path("young"), Path("old")));
    EXPECT_FALSE(IsFileNewer(Path("old"), Path("young")));
    EXPECT_FALSE(IsFileNewer(Path("young"), Path("absent")));
}

TEST(SharedPictures, LoadByNameFromTheCompiledInTree)
{
    QTemporaryDir dir;
    const QByteArray appData = dir.path().toUtf8();
    ScopedEnv env("APPDATA", &appData);
    const ResourceBridge bridge(MakePortablePath(dir.path()), MakePortablePath(dir.path()));
    const QPixmap probe = bridge.LoadSharedPicture("Bones/Test/Probe.png");
    ASSERT_FALSE(probe.isNull());
    EXPECT_EQ(probe.size(), QSize(3, 2));
    EXPECT_EQ(probe.toImage().pixel(0, 0), qRgb(200, 40, 40));
    EXPECT_FALSE(bridge.LoadSharedPicture(QString::fromUtf8("Bones/Test/Ωmega_Valid.png")).isNull());
    EXPECT_TRUE(bridge.LoadSharedPicture("Bones/Test/Missing.png").isNull());
}

TEST(SharedPictures, TheTreeStaysUntilItsLastUserIsGone)
{
    const QString probe = ":/skelwright/resources/shared_pictures/Bones/Test/Probe.png";
    SharedResourceTree tree(&qInitResources_test_pictures, &qCleanupResources_test_pictures);
    tree.Acquire();
    tree.Acquire();
    tree.Release();
    EXPECT_TRUE(QFile::exists(probe));
    tree.Release();
    EXPECT_FALSE(QFile::exists(probe));
    tree.Release();  // one release too many changes nothing
    tree.Acquire();
    EXPECT_TRUE(QFile::exists(probe));
    EXPECT_EQ(tree.Users(), 1);

    // Every bridge is one user of the module's tree.
    QTemporaryDir dir;
    const QByteArray appData = dir.path().toUtf8();
    ScopedEnv env("APPDATA", &appData);
    const int before = SharedPictureTree().Users();
    auto first = std::make_unique<ResourceBridge>(MakePortablePath(""), MakePortablePath(""));
    auto second = std::make_unique<ResourceBridge>(MakePortablePath(""), MakePortablePath(""));
    EXPECT_EQ(SharedPictureTree().Users(), before + 2);
    first.reset();
    EXPECT_EQ(SharedPictureTree().Users(), before + 1);
    second.reset();
    EXPECT_EQ(SharedPictureTree().Users(), before);
}

} // namespace

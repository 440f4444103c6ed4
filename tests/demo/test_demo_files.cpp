// What the demo ships and makes: the templates on skeletons of their styles,
// the install data as its generator writes it, and the --screenshot run.
#include "demo_fixture.h"

#include "screenshot.h"

#include <QDirIterator>
#include <QImage>
#include <QProcess>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// Each shipped template maps a skeleton of its style to the valid state, through
// the prefix guessed from the selected joint; the biped template also serves
// another numbered biped, and helper joints never take a node.
TEST_F(DemoTest, EachShippedTemplateMapsItsStyle)
{
    struct {
        const char* sample;
        const char* renameFrom;  // every joint's prefix renamed, for another skeleton of the style
        const char* renameTo;
        const char* selected;
        const char* templateName;
        const char* node;
        const char* joint;
    } const cases[] = {
        {"rig_names.bvh", "", "", "Hips", "Rig Names", "LeftForeArmRoll", "LeftForeArmRoll"},
        {"prefix_underscore.bvh", "Character1_", "Character7_", "Character7_Hips", "Prefixed Names", "LeftForeArmRoll",
         "Character7_LeftForeArmRoll"},
        {"namespace_colon.bvh", "", "", "hero:Hips", "Namespaced Names", "Head", "hero:Head"},
        {"suffix_lower.bvh", "", "", "pelvis", "Lower Case Suffix", "LeftHand", "hand_l"},
        {"suffix_lower.bvh", "", "", "pelvis", "Lower Case Suffix", "Reference", "root"},
        {"biped_spaces.bvh", "", "", "Bip01 Pelvis", "Biped", "LeftHandThumb4", "Bip01 L Finger0Nub"},
        {"biped_spaces.bvh", "Bip01", "Bip02", "Bip02 Pelvis", "Biped", "RightForeArmRoll", "Bip02 R ForeTwist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sample) + " with " + c.templateName + ", " + c.selected);
        QString error;
        ASSERT_TRUE(window_->OpenSkeleton(StandInHost::SamplePath(c.sample), &error)) << error.toStdString();
        if (*c.renameFrom) {
            for (const QString& joint : Host().JointNames())
                Host().RenameJoint(joint, QString(joint).replace(c.renameFrom, c.renameTo));
            window_->Joints()->Rebuild();
        }
        ClickJoint(c.selected);
        ApplyTemplate(c.templateName);
        EXPECT_EQ(window_->StateText(), "Valid");
        EXPECT_EQ(Model().GetNodeHostName(NodeId(c.node)), c.joint);
    }
}

// The shipped install data is what the generator writes, not a hand edit.
TEST(DemoData, TheShippedFilesAreTheGeneratorsOutput)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess generator;
    generator.start(QStringLiteral(SKW_MAKE_DEMO_DATA), {out.path()});
    ASSERT_TRUE(generator.waitForFinished(60000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

    QStringList made;
    for (QDirIterator it(out.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        made << QDir(out.path()).relativeFilePath(it.next());
    made.sort();
    EXPECT_EQ(made,
              QStringList({"config/skelwright.xml", "template/Biped.xml", "template/Lower Case Suffix.xml",
                           "template/Namespaced Names.xml", "template/Prefixed Names.xml", "template/Rig Names.xml"}));
    for (const QString& file : made)
        EXPECT_TRUE(ReadAll(out.filePath(file)) == ReadAll(QDir(DefaultDemoDataDir()).filePath(file)))
            << file.toStdString() << " differs: rerun scripts/make-demo-files.sh";
}

// skelwright-demo --screenshot: a picture of the whole window, or a non-zero
// exit when the file cannot be written.
TEST(DemoExecutable, ScreenshotRun)
{
    QTemporaryDir userDir;
    ASSERT_TRUE(userDir.isValid());
    qputenv("APPDATA", QFile::encodeName(userDir.path()));
    DemoWindow shown(DefaultDemoDataDir());
    shown.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown));

    const QString picture = QDir(ArtifactDir()).filePath(QStringLiteral("demo.png"));
    QFile::remove(picture);
    struct {
        QString file;
        bool written;
    } const cases[] = {{picture, true}, {userDir.filePath("missing/folder/demo.png"), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        QProcess demo;
        // Mesa unloads its driver when the program ends, and a leak checker
        // then cannot name the driver's allocations, which no suppression can
        // match; the window's own allocations are checked in this process.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        demo.setProcessEnvironment(environment);
        demo.start(QStringLiteral(SKW_DEMO_EXECUTABLE), {"--user-dir", userDir.path(), "--screenshot", c.file});
        ASSERT_TRUE(demo.waitForFinished(60000));
        EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(demo.exitCode() == 0, c.written) << demo.readAllStandardError().toStdString();
        const QImage image(c.file);
        EXPECT_EQ(!image.isNull(), c.written);
        if (image.isNull())
            continue;
        EXPECT_EQ(image.size(), shown.size());
        bool oneColour = true;
        for (int y = 0; y < image.height() && oneColour; y += 4)
            for (int x = 0; x < image.width() && oneColour; x += 4)
                oneColour = image.pixel(x, y) == image.pixel(0, 0);
        EXPECT_FALSE(oneColour);
    }
}

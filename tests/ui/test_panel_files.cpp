// The panel's file commands: saving through the save dialog, the host stream
// pair, help and about, and mapping templates extracted and applied through
// their dialogs.
#include "panel_fixture.h"

#include "model/characterization_files.h"

#include <QComboBox>
#include <QTextEdit>

#include <cstdlib>

namespace {

using Button = QMessageBox::StandardButton;
const QString kBig = "Binary VLM big endian (*.vlmc)", kLittle = "Binary VLM little endian (*.vlmc)";

QByteArray StreamOf(Characterization& c, unsigned char order, bool withLimits)
{
    char* data = nullptr;
    std::size_t size = 0;
    EXPECT_TRUE(CharacterizationToStream(c, order, withLimits, data, size));
    const QByteArray bytes(data, int(size));
    std::free(data);
    return bytes;
}

}  // namespace

TEST_F(PanelTest, SavingWritesTheChosenFileTypeAndAsksBeforeTheAddedExtensionReplacesAFile)
{
    // Limits on one joint, so that the streams with and without them differ.
    CharacterJointGeometry arm;
    ASSERT_TRUE(host_.RestGeometry("Character1_LeftArm", arm));
    arm.SetMinRLimitEnable(true, false, false);
    host_.SetJointGeometry("Character1_LeftArm", arm);
    MapSample();
    Characterization& hero = Current();
    const QByteArray big = StreamOf(hero, kStreamBigEndian, true), little = StreamOf(hero, kStreamLittleEndian, true);
    ASSERT_NE(little, StreamOf(hero, kStreamLittleEndian, false));
    const QString folder = dir_.filePath("save/");
    for (const char* sub : {"big", "little", "upper", "blocked/hero.vlmc"})
        QDir().mkpath(folder + sub);
    WriteFile(folder + "kept/hero.bones.xml", "<config_root><item>");  // damaged: kept aside, and the user is told

    // A cancelled dialog writes nothing.
    AnswerNextModal([](QWidget* dialog) {
        SaveScreenshot(dialog, "panel_save_dialog");
        qobject_cast<QDialog*>(dialog)->reject();
    });
    host_.ShowSaveCharacterization();
    EXPECT_TRUE(QDir(folder + "big").isEmpty());

    const struct {
        const char* typed;
        QString filter;
        bool limits;
        std::vector<Button> answers;
        const char* file;
        const char* companion;
        QByteArray bytes;  // of the file afterwards
    } cases[] = {
        // clang-format off
        {"big/hero", kBig, true, {}, "big/hero.vlmc", "big/hero.bones.xml", big},
        {"little/hero", kLittle, true, {}, "little/hero.vlmc", "little/hero.bones.xml", little},
        {"little/hero.old", kLittle, true, {}, "little/hero.old.vlmc", "little/hero.old.bones.xml", little},
        {"upper/hero.VLMC", kBig, true, {}, "upper/hero.VLMC", "upper/hero.bones.xml", big},
        {"big/\xce\xa9mega", kBig, true, {}, "big/\xce\xa9mega.vlmc", "big/\xce\xa9mega.bones.xml", big},  // not Latin-1
        {"little/bare", kLittle, false, {}, "little/bare.vlmc", "little/bare.bones.xml",
         StreamOf(hero, kStreamLittleEndian, false)},
        {"big/hero", kLittle, true, {QMessageBox::No}, "big/hero.vlmc", "", big},  // replaced only after Yes
        {"big/hero", kLittle, true, {QMessageBox::Yes}, "big/hero.vlmc", "", little},
        {"kept/hero", kLittle, true, {QMessageBox::Yes, QMessageBox::Ok}, "kept/hero.bones.xml.damaged", "",
         "<config_root><item>"},
        {"blocked/hero", kBig, true, {QMessageBox::Ok}, "blocked/hero.bones.xml", "", "<missing>"},  // refused
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::size_t boxes = boxes_.Boxes().size();
        for (Button answer : c.answers)
            boxes_.Answer(answer);
        const QStringList off = c.limits ? QStringList() : QStringList{"Save rotation limits"};
        AnswerNextFileDialog({folder + c.typed, c.filter, {}, off});
        host_.ShowSaveCharacterization();
        EXPECT_EQ(ReadFile(folder + c.file), c.bytes);
        if (*c.companion) {
            EXPECT_TRUE(ReadFile(folder + c.companion).contains("Character1_LeftArm"));
        }
        EXPECT_EQ(boxes_.Boxes().size(), boxes + c.answers.size());
    }
    EXPECT_EQ(boxes_.Titles().join("|"), QString("Save Characterization|").repeated(5).chopped(1));
    EXPECT_EQ(boxes_.Boxes()[0].text, "hero.vlmc already exists.\nDo you want to replace it?");
    EXPECT_EQ(boxes_.Boxes()[3].text, "hero.vlmc was saved. hero.bones.xml could not be read, so the former file is "
                                      "kept as hero.bones.xml.damaged.");
    EXPECT_TRUE(boxes_.Texts().last().startsWith("The characterization could not be saved.\n"));
}

// The file layer decides what a save may replace (its own tests hold the
// rules); its questions reach the user, and only Yes writes. Here the older
// naming's companion of another file.
TEST_F(PanelTest, SavingNeverReplacesAnotherFilesCompanionUnasked)
{
    MapSample();
    const QString folder = dir_.filePath("save/");
    WriteFile(folder + "hero.old.vlmc", StreamOf(Current(), kStreamLittleEndian, true));
    WriteFile(folder + "hero.bones.xml", "<config_root/>");
    auto save = [this, &folder]() {
        AnswerNextFileDialog({folder + "hero", kLittle, {}, {}});
        return tool_->ShowSave();
    };

    boxes_.Answer(QMessageBox::No);
    ASSERT_FALSE(save());
    EXPECT_EQ(boxes_.Texts(),
              QStringList{"hero.bones.xml holds the joint names of hero.old.vlmc.\nDo you want to replace it?"});
    EXPECT_FALSE(QFileInfo::exists(folder + "hero.vlmc"));
    EXPECT_EQ(ReadFile(folder + "hero.bones.xml"), "<config_root/>");

    boxes_.Answer(QMessageBox::Yes);
    boxes_.Answer(QMessageBox::Ok);
    EXPECT_TRUE(save());
    std::unique_ptr<Characterization> back = LoadCharacterizationBinary(folder + "hero.vlmc", QString());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNodeNames(), Current().GetNodeNames());
    // A companion that holds an element holds something: it is kept.
    EXPECT_EQ(boxes_.Texts().last(), "hero.vlmc was saved. hero.bones.xml was not read whole, so the former file is "
                                     "kept as hero.bones.xml.damaged.");
    EXPECT_EQ(ReadFile(folder + "hero.bones.xml.damaged"), "<config_root/>");
}

TEST_F(PanelTest, StreamsComeBackLockedUnderANewNameAndBadOnesAddNothing)
{
    MapSample();
    const std::vector<QString> joints = Current().GetNodeNames();
    for (bool bigEndian : {false, true}) {
        char* data = nullptr;
        std::size_t size = 0;
        std::vector<QString> names;
        host_.SetCurrentCharacter("Character1");
        tool_->GetCharacterizationStream(data, size, names, bigEndian);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(QByteArray(data, int(size)), StreamOf(Current(), bigEndian, true));
        host_.ClearRecords();
        tool_->SetCharacterizationFromStream(data, size, names);
        std::free(data);
        EXPECT_EQ(Current().GetName(), bigEndian ? "New Characterization (1)" : "New Characterization");
        EXPECT_TRUE(Current().IsLocked());
        EXPECT_EQ(Current().GetNodeNames(), joints);
        EXPECT_TRUE(host_.NotificationLog().filter("CharacterizationNode").isEmpty());
    }

    const QByteArray good = StreamOf(Current(), kStreamLittleEndian, true);
    QByteArray damaged = good;
    damaged[1] = char(0x55);  // the magic
    const std::vector<QString> shortList(100, "Joint");
    const struct {
        QByteArray bytes;
        std::vector<QString> names;
        bool added;
    } cases[] = {{good, shortList, true},
                 {QByteArray(), joints, false},
                 {good.left(good.size() / 2), joints, false},
                 {damaged, joints, false}};
    for (const auto& c : cases) {
        const int count = Model().CharacterizationCount();
        tool_->SetCharacterizationFromStream(c.bytes.constData(), std::size_t(c.bytes.size()), c.names);
        EXPECT_EQ(Model().CharacterizationCount(), count + int(c.added));
    }
    EXPECT_EQ(Current().GetNodeNames(), std::vector<QString>(172));  // from the short list: no names
}

TEST_F(PanelTest, HelpOpensTheHelpFileAndAboutShowsTheAboutText)
{
    RecordingDesktopOpener opener;
    host_.ShowHelp();
    EXPECT_FALSE(OpensModalDialog([this] { host_.ShowAbout(); }));
    EXPECT_TRUE(opener.Paths().isEmpty());
    {
        // An about text that is a named pipe is not opened (that would wait).
        const FifoWatch pipe((InstallPath() + "/Velmora_4_5_About_Box.txt").toStdString());
        ASSERT_TRUE(pipe.Made());
        EXPECT_FALSE(OpensModalDialog([this] { host_.ShowAbout(); }));
        EXPECT_FALSE(pipe.WasOpened());
    }
    QFile::remove(InstallPath() + "/Velmora_4_5_About_Box.txt");

    const QString about = QString::fromUtf8("Velmora Skelwright \xe2\x80\x94 \xc3\x84nderungen vorbehalten.");
    WriteFile(InstallPath() + "/Velmora_4_5_About_Box.txt", about.toUtf8());
    WriteFile(InstallPath() + "/doc/skelwright.chm", "help");
    host_.ShowHelp();
    EXPECT_EQ(opener.Paths(), QStringList{InstallPath() + "/doc/skelwright.chm"});
    QString shown;
    AnswerNextModal([&shown](QWidget* dialog) {
        shown = dialog->findChild<QTextEdit*>()->toPlainText();
        SaveScreenshot(dialog, "panel_about");
        ClickButton(dialog, "Ok");
    });
    host_.ShowAbout();
    EXPECT_EQ(shown, about);
}

TEST_F(PanelTest, ATemplateExtractedFromTheSampleMapsARenamedCopy)
{
    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    host_.ShowExtractMappingTemplate();  // nothing mapped
    host_.ShowMapBones();                // "--- None ---"
    MapSample();
    // An empty template folder: accepting its empty entry applies nothing.
    host_.SetSelection({"Character1_Hips"});
    host_.ClearRecords();
    AnswerNextModal([](QWidget* dialog) { ClickButton(dialog, "OK"); });
    host_.ShowMapBones();
    EXPECT_TRUE(host_.NotificationLog().filter("AssignedNode").isEmpty());

    WriteFile(UserPath() + "/template/template.xml", "<config_root/>");
    QString proposed;
    AnswerNextModal([this, &proposed](QWidget* dialog) {
        QLineEdit* name = dialog->findChildren<QLineEdit*>().value(0);
        proposed = name->text();
        for (const char* typed : {"", "template", "biped.xml"}) {  // refused, declined, saved
            name->setText(typed);
            if (QString(typed) == "template")
                boxes_.Answer(QMessageBox::No);
            ClickButton(dialog, "OK");
        }
    });
    host_.ShowExtractMappingTemplate();
    EXPECT_EQ(proposed, "template(1)");
    EXPECT_TRUE(QFileInfo(UserPath() + "/template/biped.xml").isFile());
    // A folder in the way is said at once, the dialog staying open; a template
    // that could not be read is replaced, and the user hears where it was kept.
    QDir().mkpath(UserPath() + "/template/blocked.xml");
    WriteFile(UserPath() + "/template/damaged.xml", "<config_root><item>");
    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Yes).Answer(QMessageBox::Ok);
    AnswerNextModal([](QWidget* dialog) {
        for (const char* typed : {"blocked", "damaged"}) {
            dialog->findChildren<QLineEdit*>().value(0)->setText(typed);
            ClickButton(dialog, "OK");
        }
    });
    host_.ShowExtractMappingTemplate();
    EXPECT_EQ(boxes_.Texts().mid(boxes_.Texts().size() - 3, 1),
              QStringList{"blocked.xml is a folder, not a file.\nChoose another name."});
    EXPECT_TRUE(boxes_.Texts().last().contains("it is kept as damaged.xml.")) << boxes_.Texts().last().toStdString();

    // The same skeleton under another prefix, in a characterization of its own.
    StandInHost sample;
    ASSERT_TRUE(sample.LoadSkeletonFile(StandInHost::SamplePath("prefix_underscore.bvh")));
    host_.ClearScene();
    for (const QString& joint : sample.JointNames()) {
        CharacterJointGeometry g;
        sample.RestGeometry(joint, g);
        ASSERT_TRUE(host_.AddJoint(QString(joint).replace("Character1_", "Hero_"),
                                   sample.ParentOf(joint).replace("Character1_", "Hero_"), g));
    }
    host_.UpdateCharacterList({"Character1", "Hero"});
    Model().SetEditMode(true);
    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    host_.ShowMapBones();  // locked, though nothing is selected
    Model().SetEditMode(false);
    host_.ShowMapBones();  // nothing selected
    host_.SetSelection({"Hero_Hips"});
    AnswerNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QComboBox*>();
        list->setCurrentIndex(list->findText("biped"));
        ClickButton(dialog, "OK");
    });
    host_.ShowMapBones();
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftHandIndex3")), "Hero_LeftHandIndex3");
    EXPECT_EQ(host_.CurrentCharacterizationState(false), IDCCHub::CharacterizationValid);
    // A template the panel cannot use says why, rather than passing for one that matched nothing.
    QFile broken(UserPath() + "/template/broken.xml");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<match_list><item key=\"Hips\"");
    broken.close();
    boxes_.Answer(QMessageBox::Ok);
    AnswerNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QComboBox*>();
        list->setCurrentIndex(list->findText("broken"));
        ClickButton(dialog, "OK");
    });
    host_.ShowMapBones();
    EXPECT_TRUE(boxes_.Texts().last().startsWith("The template could not be applied: broken.xml is damaged"))
        << boxes_.Texts().last().toStdString();
    boxes_.Answer(QMessageBox::Ok);  // deleted while the dialog was open
    AnswerNextModal([](QWidget* dialog) {
        QFile::remove(dialog->findChild<QComboBox*>()->currentData().toString());
        ClickButton(dialog, "OK");
    });
    host_.ShowMapBones();
    EXPECT_TRUE(boxes_.Texts().last().endsWith(".xml is no longer there: it was moved or deleted."));

    // Without a hub a template is never applied to "--- None ---" either, and
    // there is no selection to match.
    QWidget parent;
    CharacterTool* solo = Build(false, nullptr, &parent);
    ASSERT_EQ(solo->GetCharacterization()->GetName(), IDCCHub::GetDefaultCharacterNodeName());
    boxes_.Answer(QMessageBox::Ok).Answer(QMessageBox::Ok);
    solo->ShowAutoMatch();
    solo->SetCharacterization(new Characterization("Solo", nullptr));
    solo->ShowAutoMatch();
    EXPECT_EQ(boxes_.Titles(),
              QStringList({"Extract Template Error", "Characterization Not Created", "Save Template", "Save Template",
                           "Save Template", "Extract Template", "Characterization Locked", "Match Error", "Match Error",
                           "Match Error", "Characterization Not Created", "Match Error"}));
}

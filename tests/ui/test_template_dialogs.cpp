// The save and apply template dialogs, driven through their buttons, fields,
// the template list and its file dialog; and the names the panel proposes.
#include "test_support_fs.h"
#include "modal_answer.h"
#include "screenshot.h"
#include "ui_seams.h"

#include "model/characterization.h"
#include "ui/template_dialogs.h"
#include "ui/template_helpers.h"

#include <QComboBox>
#include <QTemporaryDir>

namespace {

using Button = QMessageBox::StandardButton;

class TemplateDialogTest : public testing::Test {
protected:
    void AddFiles(const QStringList& names)
    {
        QDir(folder_).removeRecursively();
        QDir().mkpath(folder_);
        for (const QString& name : names)
            WriteFile(folder_ + name, "<config_root/>");
    }
    // The list's texts; the first entry must be current.
    static QStringList Items(ApplyTemplateDialog& dialog)
    {
        auto* list = dialog.findChild<QComboBox*>();
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        EXPECT_EQ(list->currentIndex(), 0);
        return items;
    }

    QTemporaryDir dir_;
    QString folder_ = dir_.filePath("template/");
    QWidget parent_;
};

TEST_F(TemplateDialogTest, SaveStripsExtensionAndAsksBeforeOverwriting)
{
    const char* const kNotAName =
        "A template name cannot hold \"/\" or \"\\\": templates are kept in one folder.\nChoose another name.";
    const char* const kHidden = "A template name cannot start with \".\": the file would be hidden, and no template "
                                "list would show it.\nChoose another name.";
    const struct {
        const char* typed;
        QStringList existing;  // templates already in the folder
        Button answer;         // to the overwrite question; NoButton: none comes
        const char* shown;     // the name field afterwards
        bool accepted;
        const char* said = "";  // where given, the message
    } cases[] = {
        {"body.xml", {}, Button::NoButton, "body", true},
        {"body.XML", {}, Button::NoButton, "body.XML", true},  // only the exact extension
        {"", {}, Button::NoButton, "", false},                 // would be the hidden ".xml"
        {".xml", {}, Button::NoButton, "", false},
        {"arm", {"arm.xml"}, Button::No, "arm", false},
        {"arm.xml", {"arm.xml"}, Button::Yes, "arm", true},
        {"arm.xml.xml", {"arm.xml"}, Button::NoButton, "arm.xml", true},  // arm.xml.xml is free
        {" arm .xml", {}, Button::NoButton, "arm", true},                 // trimmed
        {"arm", {"arm.xml/x"}, Button::Ok, "arm", false},                 // a folder: said at once, no question first
        // A path out of the folder, or into one below it: said, and nothing is written.
        {"../arm", {}, Button::Ok, "../arm", false, kNotAName},
        {"sub/arm.xml", {"sub/arm.xml"}, Button::Ok, "sub/arm", false, kNotAName},
        {"..\\arm", {}, Button::Ok, "..\\arm", false, kNotAName},
        // A hidden file, which no template list shows.
        {"..", {}, Button::Ok, "..", false, kHidden},
        {".arm.xml", {}, Button::Ok, ".arm", false, kHidden},
    };
    parent_.resize(400, 300);
    parent_.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        AddFiles(c.existing);
        ScriptedMessageBoxes boxes;
        if (c.answer != Button::NoButton)
            boxes.Answer(c.answer);
        SaveTemplateDialog dialog(&parent_, "Character1_Hips", "Character1_", "template(1)", folder_);
        dialog.show();
        if (&c == cases)
            SaveScreenshot(&dialog, "save_template_dialog");
        QLineEdit* name = dialog.findChildren<QLineEdit*>().value(0);
        ASSERT_EQ(name->text(), "template(1)");
        name->clear();
        QTest::keyClicks(name, c.typed);
        ClickButton(&dialog, "OK");
        EXPECT_EQ(dialog.GetFileName(), c.shown);
        EXPECT_EQ(!dialog.isVisible(), c.accepted);
        EXPECT_EQ(dialog.result(), c.accepted ? QDialog::Accepted : QDialog::Rejected);
        // The question comes exactly when the file the name stands for exists.
        EXPECT_EQ(boxes.Titles(), c.answer == Button::NoButton ? QStringList() : QStringList{"Save Template"});
        if (*c.said) {
            EXPECT_EQ(boxes.Texts(), QStringList{c.said});
            SaveScreenshot(&dialog, "save_template_refused_name");  // still open, the name as typed
        }
        if (c.accepted) {
            EXPECT_EQ(QFileInfo::exists(TemplateFilePath(folder_, c.shown)), c.answer == Button::Yes);
        }
    }
}

TEST_F(TemplateDialogTest, ListsTemplatesInReverseNameOrder)
{
    AddFiles({});
    ApplyTemplateDialog empty(nullptr, folder_, "");
    EXPECT_EQ(Items(empty), (QStringList{"", "<Browse...>"}));
    EXPECT_EQ(empty.GetCurrentPath(), "");

    AddFiles({"arm.xml", "Biped.xml", "notes.txt", "old.xml/x"});
    parent_.show();
    ApplyTemplateDialog dialog(&parent_, folder_, "Character1_");
    dialog.show();
    EXPECT_EQ(Items(dialog), (QStringList{"Biped", "arm", "<Browse...>"}));
    EXPECT_EQ(dialog.GetCurrentPath(), folder_ + "Biped.xml");
    ASSERT_EQ(dialog.GetDomainMatchType(), 0);
    ClickButton(&dialog, "Match only selected bones");
    EXPECT_EQ(dialog.GetDomainMatchType(), 1);
    SaveScreenshot(&dialog, "apply_template_dialog");
}

TEST_F(TemplateDialogTest, BrowsedFileReplacesTheList)
{
    AddFiles({"arm.xml", "biped.xml"});
    const QString hero = dir_.filePath("elsewhere/hero.xml");
    WriteFile(hero, "<config_root/>");
    const struct {
        QString picked;  // empty: cancel
        QStringList items;
        QString current;
    } cases[] = {{"", {"biped", "arm", "<Browse...>"}, folder_ + "biped.xml"},
                 {dir_.filePath("elsewhere/none.xml"), {"biped", "arm", "<Browse...>"}, folder_ + "biped.xml"},
                 {hero, {"hero", "<Browse...>"}, hero}};
    for (const auto& c : cases) {
        ApplyTemplateDialog dialog(nullptr, folder_, "");
        dialog.show();
        if (c.picked.isEmpty()) {
            AnswerNextModal([this](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                ASSERT_TRUE(files) << modal->metaObject()->className();
                EXPECT_EQ(files->directory().absolutePath() + "/", folder_);
                EXPECT_EQ(files->nameFilters(), QStringList{"Xml (*.xml)"});
                files->reject();
            });
        } else {
            AnswerNextFileDialog({c.picked, "", {}, {}});
        }
        QTest::keyClick(dialog.findChild<QComboBox*>(), Qt::Key_End);  // "<Browse...>"
        EXPECT_EQ(Items(dialog), c.items);
        EXPECT_EQ(dialog.GetCurrentPath(), c.current);
    }
}

TEST(TemplateHelpers, ProposedNameAndExampleBone)
{
    QTemporaryDir dir;
    EXPECT_EQ(ProposedTemplateName(dir.path()), "template");
    WriteFile(dir.filePath("template.xml"), "");
    WriteFile(dir.filePath("template(2).txt"), "");
    EXPECT_EQ(ProposedTemplateName(dir.path() + "/"), "template(1)");

    Characterization c("hero", nullptr);
    EXPECT_EQ(TemplateExampleBone(&c), "");
    c.SetNodeName(9, "hero:LeftArm");
    c.SetNodeName(0, "");  // assigned without a joint name
    c.SetNodeName(4, "hero:Spine");
    EXPECT_EQ(TemplateExampleBone(&c), "hero:Spine");
}

}  // namespace

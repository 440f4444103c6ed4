// The mirror configuration, bone completion and about dialogs, driven through
// their buttons and line edits.
#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/about_dialog.h"
#include "ui/completer_widget.h"
#include "ui/config_mirror_dialog.h"

#include "model/xml_settings_store.h"

#include <QComboBox>
#include <QTableWidget>
#include <QTextEdit>

namespace {

using Pairs = XmlSettingsStore::PairList;

Pairs ReadMirrorList(const QString& file)
{
    Pairs pairs;
    XmlSettingsStore(file).GetPairList("mirror", "mirror_list", pairs);
    return pairs;
}

// Adds a row with "+" and types the keywords into it as the user does (open
// the cell's editor, type, Return); a null keyword leaves its cell unedited.
void AddRow(QWidget* dialog, const char* left, const char* right)
{
    ClickButton(dialog, "+");
    auto* table = dialog->findChild<QTableWidget*>();
    const int row = table->rowCount() - 1;
    EXPECT_EQ(table->currentRow(), row);
    for (int column = 0; column < 2; ++column) {
        const char* text = column == 0 ? left : right;
        if (!text)
            continue;
        const QModelIndex index = table->model()->index(row, column);
        table->setCurrentIndex(index);
        table->edit(index);
        QLineEdit* editor = nullptr;  // closed editors linger, hidden, until deleted
        for (QLineEdit* open : table->viewport()->findChildren<QLineEdit*>())
            editor = open->isVisible() ? open : editor;
        ASSERT_NE(editor, nullptr);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
}

class MirrorDialogTest : public testing::Test {
protected:
    MirrorDialogTest() { WriteFile(file_, DefaultSettingsXml()); }  // Left/Right and _l/_r
    QTemporaryDir dir_;
    QString file_ = dir_.filePath("skelwright.xml");
};

TEST_F(MirrorDialogTest, WritesCompleteRowsOnceInTableOrder)
{
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    AddRow(&dialog, "Lf", "Rt");
    AddRow(&dialog, "Left", "Right");  // already listed
    AddRow(&dialog, "Up", nullptr);    // right cell never edited
    AddRow(&dialog, "Down", "");       // right cell left empty
    AddRow(&dialog, "Lf", "Rt");       // repeated
    SaveScreenshot(&dialog, "config_mirror_dialog");
    ClickButton(&dialog, "OK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadMirrorList(file_), (Pairs{{"Left", "Right"}, {"_l", "_r"}, {"Lf", "Rt"}}));
}

TEST_F(MirrorDialogTest, RemoveWithoutCurrentRowTakesTheLastRowAndCancelWritesNothing)
{
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>();
    ClickButton(&dialog, "-");  // no current row
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text() + QString::number(table->currentRow()), "Left0");
    for (int i = 0; i < 2; ++i)
        ClickButton(&dialog, "-");  // the second: nothing left to remove
    EXPECT_EQ(table->rowCount(), 0);
    ClickButton(&dialog, "Cancel");
    EXPECT_EQ(ReadMirrorList(file_).size(), 2u);
}

// Return pressed where the user's focus is: on opening (the first button), in the table, and after typing a
// new row (the item editor takes the first Return, the next reaches the dialog).
TEST_F(MirrorDialogTest, ReturnAcceptsTheDialogAndAddsNoRow)
{
    for (const char* where : {"on opening", "in the table", "after a new row"}) {
        WriteFile(file_, DefaultSettingsXml());
        ConfigMirrorDialog dialog(nullptr, file_);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        auto* table = dialog.findChild<QTableWidget*>();
        if (where[0] == 'i')
            table->setFocus();
        if (where[0] == 'a')
            AddRow(&dialog, "Lf", "Rt");
        QCoreApplication::processEvents();  // a closing item editor gives the focus back
        const int rows = table->rowCount();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(table->rowCount(), rows) << where;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << where;
        EXPECT_FALSE(dialog.isVisible()) << where;
        EXPECT_EQ(ReadMirrorList(file_).size(), where[0] == 'a' ? 3u : 2u) << where;
    }
}

TEST_F(MirrorDialogTest, FileThatCannotBeWrittenKeepsTheDialogOpen)
{
    // A folder where the settings file should be: nothing can be written
    // there. A keyword the file could not hold: nothing is written. A file
    // that could not be read: kept aside, and the user hears where.
    const QByteArray settings = ReadFile(file_);
    const struct {
        QByteArray before;  // null: a folder
        const char* right;
        QString box;
        bool staysOpen;
    } cases[] = {
        {QByteArray(), "Rt",
         "The mirror list could not be written to \"" + file_ +
             "\".\nskelwright.xml was not written: skelwright.xml is a folder, not a file.",
         true},
        {settings, "Rt\x1B",
         "The right keyword of row 3 holds the character U+001B, which an XML file cannot hold.\nNothing was written.",
         true},
        {"<config_root>", "Rt", "The former skelwright.xml could not be read; it is kept as skelwright.xml.damaged.",
         false},
    };
    for (const auto& c : cases) {
        QDir(file_).removeRecursively();
        QFile::remove(file_);
        if (c.before.isNull())
            QDir().mkpath(file_);
        else
            WriteFile(file_, c.before);
        ScriptedMessageBoxes boxes;
        boxes.Answer(QMessageBox::Ok);
        ConfigMirrorDialog dialog(nullptr, file_);
        dialog.show();
        ClickButton(&dialog, "+");
        auto* table = dialog.findChild<QTableWidget*>();  // set, not typed: an escape key closes the editor
        table->setItem(table->rowCount() - 1, 0, new QTableWidgetItem("Lf"));
        table->setItem(table->rowCount() - 1, 1, new QTableWidgetItem(c.right));
        ClickButton(&dialog, "OK");
        EXPECT_EQ(dialog.isVisible(), c.staysOpen) << c.right;
        EXPECT_EQ(boxes.Titles(), QStringList{"Mirror Configuration"});
        EXPECT_EQ(boxes.Texts(), QStringList{c.box});
    }
    EXPECT_EQ(ReadFile(file_ + ".damaged"), "<config_root>");
    EXPECT_EQ(ReadMirrorList(file_), (Pairs{{"Lf", "Rt"}}));
}

const QStringList kNames = {"Hips", "LeftArm", "LeftArmRoll", "RightArm", "Hips"};

// The pairs the dialog writes are the ones the model mirrors with.
class MirrorDialogModelTest : public UiModelTest {
protected:
    MirrorDialogModelTest() : UiModelTest("<config_root/>") { }
};

TEST_F(MirrorDialogModelTest, ModelMirrorsWithThePairsTheDialogWrote)
{
    // The cells are filled as an edit leaves them: typing through the item
    // editor inside the dialog's own event loop loses keys on a loaded machine,
    // and the editing path is covered above.
    AnswerNextModal([](QWidget* modal) {
        ClickButton(modal, "+");
        auto* table = modal->findChild<QTableWidget*>();
        const int row = table->rowCount() - 1;
        table->setItem(row, 0, new QTableWidgetItem(QStringLiteral("Left")));
        table->setItem(row, 1, new QTableWidgetItem(QStringLiteral("Right")));
        ClickButton(modal, "OK");
    });
    ConfigMirrorDialog dialog(&parent_, SettingsFile());
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    Model().LoadMirrorList();
    Model().SetMirrorMode(true);

    EXPECT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "LeftArm"));
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightArm");
}
TEST(CompleterWidgetTest, StartsOnTheLastEqualNameElseTheFirst)
{
    const std::pair<const char*, int> cases[] = {{"Hips", 4}, {"RightArm", 3}, {"hips", 0}, {"Nope", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CompleterWidget(nullptr, kNames, c.first).findChild<QComboBox*>()->currentIndex(), c.second);
}

// Each case types and presses Return, "Ok" or "Cancel"; a refused text leaves the dialog open with the text
// selected, and the case then cancels.
TEST(CompleterWidgetTest, AcceptsOnlyListedNames)
{
    const struct {
        const char* typed;
        const char* press;
        const char* text;  // GetText afterwards; empty: rejected
    } cases[] = {
        {"LeftArm", "Return", "LeftArm"},
        {"LeftArmRoll", "Ok", "LeftArmRoll"},
        {"leftarm", "Ok", "LeftArm"},
        {"LeftAr", "Return", ""},
        {"Nope", "Ok", ""},
        {"LeftArm", "Cancel", ""},
    };
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    for (const auto& c : cases) {
        CompleterWidget widget(&parent, kNames, "RightArm");
        bool refusedWithSelection = false;
        AnswerNextModal([&](QWidget*) {
            QLineEdit* edit = widget.findChild<QComboBox*>()->lineEdit();
            edit->selectAll();
            QTest::keyClicks(edit, c.typed);
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->hide();  // the completion list, dismissed
            if (c.typed == std::string("LeftArm"))
                SaveScreenshot(&widget, "completer_widget");
            if (c.press == std::string("Return"))
                QTest::keyClick(edit, Qt::Key_Return);
            else
                ClickButton(&widget, c.press);
            if (widget.isVisible()) {
                refusedWithSelection = edit->selectedText() == c.typed;
                ClickButton(&widget, "Cancel");
            }
        });
        const int result = widget.exec();
        EXPECT_EQ(result == QDialog::Accepted, c.text[0] != 0) << c.typed;
        EXPECT_EQ(refusedWithSelection, c.text[0] == 0 && c.press != std::string("Cancel")) << c.typed;
        EXPECT_EQ(widget.GetText(), c.text) << c.typed;
    }
}

TEST(AboutDlgTest, ShowsRichTextRenderedAndClosesWithOk)
{
    AboutDlg dialog(nullptr, "<h2>Skelwright 2.0</h2><p>Character setup for <b>Velmora</b> rigs.</p>");
    dialog.show();
    auto* view = dialog.findChild<QTextEdit*>();
    EXPECT_TRUE(view->isReadOnly() && view->toPlainText() == "Skelwright 2.0\nCharacter setup for Velmora rigs.");
    SaveScreenshot(&dialog, "about_dialog");
    ClickButton(&dialog, "Ok");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace

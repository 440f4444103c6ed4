// The mirror configuration, bone completion and about dialogs, driven through
// their buttons and line edits.
#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/about_dialog.h"
#include "ui/completer_widget.h"
#include "ui/config_mirror_dialog.h"
#include "ui/ui_functions.h"

#include "model/xml_settings_store.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolTip>

namespace {

using Pairs = XmlSettingsStore::PairList;

Pairs ReadMirrorList(const QString& file)
{
    Pairs pairs;
    XmlSettingsStore(file).GetPairList("mirror", "mirror_list", pairs);
    return pairs;
}

// Types into a table cell as the user does: open the cell's editor, type,
// press Return.
void TypeIntoCell(QTableWidget* table, int row, int column, const QString& text)
{
    const QModelIndex index = table->model()->index(row, column);
    table->setCurrentIndex(index);
    table->edit(index);
    QLineEdit* editor = nullptr;  // closed editors linger, hidden, until deleted
    for (QLineEdit* open : table->viewport()->findChildren<QLineEdit*>()) {
        if (open->isVisible())
            editor = open;
    }
    ASSERT_NE(editor, nullptr) << "no editor for cell " << row << "," << column;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

class MirrorDialogTest : public testing::Test {
protected:
    MirrorDialogTest() : file_(dir_.filePath("skelwright.xml"))
    {
        WriteFile(file_, DefaultSettingsXml());  // Left/Right and _l/_r
    }
    QTemporaryDir dir_;
    QString file_;
};

TEST_F(MirrorDialogTest, WritesCompleteRowsOnceInTableOrder)
{
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->currentRow(), -1);

    struct Row {
        const char* left;
        const char* right;  // nullptr: never edited
    };
    const Row rows[] = {
        {"Lf", "Rt"},    {"Left", "Right"},  // already listed
        {"Up", nullptr},  // right cell never edited
        {"Down", ""},  // right cell emptied
        {"Lf", "Rt"},  // repeated
    };
    for (const Row& row : rows) {
        ClickButton(&dialog, "+");
        const int added = table->rowCount() - 1;
        EXPECT_EQ(table->currentRow(), added);
        EXPECT_EQ(table->currentColumn(), 0);
        TypeIntoCell(table, added, 0, row.left);
        if (row.right)
            TypeIntoCell(table, added, 1, row.right);
    }
    SaveScreenshot(&dialog, "config_mirror_dialog");
    ClickButton(&dialog, "OK");

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadMirrorList(file_), (Pairs{{"Left", "Right"}, {"_l", "_r"}, {"Lf", "Rt"}}));
}

TEST_F(MirrorDialogTest, RemoveWithoutCurrentRowTakesTheLastRow)
{
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);

    ClickButton(&dialog, "-");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), "Left");
    EXPECT_EQ(table->currentRow(), 0);
    ClickButton(&dialog, "-");
    ClickButton(&dialog, "-");  // nothing left to remove
    EXPECT_EQ(table->rowCount(), 0);

    ClickButton(&dialog, "Cancel");
    EXPECT_EQ(ReadMirrorList(file_), (Pairs{{"Left", "Right"}, {"_l", "_r"}}));  // cancelling writes nothing
}

TEST_F(MirrorDialogTest, HelpButtonExplainsTheTable)
{
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    ClickButton(&dialog, "?");
    EXPECT_EQ(QToolTip::text(), "Each row specifies a pair of keywords used to match\n"
                                "bone names on the opposite side of the skeleton.");
    QToolTip::hideText();
}

TEST_F(MirrorDialogTest, FileThatCannotBeWrittenKeepsTheDialogOpen)
{
    WriteFile(file_, "<config_root><mirror>");  // does not parse: the store will not write over it
    ScriptedMessageBoxes boxes;
    boxes.Answer(QMessageBox::Ok);
    ConfigMirrorDialog dialog(nullptr, file_);
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 0);
    ClickButton(&dialog, "+");
    TypeIntoCell(table, 0, 0, "Lf");
    TypeIntoCell(table, 0, 1, "Rt");

    ClickButton(&dialog, "OK");

    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(ReadFile(file_), QByteArray("<config_root><mirror>"));
}

class MirrorDialogModelTest : public UiModelTest {
protected:
    MirrorDialogModelTest() : UiModelTest("<config_root/>") { }
};

TEST_F(MirrorDialogModelTest, ModelMirrorsWithThePairsTheDialogWrote)
{
    Model().SetMirrorMode(true);
    int mirrorNode = 0;
    QString mirrorJoint;
    Model().AssignNodeAndFindMirror(NodeId("LeftArm"), "LeftArm", mirrorNode, mirrorJoint);
    ASSERT_EQ(mirrorNode, -1);  // no pairs yet
    Model().ClearAll();

    AnswerNextModal([](QWidget* modal) {
        auto* table = modal->findChild<QTableWidget*>();
        ASSERT_NE(table, nullptr);
        ClickButton(modal, "+");
        TypeIntoCell(table, 0, 0, "Left");
        TypeIntoCell(table, 0, 1, "Right");
        ClickButton(modal, "OK");
    });
    ConfigMirrorDialog dialog(&parent_, SettingsFile());
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    Model().LoadMirrorList();

    EXPECT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "LeftArm"));
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightArm");
}

// --- Completion dialog ---

const QStringList kNames = {"Hips", "LeftArm", "LeftArmRoll", "RightArm", "Hips"};

TEST(CompleterWidgetTest, StartsOnTheLastEqualNameElseTheFirst)
{
    const struct {
        const char* current;
        int index;
    } cases[] = {{"Hips", 4}, {"RightArm", 3}, {"hips", 0}, {"Nope", 0}, {"", 0}};
    for (const auto& c : cases) {
        CompleterWidget widget(nullptr, kNames, c.current);
        EXPECT_EQ(widget.findChild<QComboBox*>()->currentIndex(), c.index) << c.current;
    }
}

struct CompletionCase {
    const char* name;
    const char* typed;
    bool clickOk;  // else press Return
    bool accepted;
    const char* text;  // GetText afterwards
};

class CompletionTest : public testing::TestWithParam<CompletionCase> { };

// Each case types into the dialog's line edit and presses Return or clicks
// "Ok"; a refused text leaves the dialog open with the text selected, and the
// case then cancels.
TEST_P(CompletionTest, AcceptsOnlyListedNames)
{
    const CompletionCase& c = GetParam();
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    CompleterWidget widget(&parent, kNames, "RightArm");
    bool refusedWithSelection = false;
    AnswerNextModal([&](QWidget* modal) {
        ASSERT_EQ(modal, &widget);
        QLineEdit* edit = widget.findChild<QComboBox*>()->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, c.typed);
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->hide();  // the completion list, as the user would dismiss it
        if (c.name == std::string("Exact"))
            SaveScreenshot(&widget, "completer_widget");
        if (c.clickOk)
            ClickButton(&widget, "Ok");
        else
            QTest::keyClick(edit, Qt::Key_Return);
        if (widget.isVisible()) {
            refusedWithSelection = edit->selectedText() == QString::fromUtf8(c.typed);
            ClickButton(&widget, "Cancel");
        }
    });

    const int result = widget.exec();

    EXPECT_EQ(result == QDialog::Accepted, c.accepted);
    EXPECT_EQ(refusedWithSelection, !c.accepted);
    EXPECT_EQ(widget.GetText(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(Completion, CompletionTest,
                         testing::Values(CompletionCase{"Exact", "LeftArm", false, true, "LeftArm"},
                                         CompletionCase{"ExactByOk", "LeftArmRoll", true, true, "LeftArmRoll"},
                                         CompletionCase{"OtherCase", "leftarm", true, true, "LeftArm"},
                                         CompletionCase{"NotListed", "LeftAr", false, false, ""},
                                         CompletionCase{"NotListedByOk", "Nope", true, false, ""}),
                         [](const testing::TestParamInfo<CompletionCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(CompleterWidgetTest, CancelLeavesTheTextEmpty)
{
    CompleterWidget widget(nullptr, kNames, "Hips");
    AnswerNextModal([&](QWidget*) { ClickButton(&widget, "Cancel"); });
    EXPECT_EQ(widget.exec(), QDialog::Rejected);
    EXPECT_TRUE(widget.GetText().isEmpty());
}

// --- About box ---

TEST(AboutDlgTest, ShowsRichTextRenderedAndPlainTextAsIs)
{
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"<h2>Skelwright 2.0</h2><p>Character setup for <b>Velmora</b> rigs.</p>",
         "Skelwright 2.0\nCharacter setup for Velmora rigs."},
        {"Skelwright 2.0: a < b", "Skelwright 2.0: a < b"},
    };
    for (const auto& c : cases) {
        AboutDlg dialog(nullptr, c.text);
        dialog.show();
        auto* view = dialog.findChild<QTextEdit*>();
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->isReadOnly());
        EXPECT_EQ(view->toPlainText(), c.shown);
        if (&c == &cases[0])
            SaveScreenshot(&dialog, "about_dialog");
        ClickButton(&dialog, "Ok");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
}

}  // namespace

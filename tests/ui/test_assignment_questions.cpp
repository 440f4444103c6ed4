// The questions on the road of every assignment, answered by the scripted
// answerer; and one run through the real message box.
#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/ui_functions.h"

#include <QScreen>

#include <utility>
#include <vector>

namespace {

using Assignments = std::vector<std::pair<const char*, const char*>>;  // rig node, joint
using Button = QMessageBox::StandardButton;

const QString kTitle = QStringLiteral("Bone Already Assigned");
const QString kMirrorTitle = QStringLiteral("Mirroring: Bone Already Assigned");

QString change(const char* node, const char* current, const char* joint)
{
    return QStringLiteral("\"%1\" is assigned to bone \"%2\".\nChange to \"%3\"?").arg(node, current, joint);
}

QString clear(const char* joint, const char* node)
{
    return QStringLiteral("Bone \"%1\" is being used for the \"%2\".\nClear?").arg(joint, node);
}

struct QuestionCase {
    const char* name;
    Assignments before;
    const char* node;
    const char* joint;
    std::vector<Button> answers;
    QStringList questions;  // change questions are Yes/No, clear questions Ok/Cancel
    bool assigned;
    Assignments after;
    const char* editedPart;  // nullptr: none
};

void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

class QuestionMatrix : public UiModelTest, public testing::WithParamInterface<QuestionCase> { };

TEST_P(QuestionMatrix, AsksInOrderAndAssignsOnlyWhenAllowed)
{
    const QuestionCase& c = GetParam();
    for (const auto& a : c.before)
        Model().AssignNode(NodeId(a.first), a.second);
    for (Button answer : c.answers)
        boxes_.Answer(answer);

    EXPECT_EQ(AssignBoneAndMirror(&parent_, &Model(), NodeId(c.node), QString::fromUtf8(c.joint)), c.assigned);

    EXPECT_EQ(boxes_.Texts(), c.questions);
    for (const ScriptedMessageBoxes::Box& box : boxes_.Boxes()) {
        EXPECT_EQ(box.buttons, box.text.startsWith("Bone") ? QMessageBox::Ok | QMessageBox::Cancel
                                                           : QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.title, kTitle);
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.parent, &parent_);
    }
    for (const auto& a : c.after)
        EXPECT_EQ(Model().GetNodeHostName(NodeId(a.first)), QString::fromUtf8(a.second)) << a.first;
    EXPECT_EQ(Model().GetEditedPart(), c.editedPart ? NodeId(c.editedPart) : -1);
}

const char* const kHand = "LeftHand";
const char* const kFore = "LeftForeArm";
const char* const kToe = "LeftFootExtraFinger1";

// clang-format off
const QuestionCase kQuestionCases[] = {
    {"SameJoint", {{kHand, kHand}}, kHand, kHand, {}, {}, false, {{kHand, kHand}}, nullptr},
    {"Free", {}, kHand, kHand, {}, {}, true, {{kHand, kHand}}, kHand},
    {"ChangeYes", {{kHand, kFore}}, kHand, kHand, {Button::Yes}, {change(kHand, kFore, kHand)}, true, {{kHand, kHand}}, kHand},
    {"ChangeNo", {{kHand, kFore}}, kHand, kHand, {Button::No}, {change(kHand, kFore, kHand)}, false, {{kHand, kFore}}, nullptr},
    {"UsedOk", {{kFore, kHand}}, kHand, kHand, {Button::Ok}, {clear(kHand, kFore)}, true, {{kFore, ""}, {kHand, kHand}}, kHand},
    {"UsedCancel", {{kFore, kHand}}, kHand, kHand, {Button::Cancel}, {clear(kHand, kFore)}, false, {{kFore, kHand}, {kHand, ""}}, nullptr},
    {"BothYesCancel", {{kHand, kFore}, {kFore, kHand}}, kHand, kHand, {Button::Yes, Button::Cancel},
     {change(kHand, kFore, kHand), clear(kHand, kFore)}, false, {{kHand, kFore}, {kFore, kHand}}, nullptr},
    {"BothYesOk", {{kHand, "Hips"}, {kFore, kHand}}, kHand, kHand, {Button::Yes, Button::Ok},
     {change(kHand, "Hips", kHand), clear(kHand, kFore)}, true, {{kHand, kHand}, {kFore, ""}}, kHand},
    // The questions name the node as the rig spells it, not as it is shown.
    {"RigName", {{kToe, "LeftToeBase"}}, kToe, "LeftFoot", {Button::No}, {change(kToe, "LeftToeBase", "LeftFoot")}, false, {{kToe, "LeftToeBase"}}, nullptr},
    // An empty joint (an empty completion) asks nothing and assigns nothing.
    {"EmptyJoint", {{kHand, kHand}}, kHand, "", {}, {}, false, {{kHand, kHand}}, nullptr},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Questions, QuestionMatrix, testing::ValuesIn(kQuestionCases),
                         [](const testing::TestParamInfo<QuestionCase>& p) { return std::string(p.param.name); });

using AssignmentTest = UiModelTest;

TEST_F(AssignmentTest, HostHearsReleaseThenRegistrationThenSkeletonUpdate)
{
    Model().AssignNode(NodeId(kHand), kFore);
    host_.ClearRecords();
    boxes_.Answer(Button::Yes);

    ASSERT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId(kHand), kHand));

    const QStringList log =
        host_.NotificationLog().filter("AssignedNode ") + host_.NotificationLog().filter("Skeleton");
    EXPECT_EQ(log, QStringList({"UnregisterAssignedNode LeftForeArm", "RegisterAssignedNode LeftHand",
                                QString("UpdateDccCharacterSkeleton LeftForeArm|LeftHand|--- None ---|11|0")}));
    EXPECT_LT(host_.NotificationLog().indexOf(log[1]), host_.NotificationLog().indexOf(log[2]));
}

// Mirror mode on; the fixture's settings pair "Left" with "Right".
struct MirrorCase {
    const char* name;
    Assignments before;
    const char* joint;  // assigned to LeftArm
    std::vector<Button> answers;
    QStringList questions;  // all under the mirroring title
    Assignments after;
    const char* editedPart;
};

void PrintTo(const MirrorCase& c, std::ostream* os) { *os << c.name; }

class MirrorMatrix : public UiModelTest, public testing::WithParamInterface<MirrorCase> { };

TEST_P(MirrorMatrix, AssignsTheMirrorJointWithMirrorModeOffForThatCall)
{
    const MirrorCase& c = GetParam();
    ASSERT_TRUE(host_.AddJoint("Arm_A", "Hips", CharacterJointGeometry()));
    Model().AddMirrorPair("Arm", "Arm");  // finds every *Arm* joint as its own mirror
    for (const auto& a : c.before)
        Model().AssignNode(NodeId(a.first), a.second);
    Model().SetMirrorMode(true);
    for (Button answer : c.answers)
        boxes_.Answer(answer);
    // Watch the mirror mode while a question is open.
    std::vector<bool> modeDuringQuestions;
    const MessageBoxHandler scripted = SetMessageBoxHandler(nullptr);
    SetMessageBoxHandler([&](QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                             QMessageBox::StandardButtons buttons) {
        modeDuringQuestions.push_back(Model().IsMirrorMode());
        return scripted(icon, title, text, parent, buttons);
    });

    const bool assigned = AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), c.joint);
    SetMessageBoxHandler(scripted);

    EXPECT_TRUE(assigned);  // the first node always is
    EXPECT_EQ(boxes_.Texts(), c.questions);
    for (const QString& title : boxes_.Titles())
        EXPECT_EQ(title, kMirrorTitle);
    EXPECT_EQ(modeDuringQuestions, std::vector<bool>(c.questions.size(), false));
    EXPECT_TRUE(Model().IsMirrorMode());
    for (const auto& a : c.after)
        EXPECT_EQ(Model().GetNodeHostName(NodeId(a.first)), QString::fromUtf8(a.second)) << a.first;
    EXPECT_EQ(Model().GetEditedPart(), NodeId(c.editedPart));
}

// clang-format off
const MirrorCase kMirrorCases[] = {
    {"Free", {}, "LeftArm", {}, {}, {{"LeftArm", "LeftArm"}, {"RightArm", "RightArm"}}, "RightArm"},
    {"DeclinedChange", {{"RightArm", "RightForeArm"}}, "LeftArm", {Button::No}, {change("RightArm", "RightForeArm", "RightArm")},
     {{"LeftArm", "LeftArm"}, {"RightArm", "RightForeArm"}}, "LeftArm"},
    {"UsedElsewhereOk", {{"RightForeArm", "RightArm"}}, "LeftArm", {Button::Ok}, {clear("RightArm", "RightForeArm")},
     {{"RightForeArm", ""}, {"RightArm", "RightArm"}}, "RightArm"},
    // The joint itself as its mirror: no offer to take it away from LeftArm.
    {"SameKeywordBothSides", {}, "Arm_A", {}, {}, {{"LeftArm", "Arm_A"}, {"RightArm", ""}}, "LeftArm"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Mirror, MirrorMatrix, testing::ValuesIn(kMirrorCases),
                         [](const testing::TestParamInfo<MirrorCase>& p) { return std::string(p.param.name); });

// The real box, answered by clicking its "No" button: modal, fixed size,
// centred on its parent by the size it shows with (a long text wraps, and its
// size hint is then narrower), and exec's answer is handed back.
TEST(RealMessageBox, IsCentredOnItsParentAndAnswersTheButtonClicked)
{
    QWidget parent;
    parent.setGeometry(120, 80, 640, 480);
    parent.show();
    const QRect area(parent.mapToGlobal(QPoint(0, 0)), parent.size());
    const QString wrapped = change(kHand, kFore, kHand) + QString(" and then some more").repeated(12);
    Qt::WindowFlags flags;
    bool modal = false;
    QRect shown;
    AnswerNextModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        shown = box->frameGeometry();
        flags = box->windowFlags();
        modal = box->isModal();
        SaveScreenshot(box, "message_box");
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });

    EXPECT_EQ(
        ShowCenteredMessageBox(QMessageBox::Question, kTitle, wrapped, &parent, QMessageBox::Yes | QMessageBox::No),
        QMessageBox::No);
    EXPECT_LE((shown.center() - area.center()).manhattanLength(), 2);
    EXPECT_TRUE(modal);
    EXPECT_EQ(flags & (Qt::WindowType_Mask | Qt::MSWindowsFixedSizeDialogHint),
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    QWidget panel(&parent);  // a narrow part at the window's right edge: the box stays within the window
    panel.setGeometry(440, 0, 200, 480);
    AnswerNextModal([&](QWidget* box) {
        shown = box->frameGeometry();
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
    });
    ShowCenteredMessageBox(QMessageBox::Question, kTitle, wrapped, &panel, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(shown.right(), area.right());

    // The window partly off the screen, past either corner: the box, and so
    // its buttons, stay on the screen's free area.
    const QRect free = parent.screen()->availableGeometry();
    for (const QPoint& corner : {free.topLeft() - QPoint(500, 400), free.bottomRight() - QPoint(140, 100)}) {
        parent.move(corner);
        AnswerNextModal([&](QWidget* box) {
            shown = box->frameGeometry();
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
        });
        ShowCenteredMessageBox(QMessageBox::Question, kTitle, wrapped, &panel, QMessageBox::Yes | QMessageBox::No);
        EXPECT_TRUE(free.contains(shown))
            << shown.x() << "," << shown.y() << " on " << free.width() << "x" << free.height();
    }
}

}  // namespace

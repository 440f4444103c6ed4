// The questions on the road of every assignment, answered by the scripted
// answerer; and one run through the real message box.
#include "ui_fixture.h"

#include "modal_answer.h"
#include "screenshot.h"
#include "ui/ui_functions.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

using Assignments = std::vector<std::pair<const char*, const char*>>;  // rig node, joint

const QString kTitle = QStringLiteral("Bone Already Assigned");
const QString kMirrorTitle = QStringLiteral("Mirroring: Bone Already Assigned");
const QMessageBox::StandardButtons kYesNo = QMessageBox::Yes | QMessageBox::No;
const QMessageBox::StandardButtons kOkCancel = QMessageBox::Ok | QMessageBox::Cancel;

QString changeText(const char* node, const char* current, const char* joint)
{
    return QStringLiteral("\"%1\" is assigned to bone \"%2\".\nChange to \"%3\"?").arg(node, current, joint);
}

QString clearText(const char* joint, const char* node)
{
    return QStringLiteral("Bone \"%1\" is being used for the \"%2\".\nClear?").arg(joint, node);
}

struct QuestionCase {
    const char* name;
    Assignments before;
    const char* node;
    const char* joint;
    std::vector<QMessageBox::StandardButton> answers;
    std::vector<std::pair<QString, QMessageBox::StandardButtons>> questions;  // text, buttons
    bool assigned;
    Assignments after;
    const char* editedPart;  // nullptr: none
};

class QuestionMatrix : public UiModelTest, public testing::WithParamInterface<QuestionCase> { };

TEST_P(QuestionMatrix, AsksInOrderAndAssignsOnlyWhenAllowed)
{
    const QuestionCase& c = GetParam();
    for (const auto& a : c.before)
        Model().AssignNode(NodeId(a.first), a.second);
    for (QMessageBox::StandardButton answer : c.answers)
        boxes_.Answer(answer);

    EXPECT_EQ(AssignBoneAndMirror(&parent_, &Model(), NodeId(c.node), QString::fromUtf8(c.joint)), c.assigned);

    ASSERT_EQ(boxes_.Boxes().size(), c.questions.size());
    for (std::size_t i = 0; i < c.questions.size(); ++i) {
        const ScriptedMessageBoxes::Box& box = boxes_.Boxes()[i];
        EXPECT_EQ(box.text, c.questions[i].first);
        EXPECT_EQ(box.buttons, c.questions[i].second);
        EXPECT_EQ(box.title, kTitle);
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.parent, &parent_);
    }
    for (const auto& a : c.after)
        EXPECT_EQ(Model().GetNodeHostName(NodeId(a.first)), QString::fromUtf8(a.second)) << a.first;
    EXPECT_EQ(Model().GetEditedPart(), c.editedPart ? NodeId(c.editedPart) : -1);
}

const QuestionCase kQuestionCases[] = {
    {"SameJoint",
     {{"LeftHand", "LeftHand"}},
     "LeftHand",
     "LeftHand",
     {},
     {},
     false,
     {{"LeftHand", "LeftHand"}},
     nullptr},
    {"FreeNodeFreeJoint", {}, "LeftHand", "LeftHand", {}, {}, true, {{"LeftHand", "LeftHand"}}, "LeftHand"},
    {"ChangeYes",
     {{"LeftHand", "LeftForeArm"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::Yes},
     {{changeText("LeftHand", "LeftForeArm", "LeftHand"), kYesNo}},
     true,
     {{"LeftHand", "LeftHand"}},
     "LeftHand"},
    {"ChangeNo",
     {{"LeftHand", "LeftForeArm"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::No},
     {{changeText("LeftHand", "LeftForeArm", "LeftHand"), kYesNo}},
     false,
     {{"LeftHand", "LeftForeArm"}},
     nullptr},
    {"UsedElsewhereOk",
     {{"LeftForeArm", "LeftHand"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::Ok},
     {{clearText("LeftHand", "LeftForeArm"), kOkCancel}},
     true,
     {{"LeftForeArm", ""}, {"LeftHand", "LeftHand"}},
     "LeftHand"},
    {"UsedElsewhereCancel",
     {{"LeftForeArm", "LeftHand"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::Cancel},
     {{clearText("LeftHand", "LeftForeArm"), kOkCancel}},
     false,
     {{"LeftForeArm", "LeftHand"}, {"LeftHand", ""}},
     nullptr},
    {"BothYesThenCancel",
     {{"LeftHand", "LeftForeArm"}, {"LeftForeArm", "LeftHand"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::Yes, QMessageBox::Cancel},
     {{changeText("LeftHand", "LeftForeArm", "LeftHand"), kYesNo}, {clearText("LeftHand", "LeftForeArm"), kOkCancel}},
     false,
     {{"LeftHand", "LeftForeArm"}, {"LeftForeArm", "LeftHand"}},
     nullptr},
    {"BothYesThenOk",
     {{"LeftHand", "Hips"}, {"LeftForeArm", "LeftHand"}},
     "LeftHand",
     "LeftHand",
     {QMessageBox::Yes, QMessageBox::Ok},
     {{changeText("LeftHand", "Hips", "LeftHand"), kYesNo}, {clearText("LeftHand", "LeftForeArm"), kOkCancel}},
     true,
     {{"LeftHand", "LeftHand"}, {"LeftForeArm", ""}},
     "LeftHand"},
    // The questions name the rig node as the rig library spells it.
    {"RigNameInQuestion",
     {{"LeftFootExtraFinger1", "LeftToeBase"}},
     "LeftFootExtraFinger1",
     "LeftFoot",
     {QMessageBox::No},
     {{changeText("LeftFootExtraFinger1", "LeftToeBase", "LeftFoot"), kYesNo}},
     false,
     {{"LeftFootExtraFinger1", "LeftToeBase"}},
     nullptr},
    // An empty joint (an empty completion) asks nothing and assigns nothing.
    {"EmptyJoint", {{"LeftHand", "LeftHand"}}, "LeftHand", "", {}, {}, false, {{"LeftHand", "LeftHand"}}, nullptr},
    {"EmptyJointOnFreeNode", {}, "LeftHand", "", {}, {}, false, {{"LeftHand", ""}}, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Questions, QuestionMatrix, testing::ValuesIn(kQuestionCases),
                         [](const testing::TestParamInfo<QuestionCase>& param) {
                             return std::string(param.param.name);
                         });

using AssignmentTest = UiModelTest;

TEST_F(AssignmentTest, HostHearsReleaseThenRegistrationThenSkeletonUpdate)
{
    Model().AssignNode(NodeId("LeftHand"), "LeftForeArm");
    host_.ClearRecords();
    boxes_.Answer(QMessageBox::Yes);

    ASSERT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftHand"), "LeftHand"));

    QStringList notifications;
    for (const QString& line : host_.NotificationLog()) {
        if (line.startsWith("RegisterAssignedNode") || line.startsWith("UnregisterAssignedNode") ||
            line.startsWith("UpdateDccCharacterSkeleton"))
            notifications << line;
    }
    EXPECT_EQ(notifications,
              QStringList({"UnregisterAssignedNode LeftForeArm", "RegisterAssignedNode LeftHand",
                           QStringLiteral("UpdateDccCharacterSkeleton LeftForeArm|LeftHand|--- None ---|%1|0")
                               .arg(NodeId("LeftHand"))}));
}

TEST_F(AssignmentTest, MirroredAssignmentMakesTheMirrorNodeTheEditedPart)
{
    Model().SetMirrorMode(true);

    EXPECT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "LeftArm"));

    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "LeftArm");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightArm");
    EXPECT_EQ(Model().GetEditedPart(), NodeId("RightArm"));
    EXPECT_TRUE(Model().IsMirrorMode());
}

TEST_F(AssignmentTest, DeclinedMirrorQuestionKeepsTheFirstNodeEditedAndMirrorModeOn)
{
    Model().AssignNode(NodeId("RightArm"), "RightForeArm");
    Model().SetMirrorMode(true);
    boxes_.Answer(QMessageBox::No);
    // Watch the mirror mode while the mirror question is open.
    std::vector<bool> modeDuringQuestion;
    MessageBoxHandler scripted = SetMessageBoxHandler(nullptr);
    SetMessageBoxHandler([&](QMessageBox::Icon icon, const QString& title, const QString& text, QWidget* parent,
                             QMessageBox::StandardButtons buttons) {
        modeDuringQuestion.push_back(Model().IsMirrorMode());
        return scripted(icon, title, text, parent, buttons);
    });

    const bool assigned = AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "LeftArm");
    SetMessageBoxHandler(scripted);

    EXPECT_TRUE(assigned);  // the first node was assigned
    ASSERT_EQ(boxes_.Titles(), QStringList{kMirrorTitle});
    EXPECT_EQ(boxes_.Texts(), QStringList{changeText("RightArm", "RightForeArm", "RightArm")});
    EXPECT_EQ(modeDuringQuestion, std::vector<bool>{false});
    EXPECT_TRUE(Model().IsMirrorMode());
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightForeArm");
    EXPECT_EQ(Model().GetEditedPart(), NodeId("LeftArm"));
}

TEST_F(AssignmentTest, MirrorJointUsedElsewhereIsAskedUnderTheMirroringTitle)
{
    Model().AssignNode(NodeId("RightForeArm"), "RightArm");
    Model().SetMirrorMode(true);
    boxes_.Answer(QMessageBox::Ok);

    EXPECT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "LeftArm"));

    EXPECT_EQ(boxes_.Titles(), QStringList{kMirrorTitle});
    EXPECT_EQ(boxes_.Texts(), QStringList{clearText("RightArm", "RightForeArm")});
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightForeArm")), "");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "RightArm");
    EXPECT_EQ(Model().GetEditedPart(), NodeId("RightArm"));
}

TEST_F(AssignmentTest, KeywordPairWithTheSameTextOnBothSidesDoesNotMirrorAJointOntoItself)
{
    ASSERT_TRUE(host_.AddJoint("Arm_A", "Hips", CharacterJointGeometry()));
    Model().AddMirrorPair("Arm", "Arm");
    Model().SetMirrorMode(true);

    EXPECT_TRUE(AssignBoneAndMirror(&parent_, &Model(), NodeId("LeftArm"), "Arm_A"));

    EXPECT_TRUE(boxes_.Boxes().empty());  // no offer to take it away from LeftArm
    EXPECT_EQ(Model().GetNodeHostName(NodeId("LeftArm")), "Arm_A");
    EXPECT_EQ(Model().GetNodeHostName(NodeId("RightArm")), "");
    EXPECT_EQ(Model().GetEditedPart(), NodeId("LeftArm"));
    EXPECT_TRUE(Model().IsMirrorMode());
}

// The real box, answered by clicking its "No" button: modal, fixed size,
// centred on its parent, and exec's answer is handed back.
TEST(RealMessageBox, IsCentredOnItsParentAndAnswersTheButtonClicked)
{
    QWidget parent;
    parent.setGeometry(120, 80, 640, 480);
    parent.show();
    QPoint expectedTopLeft;
    Qt::WindowFlags flags;
    bool modal = false;
    AnswerNextModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        const QSize hint = box->sizeHint();
        expectedTopLeft = parent.mapToGlobal(QPoint(640 / 2 - hint.width() / 2, 480 / 2 - hint.height() / 2));
        EXPECT_EQ(box->pos(), expectedTopLeft);
        flags = box->windowFlags();
        modal = box->isModal();
        SaveScreenshot(box, "message_box");
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });

    const int answer = ShowCenteredMessageBox(QMessageBox::Question, "Bone Already Assigned",
                                              changeText("LeftHand", "LeftForeArm", "LeftHand"), &parent,
                                              QMessageBox::Yes | QMessageBox::No);

    EXPECT_EQ(answer, QMessageBox::No);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
}

}  // namespace

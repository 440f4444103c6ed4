// Display names, the node-selection command and selecting a node's joint in the host.
#include "ui_fixture.h"

#include "ui/select_assigned_bone.h"
#include "ui/select_node_command.h"
#include "ui/ui_functions.h"

#include <memory>

namespace {

TEST(DisplayNames, OutOfRangeIsEmptyAndTheExtraFingerShowsAsTheBigToe)
{
    EXPECT_EQ(RotationOrderDisplayName(VLM_ROTATION_SPHERIC_XYZ), "Spheric XYZ");  // the last order
    for (const QString& name :
         {RotationOrderDisplayName(VLMRotationOrder(13)), RotationOrderDisplayName(VLMRotationOrder(-1)),
          NodeDisplayName(-1), NodeDisplayName(172)})
        EXPECT_EQ(name, "");
    EXPECT_EQ(NodeDisplayName(NodeId("RightFootExtraFinger3")), "RightFootBigToe3");
    EXPECT_EQ(NodeDisplayNameFromName("leftfootextrafinger1"), "leftfootextrafinger1");  // case-sensitive
}

using UiFunctionsTest = UiModelTest;

TEST_F(UiFunctionsTest, SelectNodeCommandSelectsByExactRigNameAndUndoesToTheNodeBefore)
{
    const struct {
        int before;
        std::vector<const char*> names;  // executed in order
        int selected, undone;            // after the last execution, after undoing it
    } cases[] = {{-1, {"LeftHand"}, 11, -1}, {5, {"lefthand"}, -1, 5}, {2, {"LeftHand", "Hips"}, 1, 11}};
    for (const auto& c : cases) {
        Model().SetEditedPart(c.before, false);
        std::vector<std::unique_ptr<ICommand>> commands;
        for (const char* name : c.names) {
            commands.emplace_back(CreateSelectNodeCommand(&Model(), name));
            commands.back()->Execute();
        }
        EXPECT_EQ(Model().GetEditedPart(), c.selected) << c.names.back();
        commands.back()->Undo();
        EXPECT_EQ(Model().GetEditedPart(), c.undone) << c.names.back();
    }
    Model().SetEditedPart(4, false);
    std::unique_ptr<ICommand>(CreateSelectNodeCommand(&Model(), "Hips"))->Undo();  // before any execution
    EXPECT_EQ(Model().GetEditedPart(), -1);
}

// Only a node with a joint is selected, never without a hub or a current characterization.
TEST_F(UiFunctionsTest, SelectAssignedBoneInHostSelectsOnlyAnAssignedJoint)
{
    Model().AssignNode(NodeId("LeftHand"), "LeftForeArm");
    SelectAssignedBoneInHost(nullptr, &Model(), NodeId("LeftHand"));
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("RightHand"));
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("LeftHand"));
    EXPECT_EQ(host_.GetSelectedNodes(), QStringList{"LeftForeArm"});
    Model().RemoveCurrentCharacterization();
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("LeftHand"));
    EXPECT_EQ(host_.NotificationLog().filter("SelectNode"), QStringList{"SelectNode LeftForeArm"});
}

}  // namespace

// Selecting the joint of a rig node in the host: only for a node with a state,
// and never without a hub or a current characterization.
#include "ui_fixture.h"

#include "ui/select_assigned_bone.h"

using SelectAssignedBoneTest = UiModelTest;

TEST_F(SelectAssignedBoneTest, SelectsOnlyAnAssignedJoint)
{
    Model().AssignNode(NodeId("LeftHand"), "LeftForeArm");
    SelectAssignedBoneInHost(nullptr, &Model(), NodeId("LeftHand"));
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("RightHand"));
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("LeftHand"));
    EXPECT_EQ(host_.NotificationLog().filter("SelectNode"), QStringList{"SelectNode LeftForeArm"});
    EXPECT_EQ(host_.GetSelectedNodes(), QStringList{"LeftForeArm"});

    Model().RemoveCurrentCharacterization();
    SelectAssignedBoneInHost(&host_, &Model(), NodeId("LeftHand"));
    EXPECT_EQ(host_.NotificationLog().filter("SelectNode").size(), 1);
}

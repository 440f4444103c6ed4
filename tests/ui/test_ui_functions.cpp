// Display names and the node-selection command.
#include "ui_fixture.h"

#include "ui/select_node_command.h"
#include "ui/ui_functions.h"

#include <memory>

namespace {

TEST(DisplayNames, RotationOrdersAndRigNodes)
{
    EXPECT_EQ(RotationOrderDisplayName(VLM_ROTATION_EULER_YXY), "Euler YXY");
    EXPECT_EQ(RotationOrderDisplayName(VLM_ROTATION_SPHERIC_XYZ), "Spheric XYZ");
    EXPECT_EQ(RotationOrderDisplayName(VLMRotationOrder(13)), "");
    EXPECT_EQ(RotationOrderDisplayName(VLMRotationOrder(-1)), "");

    EXPECT_EQ(NodeDisplayName(-1), "");
    EXPECT_EQ(NodeDisplayName(172), "");
    EXPECT_EQ(NodeDisplayName(NodeId("Hips")), "Hips");
    EXPECT_EQ(NodeDisplayName(NodeId("RightFootExtraFinger3")), "RightFootBigToe3");
    EXPECT_EQ(NodeDisplayNameFromName("leftfootextrafinger1"), "leftfootextrafinger1");
}

using SelectNodeCommandTest = UiModelTest;

TEST_F(SelectNodeCommandTest, SelectsByExactRigNameAndUndoesToTheNodeBefore)
{
    const struct {
        int before;
        std::vector<const char*> names;  // executed in order
        int selected;                    // after the last execution
        int undone;                      // after undoing the last one
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

}  // namespace

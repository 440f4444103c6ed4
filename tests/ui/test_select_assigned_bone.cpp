// Selecting the joint of a rig node in the host: only for a node with a state,
// and never without a hub or a current characterization.
#include "ui_fixture.h"

#include "ui/select_assigned_bone.h"

namespace {

struct SelectCase {
    const char* name;
    const char* node;
    bool withHub;
    bool withCurrent;
    QStringList expected;  // SelectNode calls heard by the host
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.name; }

class SelectAssignedBone : public UiModelTest, public testing::WithParamInterface<SelectCase> { };

TEST_P(SelectAssignedBone, SelectsOnlyAnAssignedJoint)
{
    const SelectCase& c = GetParam();
    Model().AssignNode(NodeId("Hips"), "Hips");
    Model().AssignNode(NodeId("LeftHand"), "LeftForeArm");
    Model().Refresh();
    if (!c.withCurrent)
        Model().RemoveCurrentCharacterization();
    host_.ClearRecords();

    SelectAssignedBoneInHost(c.withHub ? &host_ : nullptr, &Model(), NodeId(c.node));

    EXPECT_EQ(host_.NotificationLog().filter("SelectNode"), c.expected);
    if (!c.expected.isEmpty()) {
        EXPECT_EQ(host_.GetSelectedNodes(), QStringList{c.expected.front().mid(11)});
    }
}

// clang-format off
const SelectCase kSelectCases[] = {
    {"Assigned", "LeftHand", true, true, {"SelectNode LeftForeArm"}},
    {"Unassigned", "RightHand", true, true, {}},
    {"NoHub", "Hips", false, true, {}},
    {"NoCharacterization", "Hips", true, false, {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, SelectAssignedBone, testing::ValuesIn(kSelectCases),
                         [](const testing::TestParamInfo<SelectCase>& p) { return std::string(p.param.name); });

}  // namespace

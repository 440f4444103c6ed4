#include "solver_test_util.h"

namespace {

using namespace soltest;

// Off skips; full shoulder reach keeps it; the roll flag decides; the third angle bounded at 0.
TEST(Shoulder, CorrectionFromTheArm)
{
    Posed s(fixtures::Typical(), 4);
    VLMEffectorSetLayout* set = s.effectors();
    VLMScopedFPGuard guard;
    VLMVector4 d;
    VLMGetUpperArmDirection(s.c(), &d, s.rows(), VLM_ARM_SIDE_LEFT);
    std::vector<VLMStateRow> before = s.snapshot();
    VLMSolveShoulderArm(s.c(), s.rows(), set, &s.properties, d, VLM_ARM_SIDE_LEFT);
    EXPECT_TRUE(Unchanged(s, before));
    s.properties.entries[vlm_entry::ShoulderCorrection].value = 1.0f;
    const struct {
        float lane;
        std::uint32_t flag;
        bool moves;
    } cases[] = {{1, 0, false}, {0, 0, false}, {0, 1, true}};
    for (const auto& c : cases) {
        Restore(s, before);
        set->blend[VLM_LEFT_SHOULDER_EFFECTOR].x = c.lane;
        set->rollCaptured = c.flag;
        const VLMVector4 e0 = s.euler(VLM_NODE_LEFT_SHOULDER);
        VLMSolveShoulderArm(s.c(), s.rows(), set, &s.properties, d, VLM_ARM_SIDE_LEFT);
        EXPECT_EQ(std::fabs(s.euler(VLM_NODE_LEFT_SHOULDER).z - e0.z) > 1e-4, c.moves) << c.lane << c.flag;
    }
    for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
        const int shoulder = side ? 18 : 19, arm = side ? 9 : 12;
        const float from = side ? 0.2f : -0.2f, to = side ? -0.3f : 0.3f;
        VLMSetStateToTPose(s.c(), s.rows());
        VLMTreeGlobalToLocal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        const VLMNodeRecord* record = VLMCharacterNodeRecord(s.c(), shoulder);
        VLMVector4 qa, qb;
        VLMNodeRotationFromEuler(&record->rotation, qa, V(0, 0, to, 0));
        VLMNodeRotationFromEuler(&record->rotation, qb, V(0, 0, from, 0));
        s.row(shoulder).localQ = qb;
        s.row(arm).localQ = VLMQuatMultiply(VLMQuatMultiply(VLMVector4NegateXYZ(qb), qa), s.row(arm).localQ);
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        VLMCorrectShoulderFromArm(s.c(), s.rows(), side, S(1), S(0), d, false);
        EXPECT_NEAR(s.euler(shoulder).z, 0.0, 1e-3) << side;
    }
}

// Share 0 turns only the shoulder, 1 only the extra; coincident arm joints give no NaN.
TEST(Shoulder, CollarShareAndDegenerateArms)
{
    fixtures::Proportions p = fixtures::Typical();
    p.shoulderExtras = true;
    for (float share : {0.0f, 1.0f}) {
        Posed s(p, 7);
        const VLMVector4 shoulder = s.row(18).globalQ, extra = s.row(170).localQ;
        VLMScopedFPGuard guard;
        VLMAimCollarAtPoint(s.c(), s.rows(), VLMVector4Add(s.row(9).globalT, V(0, 8, 3, 0)), 18, 9, S(share), S(0));
        EXPECT_EQ(TurnAngle(s.row(18).globalQ, shoulder) < 1e-6, share == 1.0f);
        EXPECT_EQ(TurnAngle(s.row(170).localQ, extra) < 1e-6, share == 0.0f);
    }
    p.arm = 0.0f;
    Posed s(p, 8);
    s.properties.entries[vlm_entry::ShoulderCorrection].value = 1.0f;
    s.effectors()->effectors[VLM_LEFT_WRIST_EFFECTOR].t.x += 30.0f;
    VLMScopedFPGuard guard;
    VLMVector4 d = V(1, 0, 0, 0);
    VLMSolveCollar(s.c(), s.rows(), s.effectors(), &s.properties, VLM_ARM_SIDE_LEFT, true);
    VLMSolveShoulderArm(s.c(), s.rows(), s.effectors(), &s.properties, d, VLM_ARM_SIDE_LEFT);
    VLMSolveBodyPull(s.c(), s.rows(), s.effectors(), &s.properties, 2, true, true, true, true, true);
    EXPECT_TRUE(Finite(s));
}

}  // namespace

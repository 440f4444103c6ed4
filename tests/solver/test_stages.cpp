#include "solver_test_util.h"

namespace {

using namespace soltest;

// Effectors taken from the pose leave the pose where it is.
TEST(UpperBody, StagesKeepAPoseTheirEffectorsCameFrom)
{
    Posed s(fixtures::Full(), 3);
    VLMPropertySetState& p = s.properties;
    p.entries[vlm_entry::ShoulderCorrection].value = 1.0f;
    for (int k = 0; k < 8; ++k)
        p.entries[VLMRollSegmentTable()[k].rollProperty].mode = 1;
    const VLMEffectorSetLayout* set = s.effectors();
    const std::function<void()> stages[] = {
        [&] { VLMSolveNeckHead(s.c(), s.rows(), set, &p); },
        [&] {
            VLMSolveCollar(s.c(), s.rows(), set, &p, VLM_ARM_SIDE_LEFT, true);
            VLMSolveCollar(s.c(), s.rows(), set, &p, VLM_ARM_SIDE_RIGHT, true);
        },
        [&] {
            VLMVector4 d;
            VLMCaptureUpperArmDirection(s.c(), s.rows(), &p, &d, VLM_ARM_SIDE_LEFT);
            VLMSolveShoulderArm(s.c(), s.rows(), set, &p, d, VLM_ARM_SIDE_LEFT);
        },
        [&] { VLMSolveBodyPull(s.c(), s.rows(), set, &p, 10, true, true, true, true, true); },
        [&] {
            VLMVector4 block[16];
            VLMCaptureRollAngles(s.c(), s.rows(), &p, block);
            VLMDistributeRoll(s.c(), s.rows(), &p, block);
        },
    };
    const std::vector<VLMStateRow> before = s.snapshot();
    for (std::size_t k = 0; k < std::size(stages); ++k) {
        Restore(s, before);
        VLMScopedFPGuard guard;
        stages[k]();
        EXPECT_LT(s.moved(before), 1e-4 * 177) << "stage " << k;
    }
}

}  // namespace

#include "solver_test_util.h"

namespace {

using namespace soltest;

// The shoulder effector at reach rT: the collar turns the arm joint onto the ray toward A + rT (E - A).
TEST(Collar, TheShoulderEffectorAimsTheArmJointByItsReach)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
            for (float reach : {1.0f, 0.5f}) {
                Posed s(fixtures::Typical(), seed);
                VLMEffectorSetLayout* set = s.effectors();
                std::memset(set->blend, 0, sizeof set->blend);
                const int collar = side ? 18 : 19, arm = side ? 9 : 12, effector = side ? 13 : 14;
                std::mt19937 rng(seed);
                const P3 a = At(s.row(arm).globalT), from = At(s.row(collar).globalT);
                const P3 e = a + 8.0 * RandomDirection(rng), target = a + double(reach) * (e - a);
                set->effectors[effector].t = V(float(e.x), float(e.y), float(e.z), 0);
                set->blend[effector] = V(reach, 0, 0, 0);
                VLMScopedFPGuard guard;
                VLMSolveCollar(s.c(), s.rows(), set, &s.properties, side, false);
                const P3 moved = At(s.row(arm).globalT);
                SCOPED_TRACE(::testing::Message() << "seed " << seed << ", side " << side << ", reach " << reach);
                EXPECT_LT(Len(Cross(moved - from, target - from)) / (Len(moved - from) * Len(target - from)), 1e-4);
                EXPECT_GT(Dot(moved - from, target - from), 0.0);
                EXPECT_NEAR(Len(moved - from), Len(a - from), 1e-4);
            }
        }
    }
}

// Collar stiffness k per axis: each Euler angle of collar and extra ends at (1 - k) turned + k before.
TEST(Collar, StiffnessPullsEachAngleBackByItsAxis)
{
    fixtures::Proportions p = fixtures::Typical();
    for (bool extras : {false, true}) {
        p.shoulderExtras = extras;
        for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
            const int collar = side ? 18 : 19, extra = side ? 170 : 171, effector = side ? 13 : 14;
            const int nodes[2] = {collar, extra};
            VLMVector4 angles[3][2];  // before, turned freely, turned with stiffness
            for (int run = 1; run < 3; ++run) {
                Posed s(p, 5);
                VLMEffectorSetLayout* set = s.effectors();
                std::memset(set->blend, 0, sizeof set->blend);
                set->effectors[effector].t = VLMVector4Add(s.row(side ? 9 : 12).globalT, V(2, 9, 6, 0));
                set->blend[effector] = V(1, 0, 0, 0);
                s.properties.entries[vlm_entry::ExtraCollarRatio].value = 0.4f;
                for (int i = 0; i < 3 && run == 2; ++i)
                    s.properties.entries[vlm_entry::CollarStiffnessX + i].value = 0.3f * float(i + 1);
                for (int n = 0; n < 1 + extras; ++n)
                    angles[0][n] = s.euler(nodes[n]);
                VLMScopedFPGuard guard;
                VLMSolveCollar(s.c(), s.rows(), set, &s.properties, side, false);
                for (int n = 0; n < 1 + extras; ++n)
                    angles[run][n] = s.euler(nodes[n]);
            }
            for (int n = 0; n < 1 + extras; ++n) {
                for (int i = 0; i < 3; ++i) {
                    const double k = 0.3 * (i + 1), before = mathtest::Lane(angles[0][n], i);
                    const double turned = mathtest::Lane(angles[1][n], i);
                    EXPECT_GT(std::fabs(turned - before), 1e-3) << "node " << nodes[n] << ", axis " << i;
                    EXPECT_NEAR(mathtest::Lane(angles[2][n], i), (1 - k) * turned + k * before, 3e-4)
                        << "node " << nodes[n] << ", axis " << i;
                }
            }
        }
    }
}

// An arm pulled beyond its reach turns the collar by the excess times (1 - pull x reach) (1 - stiffness) of
// the shoulder effector, the pull's part toward the collar joint dropped: the excess read off a free turn, the
// held turns predicted from it.
TEST(Collar, PullPhaseHoldsTheExcessByTheShoulderLanes)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
            const int collar = side ? 18 : 19, arm = side ? 9 : 12, wrist = side ? 3 : 4, effector = side ? 13 : 14;
            const struct {
                float reach, pull, stiffness;
            } lanes[] = {{1, 0, 0}, {1, 0.5f, 0}, {0.6f, 0.5f, 0.25f}, {0, 1, 0.5f}};
            P3 a, from, d;
            double excess = 0;
            for (const auto& l : lanes) {
                Posed s(fixtures::Typical(), seed);
                VLMEffectorSetLayout* set = s.effectors();
                std::memset(set->blend, 0, sizeof set->blend);
                a = At(s.row(arm).globalT), from = At(s.row(collar).globalT);
                std::mt19937 rng(seed + side);
                d = RandomDirection(rng);
                const P3 far = a + 120.0 * d, bone = a - from;
                if (Dot(d, bone) < 0)
                    d = d - (Dot(d, bone) / Dot(bone, bone)) * bone;
                set->effectors[wrist].t = V(float(far.x), float(far.y), float(far.z), 0);
                set->blend[wrist] = V(1, 0, 1, 0);
                set->effectors[effector].t = s.row(arm).globalT;  // the shoulder effector's own turn is none
                set->blend[effector] = V(l.reach, 0, l.pull, l.stiffness);
                VLMScopedFPGuard guard;
                VLMSolveCollar(s.c(), s.rows(), set, &s.properties, side, false);
                const P3 u = At(s.row(arm).globalT) - from, w = a - from;
                SCOPED_TRACE(::testing::Message() << "seed " << seed << ", side " << side << ", lanes " << l.reach
                                                  << " " << l.pull << " " << l.stiffness);
                if (excess == 0) {  // w + d e parallel to u
                    excess = -Dot(Cross(w, u), Cross(d, u)) / Dot(Cross(d, u), Cross(d, u));
                    ASSERT_GT(excess, 10.0);
                    continue;
                }
                const P3 want = w + (excess * (1 - l.pull * l.reach) * (1 - l.stiffness)) * d;
                EXPECT_LT(Len(Cross(u, want)) / (Len(u) * Len(want)), 1e-4);
            }
        }
    }
}

}  // namespace

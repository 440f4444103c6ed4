#include "solver_test_util.h"

namespace {

using namespace soltest;

// No freedom keeps the length, no reach bends only, no Neck1..9 bends over two points, no length no NaN.
TEST(Neck, BendsAndStretches)
{
    const struct {
        int joints;
        float neck, freedom, reach;
        bool keepsLength;
    } cases[] = {{3, 1, 0, 1, true},
                 {3, 1, 0.5f, 0, true},
                 {0, 1, 0.5f, 0, true},
                 {3, 1, 0.5f, 1, false},
                 {2, 0, 0.5f, 1, true}};
    for (const auto& c : cases) {
        fixtures::Proportions p = fixtures::Typical();
        p.neckJoints = c.joints, p.neck = c.neck;
        Posed s(p, 2);
        s.properties.entries[vlm_entry::SnSNeckFreedom].value = c.freedom;
        s.properties.entries[vlm_entry::SnSReachHead].value = c.reach;
        VLMVector4 points[VLM_NECK_CHAIN_MAX];
        const auto length = [&] {
            const int n = VLMGatherNeckChainPositions(s.c(), points, s.rows());
            double sum = 0;
            for (int k = 0; k + 1 < n; ++k)
                sum += Len(At(points[k + 1]) - At(points[k]));
            return sum;
        };
        const double before = length();
        const VLMVector4 target = VLMVector4Add(s.row(VLM_NODE_HEAD).globalT, V(12, -5, 9, 0));
        const double far = Len(At(target) - At(s.row(VLM_NODE_HEAD).globalT));
        VLMScopedFPGuard guard;
        VLMSolveNeckStretch(s.c(), s.rows(), target, &s.properties);
        SCOPED_TRACE(::testing::Message() << c.joints << " " << c.freedom << " " << c.reach);
        EXPECT_TRUE(Finite(s));
        EXPECT_EQ(std::fabs(length() - before) < 1e-3, c.keepsLength);
        EXPECT_TRUE(c.neck == 0 || Len(At(target) - At(s.row(VLM_NODE_HEAD).globalT)) < far - 1.0);
    }
}

// A head goal nearer the neck's root than the head (where a source with a shorter trunk than the target's puts it,
// at 0.1-0.7 of the head's distance) is aimed at from the head's distance: the neck turns toward it but does not
// curl in after it, which would fold a joint by 130-180 degrees. A goal beyond the head and ahead of the neck is
// reached for as the bare rotation passes reach for it; one further round (40 or 85 degrees) is turned toward by
// 32 degrees and about half the rest.
TEST(Neck, AGoalNearerTheRootThanTheHeadTurnsTheNeckButNeverFoldsIt)
{
    for (const int joints : {1, 3, 9}) {
        fixtures::Proportions p = fixtures::Typical();
        p.neckJoints = joints;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            std::mt19937 rng(seed);
            for (const double degrees : {0.0, 40.0, 85.0}) {
                for (const double ratio : {0.3, 0.6, 1.1}) {
                    Posed s(p, seed);
                    VLMVector4 points[VLM_NECK_CHAIN_MAX];
                    const int n = VLMGatherNeckChainPositions(s.c(), points, s.rows());
                    const P3 root = At(points[0]), head = At(points[n - 1]);
                    const double reach = Len(head - root), a = degrees * 3.14159265358979 / 180;
                    const P3 u = (1 / reach) * (head - root), side = Cross(u, RandomDirection(rng));
                    const P3 d = std::cos(a) * u + (std::sin(a) / Len(side)) * side;
                    const P3 goal = root + ratio * reach * d;
                    const VLMVector4 target = V(float(goal.x), float(goal.y), float(goal.z), 0);
                    const float length = VLMPointChainLength(points, n);
                    {
                        VLMScopedFPGuard guard;
                        VLMSolveNeckStretch(s.c(), s.rows(), target, &s.properties);
                        for (int i = 0; i < 20; ++i)
                            VLMRotatePointChainTowardTarget(points, n, VLMVector4Splat(length * length), target);
                    }
                    SCOPED_TRACE(::testing::Message() << joints << " joints, seed " << seed << ", " << degrees
                                                      << " degrees, ratio " << ratio);
                    const P3 now = At(s.row(VLM_NODE_HEAD).globalT) - root;
                    EXPECT_TRUE(Finite(s));
                    if (ratio < 1) {
                        EXPECT_GT(Len(now), 0.85 * reach);
                        EXPECT_LE(std::acos(std::fmin(1.0, Dot(now, d) / Len(now))), a * (1 - 0.5 * ratio) + 1e-3);
                    } else if (degrees < 32) {
                        EXPECT_LT(Len(now - (At(points[n - 1]) - root)), 1e-3 * reach);
                    } else {
                        const double turned =
                            std::acos(std::fmin(1.0, Dot(now, u) / Len(now))) * 180 / 3.14159265358979;
                        EXPECT_GT(turned, 32 + 0.4 * (degrees - 32));
                        EXPECT_LT(turned, 32 + 0.5 * (degrees - 32));
                    }
                }
            }
        }
    }
}

// A head goal just above the neck's root with the root moving past it sideways in steps of 2% of the head's
// distance (a trunk that keeps a jerk of the hips moves it 4 to 5 cm in a frame past a goal about that far away): the
// head moves at most 1.2 times as far as the root, and the chain turns as one, no bone of it turning more than 1.2
// times as far as the line from the root to the head. Aimed along the goal's direction from the root, the head moved
// up to 1.55 times as far, and the rotation passes, bending the chain after it, turned a bone up to 1.7 times as far
// as that line.
TEST(Neck, ARootMovingPastANearGoalMovesTheHeadNoFurtherThanItself)
{
    const auto angle = [](const P3& a, const P3& b) {
        return std::acos(std::fmax(-1.0, std::fmin(1.0, Dot(a, b) / (Len(a) * Len(b)))));
    };
    for (const int joints : {1, 3, 9}) {
        fixtures::Proportions p = fixtures::Typical();
        p.neckJoints = joints;
        std::vector<P3> before;
        for (int k = -40; k <= 40; ++k) {
            Posed s(p, 2);
            VLMVector4 points[VLM_NECK_CHAIN_MAX];
            const int n = VLMGatherNeckChainPositions(s.c(), points, s.rows());
            const P3 root = At(points[0]), head = At(points[n - 1]);
            const double reach = Len(head - root);
            const P3 u = (1 / reach) * (head - root), across = Cross(u, P3{1, 0, 0});
            const P3 goal = root + 0.1 * reach * u + (0.02 * k * reach / Len(across)) * across;
            {
                VLMScopedFPGuard guard;
                VLMSolveNeckStretch(s.c(), s.rows(), V(float(goal.x), float(goal.y), float(goal.z), 0), &s.properties);
            }
            VLMGatherNeckChainPositions(s.c(), points, s.rows());
            std::vector<P3> now;
            for (int j = 0; j < n; ++j)
                now.push_back(At(points[j]) - root);
            SCOPED_TRACE(::testing::Message() << joints << " joints, step " << k);
            EXPECT_TRUE(Finite(s));
            if (!before.empty()) {
                EXPECT_LE(Len(now[n - 1] - before[n - 1]), 1.2 * 0.02 * reach);
                const double line = angle(now[n - 1], before[n - 1]);
                for (int j = 0; j + 1 < n; ++j)
                    EXPECT_LE(angle(now[j + 1] - now[j], before[j + 1] - before[j]), 1.2 * line + 1e-4) << j;
            }
            before = now;
        }
    }
}

// A head effector turned away: joint j of Neck..Neck3 turns by (j + 1) (1 - k)^4 / 5 of the head's blended turn,
// the head follows the last and then blends toward the effector.
TEST(Neck, TheStageSpreadsAHeadTurnByTheNeckStiffness)
{
    using mathtest::Hamilton;
    using mathtest::Normalized;
    const auto nlerp = [](const D4& a, D4 b, double w) {
        const double s = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1 : 1;
        return Normalized({a[0] + w * (s * b[0] - a[0]), a[1] + w * (s * b[1] - a[1]), a[2] + w * (s * b[2] - a[2]),
                           a[3] + w * (s * b[3] - a[3])});
    };
    fixtures::Proportions p = fixtures::Typical();
    p.neckJoints = 3;
    for (const double stiffness : {0.3, 0.6}) {
        for (const double reach : {1.0, 0.6}) {
            for (unsigned seed = 1; seed <= 3; ++seed) {
                Posed s(p, seed);
                s.properties.entries[vlm_entry::ParamCtrlNeckStiffness].value = float(stiffness);
                VLMEffectorSetLayout* set = s.effectors();
                std::mt19937 rng(seed);
                const P3 axis = RandomDirection(rng);
                const D4 head = Wide(s.row(VLM_NODE_HEAD).globalQ);
                const D4 goal = Hamilton({0.3 * axis.x, 0.3 * axis.y, 0.3 * axis.z, std::sqrt(1 - 0.09)}, head);
                set->effectors[VLM_HEAD_EFFECTOR].q = V(float(goal[0]), float(goal[1]), float(goal[2]), float(goal[3]));
                set->blend[VLM_HEAD_EFFECTOR] = V(0, float(reach), 0, 0);
                const int chain[4] = {VLM_NODE_NECK, VLM_NODE_NECK1, VLM_NODE_NECK1 + 1, VLM_NODE_NECK1 + 2};
                D4 before[4];
                for (int j = 0; j < 4; ++j)
                    before[j] = Wide(s.row(chain[j]).globalQ);
                {
                    VLMScopedFPGuard guard;
                    VLMSolveNeckHead(s.c(), s.rows(), set, &s.properties);
                }
                SCOPED_TRACE(::testing::Message()
                             << "stiffness " << stiffness << ", reach " << reach << ", seed " << seed);
                const D4 turned = nlerp(head, goal, reach);
                const double share = std::pow(1 - stiffness, 4) / 5;
                for (int j = 0; j < 4; ++j)
                    EXPECT_TRUE(SameRotation(s.row(chain[j]).globalQ,
                                             Hamilton(PartTurn(turned, head, (j + 1) * share), before[j]), 1e-4))
                        << chain[j];
                const D4 followed = Hamilton(PartTurn(turned, head, 4 * share), head);
                EXPECT_TRUE(SameRotation(s.row(VLM_NODE_HEAD).globalQ, nlerp(followed, goal, reach), 1e-4));
            }
        }
    }
}

}  // namespace

#include "solver_test_util.h"

namespace {

using namespace soltest;

// A sampled pose with effectors taken from it, every reach lane 1, default pulls.
struct Posed : fixtures::Scene {
    explicit Posed(const fixtures::Proportions& p, unsigned seed = 1, bool limits = false)
        : fixtures::Scene(p, {limits, {}, true, false, seed}, {0.5f, 0.3f, 10.0f, true, true})
    {
        VLMSetPullAndStiffnessFromProperties(set.get(), &properties);
        VLMComputeEffectorsFromPose(c(), effectors(), rows(), &properties);
        for (VLMVector4& lane : effectors()->blend)
            lane.x = lane.y = 1.0f;
    }
    VLMStateRow& row(int id) const { return *VLMNodeRow(c(), rows(), id); }
    VLMVector4 euler(int id) const
    {
        VLMVector4 angles;
        VLMNodeEulerFromRotation(&VLMCharacterNodeRecord(c(), id)->rotation, angles, row(id).localQ);
        return angles;
    }
    // Largest move of any node against a snapshot, in cm and radians.
    double moved(const std::vector<VLMStateRow>& before) const
    {
        double worst = 0;
        for (std::size_t i = 0; i < before.size(); ++i)
            worst = std::fmax(worst, std::fmax(Len(At(rows()[i].globalT) - At(before[i].globalT)),
                                               177 * TurnAngle(rows()[i].globalQ, before[i].globalQ)));
        return worst;
    }
};

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

// Leg pulls beyond reach move the hips along them, continuously per lane; bit 0 beats the spine-only pass.
TEST(BodyPull, PullsMoveTheHipsAlongThem)
{
    fixtures::Proportions shortLegs = fixtures::Typical();
    shortLegs.leg = 0.8f;
    Posed s(shortLegs, 5);
    VLMEffectorSetLayout* set = s.effectors();
    set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t.y -= 15.0f;
    const std::vector<VLMStateRow> before = s.snapshot();
    const P3 legs = 0.5 * (At(s.row(2).globalT) + At(s.row(5).globalT));
    const P3 pull = At(set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t) - At(s.row(2).globalT);
    VLMScopedFPGuard guard;
    const auto run = [&](int n) {
        Restore(s, before);
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, n, true, false, false, false, false);
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        return s.snapshot();
    };
    for (int n : {0, 10, 30}) {
        run(n);
        const P3 moved = 0.5 * (At(s.row(2).globalT) + At(s.row(5).globalT)) - legs;
        EXPECT_GT(Len(moved), 0.5) << n;
        EXPECT_GT(Dot(moved, pull) / (Len(moved) * Len(pull)), 0.9) << n;
    }
    const std::vector<VLMStateRow> base = run(10);
    double worst = 0;
    for (int e : {0, 1, 2, 3, 4, 5, 9, 10, 11, 13, 15, 16}) {
        for (int lane = 0; lane < 4; ++lane) {
            float& v = (&set->blend[e].x)[lane];
            v += 1e-3f;
            run(10);
            v -= 1e-3f;
            worst = std::fmax(worst, s.moved(base));
        }
    }
    // The stretched chest end follows its pulled goal, so a pull's lane carries through to the arms and head: a
    // 1e-3 step moves a node by up to about 0.21 cm (0.021 at 1e-4, in proportion: a slope, not a jump).
    EXPECT_LT(worst, 0.25);
    const auto ankleMiss = [&](bool bodyPull) {
        Restore(s, before);
        if (bodyPull) {
            VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 10, true, false, false, false, false);
        } else {
            VLMSpineGoal goal;
            VLMInitSpineGoal(&goal);
            VLMFillSpineGoal(&goal, set);
            VLMVector4 limiter = V(1, 0.1f, 1, 1);
            VLMSolveSpineStretch(s.c(), s.rows(), &goal, &s.properties, S(0), S(0), &limiter, true);
        }
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        VLMSolveLimbChainLimited(s.c(), s.rows(), set, &s.properties, VLMCharacterLimb(s.c(), 0));
        return Len(At(s.row(4).globalT) - At(set->effectors[VLM_LEFT_ANKLE_EFFECTOR].t));
    };
    EXPECT_LT(ankleMiss(true), ankleMiss(false) - 1.0);
    for (float e : {1.0f, 2.4f, 6.4f})
        EXPECT_EQ(VLMPoweredStiffness(S(0), e).x, 0.0f);
}

// Every reach lane 1 and every pull 0 but the one given, whose effector is put at `goal`.
void PullOnly(Posed& s, int effector, const P3& goal)
{
    for (VLMVector4& lane : s.effectors()->blend)
        lane = V(1, 1, 0, 0);
    s.effectors()->effectors[effector].t = V(float(goal.x), float(goal.y), float(goal.z), 0);
    s.effectors()->blend[effector] = V(1, 1, 1, 0);
}

void SolveBodyPull(const Posed& s)
{
    VLMScopedFPGuard guard;
    VLMSolveBodyPull(s.c(), s.rows(), s.effectors(), &s.properties, 10, true, false, false, false, false);
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
}

P3 ChestEnd(const Posed& s)
{
    VLMVector4 t, q, scale;
    VLMComputeEffectorFromPose(s.c(), t, q, scale, s.rows(), VLM_CHEST_END_EFFECTOR, &s.properties);
    return At(t);
}

// A wrist pulled 60 beyond its shoulder: the chest end follows the pull and the chest twists about the spine
// the way the pull turns the arm's root about the chest end.
TEST(BodyPull, AnArmPullMovesTheChestAlongItAndTwistsItTowardTheArm)
{
    const P3 directions[4] = {{0, 0.2, 1}, {0.7, 0.3, 0.7}, {-0.7, 0.3, 0.7}, {0, 0.3, -1}};
    int twisted = 0;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (VLMArmSide side : {VLM_ARM_SIDE_LEFT, VLM_ARM_SIDE_RIGHT}) {
            for (const P3& towards : directions) {
                Posed s(fixtures::Typical(), seed);
                const int root = side ? VLM_NODE_LEFT_ARM : VLM_NODE_RIGHT_ARM, chest = VLM_NODE_SPINE1 + 1;
                const P3 dir = (1 / Len(towards)) * towards, from = At(s.row(root).globalT);
                const P3 end = ChestEnd(s), spine = end - At(s.row(VLM_NODE_HIPS).globalT), goal = from + 60.0 * dir;
                const VLMVector4 turned = s.row(chest).globalQ;
                PullOnly(s, side ? VLM_LEFT_WRIST_EFFECTOR : VLM_RIGHT_WRIST_EFFECTOR, goal);
                // The other arm's shoulder holds all: a pull read through the wrong side's hold would vanish.
                s.effectors()->blend[side ? VLM_RIGHT_SHOULDER_EFFECTOR : VLM_LEFT_SHOULDER_EFFECTOR] = V(1, 1, 1, 0);
                SolveBodyPull(s);
                SCOPED_TRACE(::testing::Message() << "seed " << seed << ", side " << side << ", toward " << dir.x << " "
                                                  << dir.y << " " << dir.z);
                const P3 moved = ChestEnd(s) - end;
                EXPECT_GT(Dot(moved, dir), std::fmax(2.0, 0.3 * Len(moved)));
                EXPECT_LT(Len(goal - At(s.row(root).globalT)), Len(goal - from) - 2.0);
                const D4 d = mathtest::Hamilton(Wide(s.row(chest).globalQ), mathtest::Conj(Wide(turned)));
                const double twist = 2 * std::atan2(Dot(P3{d[0], d[1], d[2]}, spine) / Len(spine), d[3]);
                const double asked = Dot(Cross(from - end, dir), spine) / (Len(from - end) * Len(spine));
                if (std::fabs(asked) > 0.3) {  // a pull that turns the root about the spine
                    EXPECT_GT(asked > 0 ? twist : -twist, 0.05);
                    ++twisted;
                }
            }
        }
    }
    EXPECT_GT(twisted, 24);
}

// A head effector 5 from the neck, or pulled with lane 0, moves nothing; 45 from it, the chest end moves toward
// it and the neck comes closer; with the chest's position held, the chest turns until the neck points at it.
TEST(BodyPull, AHeadPullActsBeyondTheNeckByItsLane)
{
    const P3 directions[4] = {{0, 0.2, 1}, {0.7, 0.3, 0.7}, {-0.7, 0.3, 0.7}, {0, 0.3, -1}};
    const struct {
        double distance;
        float lane, held;
    } cases[] = {{5, 1, 0}, {45, 0, 0}, {45, 1, 0}, {45, 1, 1}};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (const P3& towards : directions) {
            const P3 dir = (1 / Len(towards)) * towards;
            Posed s(fixtures::Typical(), seed);
            const std::vector<VLMStateRow> start = s.snapshot();
            const P3 neck = At(s.row(VLM_NODE_NECK).globalT), end = ChestEnd(s);
            PullOnly(s, VLM_HEAD_EFFECTOR, neck);
            SolveBodyPull(s);
            const std::vector<VLMStateRow> still = s.snapshot();
            for (const auto& c : cases) {
                Restore(s, start);
                const P3 goal = neck + c.distance * dir;
                PullOnly(s, VLM_HEAD_EFFECTOR, goal);
                s.effectors()->blend[VLM_HEAD_EFFECTOR].z = c.lane;
                s.effectors()->blend[VLM_CHEST_END_EFFECTOR].z = c.held;
                SolveBodyPull(s);
                SCOPED_TRACE(::testing::Message()
                             << "seed " << seed << ", toward " << dir.x << " " << dir.y << " " << dir.z << ", case "
                             << c.distance << " " << c.lane << " " << c.held);
                const P3 moved = ChestEnd(s) - end, to = At(s.row(VLM_NODE_NECK).globalT);
                if (c.distance < 10 || c.lane == 0) {
                    EXPECT_LT(s.moved(still), 1e-3);
                } else if (c.held == 0) {
                    EXPECT_GT(Dot(moved, dir), std::fmax(2.0, 0.3 * Len(moved)));
                    EXPECT_LT(Len(goal - to), c.distance - 2.0);
                } else {
                    const auto off = [&](const P3& p, const P3& from) {
                        return std::acos(Dot(p - from, goal - from) / (Len(p - from) * Len(goal - from)));
                    };
                    EXPECT_LT(off(to, ChestEnd(s)), std::fmin(0.15, 0.25 * off(neck, end)));
                }
            }
        }
    }
}

// A head effector beyond the Neck-to-Head chain pulls the neck toward it; one within the chain does not.
TEST(BodyPull, HeadBeyondTheNecksReachPullsTheChest)
{
    Posed s(fixtures::Typical(), 2);
    VLMEffectorSetLayout* set = s.effectors();
    const P3 neck = At(s.row(VLM_NODE_NECK).globalT);
    const double chain = Len(At(s.row(VLM_NODE_NECK1).globalT) - neck) +
                         Len(At(s.row(VLM_NODE_HEAD).globalT) - At(s.row(VLM_NODE_NECK1).globalT));
    const P3 up = (1 / Len(At(s.row(VLM_NODE_HEAD).globalT) - neck)) * (At(s.row(VLM_NODE_HEAD).globalT) - neck);
    const std::vector<VLMStateRow> before = s.snapshot();
    VLMScopedFPGuard guard;
    // The neck's distance to the effector after a pull with the head's pull lane on or off.
    const auto remaining = [&](double distance, float pull) {
        Restore(s, before);
        const P3 at = neck + distance * up;
        set->effectors[VLM_HEAD_EFFECTOR].t = V(float(at.x), float(at.y), float(at.z), 0);
        set->blend[VLM_HEAD_EFFECTOR] = V(1, 1, pull, 0);
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 10, true, false, false, false, false);
        VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        return Len(at - At(s.row(VLM_NODE_NECK).globalT));
    };
    EXPECT_LT(remaining(1.3 * chain, 1), remaining(1.3 * chain, 0) - 0.05 * chain);
    EXPECT_NEAR(remaining(0.8 * chain, 1), remaining(0.8 * chain, 0), 1e-3);
}

// Between its iterations the pull refreshes only the trunk; what it hands back has every global below the hips
// (fingers, neck chain, forearms) up to date with the locals.
TEST(BodyPull, LeavesEveryGlobalBelowTheHipsUpToDate)
{
    for (const fixtures::Proportions& p : {fixtures::Minimal(), fixtures::Full()}) {
        Posed s(p, 4, true);
        VLMEffectorSetLayout* set = s.effectors();
        set->effectors[VLM_LEFT_WRIST_EFFECTOR].t.z += 25.0f;
        set->effectors[VLM_HEAD_EFFECTOR].t.y += 20.0f;
        const std::vector<VLMStateRow> before = s.snapshot();
        VLMScopedFPGuard guard;
        VLMSolveBodyPull(s.c(), s.rows(), set, &s.properties, 3, true, true, true, true, true);
        const std::vector<VLMStateRow> solved = s.snapshot();
        EXPECT_GT(s.moved(before), 1.0);
        VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(s.c(), VLM_NODE_HIPS), s.rows(), VLMCharacterNodeRecords(s.c()));
        EXPECT_TRUE(Unchanged(s, solved));
    }
}

// (x - a) m below the zone, its linear continuation above, continuous; the select form bit-identical.
TEST(BodyPull, SoftExcess)
{
    const struct {
        float a, b, f, r, s;
    } cases[] = {{10, 14, 1, 0.5f, 1}, {10, 14, 0.3f, 0.5f, 2}, {10, 10, 0.5f, 1, 1}, {3, 9, 0, 0.2f, 0.7f}};
    for (const auto& c : cases) {
        const float m = c.f;  // x >= a in the zone
        const float lo = c.b - (c.b - c.a) * m, hi = ((c.b - lo) * 1.5f + lo) * (1 - m) + c.b * m;
        auto excess = [&](float x) { return VLMSoftExcess(S(x), S(c.a), S(c.b), S(c.f), S(c.r), S(c.s)).x; };
        EXPECT_NEAR(excess(lo - 1e-3f), excess(lo + 1e-3f), 1e-2);
        EXPECT_NEAR(excess(hi - 1e-3f), excess(hi + 1e-3f), 1e-2);
        EXPECT_FLOAT_EQ(excess(c.a - 2), (-2) * c.r * c.f * c.s);
        EXPECT_FLOAT_EQ(excess(hi + 5), ((hi + 5 - c.b) * (1 - m) + (hi + 5 - c.a) * m) * c.s);
        for (float x = c.a - 5; x < hi + 5; x += 0.01f) {
            const VLMVector4 xs = V(x, x + 0.003f, x - 0.007f, x * 1.01f);
            EXPECT_TRUE(SameBits(VLMSoftExcess(xs, S(c.a), S(c.b), S(c.f), S(c.r), S(c.s)),
                                 VLMSoftExcessSelect(xs, S(c.a), S(c.b), S(c.f), S(c.r), S(c.s))))
                << x;
        }
    }
}

// The roll table; e = 0 keeps the twist, r = 0 keeps the segment, only x changes, limited next keeps.
TEST(Roll, DistributionSharesTheTwist)
{
    const int table[8][4] = {{2, 67, 204, 3},  {3, 68, 205, 4},   {5, 69, 206, 6},   {6, 70, 207, 7},
                             {9, 71, 208, 10}, {10, 72, 209, 11}, {12, 73, 210, 13}, {13, 74, 211, 14}};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(std::memcmp(&VLMRollSegmentTable()[k], table[k], sizeof table[k]), 0) << k;
    for (float r : {0.0f, 0.6f}) {
        for (bool limitedNext : {false, true}) {
            Posed s(fixtures::Full(), 6);
            s.properties.entries[vlm_entry::LeftArmRoll].mode = 1;
            s.properties.entries[vlm_entry::LeftArmRoll].value = r;
            if (limitedNext) {
                VLMRotationPart& part = const_cast<VLMRotationRecord*>(VLMCharacterRotations(
                    s.c()))[VLMCharacterNodeRecord(s.c(), VLM_NODE_LEFT_FORE_ARM)->rotationIndex]
                                            .part;
                part.flags |= VLM_ROTFLAG_MIN_X, part.minLimit[0] = -10.0f;
            }
            VLMScopedFPGuard guard;
            VLMVector4 block[16];
            VLMCaptureRollAngles(s.c(), s.rows(), &s.properties, block);
            VLMVector4 twisted = block[4];
            twisted.x += 0.4f;
            VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(s.c(), 9)->rotation, s.row(9).localQ, twisted);
            VLMSubtreeLocalToGlobal(VLMCharacterNodeRecord(s.c(), 9), s.rows(), VLMCharacterNodeRecords(s.c()));
            const VLMVector4 roll = s.euler(45);
            VLMDistributeRoll(s.c(), s.rows(), &s.properties, block);
            const VLMVector4 segment = s.euler(9), after = s.euler(45);
            SCOPED_TRACE(::testing::Message() << "r " << r << ", limited " << limitedNext);
            EXPECT_NEAR(segment.x, twisted.x - r * 0.4f, 1e-4);
            EXPECT_NEAR(segment.y, twisted.y, 1e-4);
            EXPECT_NEAR(segment.z, twisted.z, 1e-4);
            EXPECT_NEAR(after.x, limitedNext ? roll.x : block[12].x + r * 0.4f, 1e-4);
            EXPECT_NEAR(after.y, roll.y, 1e-4);
            if (r == 0.0f && !limitedNext) {  // without a reference block: measured against 0
                VLMDistributeRoll(s.c(), s.rows(), &s.properties, nullptr);
                EXPECT_NEAR(s.euler(45).x, 0.0, 1e-4);
                EXPECT_NEAR(s.euler(9).x, twisted.x, 1e-4);
            }
        }
    }
}

// Each row its own share r and extraction e (1 drops the twist, 2 turns the roll node back): roll x = b + (1 - e) r d.
TEST(Roll, ExtractionSharesTheTwistWithTheRollNode)
{
    const float share[8] = {0.6f, 0.3f, 0.8f, 0.5f, 0.7f, 0.4f, 0.9f, 0.2f};
    const float extraction[8] = {1.0f, 2.0f, 1.5f, 0.5f, 2.0f, 1.0f, 0.25f, 1.75f};
    Posed s(fixtures::Full(), 6);
    for (int k = 0; k < 8; ++k) {
        const VLMRollSegmentRow& row = VLMRollSegmentTable()[k];
        s.properties.entries[row.rollProperty].mode = 1;
        s.properties.entries[row.rollProperty].value = share[k];
        s.properties.entries[vlm_entry::LeftUpLegRollEx + k].value = extraction[k];
    }
    VLMScopedFPGuard guard;
    VLMVector4 block[16];
    VLMCaptureRollAngles(s.c(), s.rows(), &s.properties, block);
    VLMVector4 twisted[8];
    for (int k = 0; k < 8; ++k) {
        const int segment = VLMRollSegmentTable()[k].node;
        twisted[k] = block[k];
        twisted[k].x += 0.4f - 0.07f * float(k);
        VLMNodeRotationFromEuler(&VLMCharacterNodeRecord(s.c(), segment)->rotation, s.row(segment).localQ, twisted[k]);
    }
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    VLMDistributeRoll(s.c(), s.rows(), &s.properties, block);
    for (int k = 0; k < 8; ++k) {
        const float d = twisted[k].x - block[k].x;
        EXPECT_NEAR(s.euler(VLMRollSegmentTable()[k].node).x, block[k].x + (1 - share[k]) * d, 1e-4) << k;
        EXPECT_NEAR(s.euler(VLM_NODE_LEFT_UP_LEG_ROLL + k).x, block[8 + k].x + (1 - extraction[k]) * share[k] * d, 1e-4)
            << k;
    }
}

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
// the shoulder effector: the excess read off a free turn, the held turns predicted from it.
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
                const P3 far = a + 120.0 * d;
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

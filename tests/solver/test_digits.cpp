#include "solver_test_util.h"

namespace {

using namespace soltest;

constexpr int kLeftHand = 0;

// A digit scene: goals near every left-hand tip, random lanes.
struct DigitScene : fixtures::Scene {
    const VLMExtremity* hand;
    DigitScene(const fixtures::Proportions& p, bool limits, unsigned seed)
        : fixtures::Scene(p, {limits, {}, false, false, seed}, {0.6f, 0.2f, 5.0f, true, true}),
          hand(VLMCharacterExtremity(c(), kLeftHand))
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int d = 0; d < 6; ++d)
            goal(d) = {VLMVector4Add(tip(d), mathtest::RandomVector(rng, 4, 0)), mathtest::RandomUnitQuat(rng),
                       V(0.2f + 0.8f * unit(rng), unit(rng), 0, 0)};  // the scale slot carries the lanes
    }
    VLMStateRow* row(int d, int j) const { return VLMNodeRow(c(), rows(), int(hand->digitJoints[d][j])); }
    VLMVector4 tip(int d) const { return hand->lastJoint[d] < 0 ? V(0, 0, 0, 0) : row(d, hand->lastJoint[d])->globalT; }
    VLMTransformTQS& goal(int d) const { return effectors()->effectors[hand->digitEffectors[d]]; }
    VLMVector4& lanes(int d) const { return effectors()->blend[hand->digitEffectors[d]]; }
    // Step 0 straightens, 1 turns, 2 reaches; 3 runs all three.
    void step(int which, int d) const
    {
        lanes(d) = goal(d).s;
        const VLMTransformTQS* g = effectors()->effectors;
        if (which == 0)
            VLMStraightenDigitJoint(c(), hand, rows(), d);
        else if (which < 3)
            (which == 1 ? VLMReachDigitRotation : VLMReachDigitPosition)(c(), hand, rows(), g, effectors()->blend, 0,
                                                                         d);
        else
            VLMSolveDigit(c(), hand, rows(), g, effectors()->blend, 0, d);
    }
};

// Limited joints stay in limits; unlimited tips never move away from the blended goal; targets within reach.
TEST(Digits, StepsKeepLimitsAndApproachTheGoal)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (unsigned seed = 1; seed <= 12; ++seed) {
            const bool limited = seed % 2 == 0;
            DigitScene s(p, limited, seed);
            for (int d = 0; d < 6; ++d) {
                VLMVector4 proximal;
                VLMDigitProximalLength(s.c(), &proximal, s.hand, s.rows(), d);
                const VLMVector4 root = s.row(d, 0)->globalT;
                for (float w : {0.0f, 0.5f, 1.0f})
                    for (const VLMVector4& g : {s.goal(d).t, root})
                        EXPECT_TRUE(s.hand->lastJoint[d] < 3 ||
                                    Len(At(VLMDigitJointTarget(s.c(), s.hand, s.rows(), d, g, w)) - At(root)) <=
                                        proximal.x + 1e-4);
                for (int step = 0; step < 3; ++step) {
                    const P3 point = At(s.tip(d)) + s.goal(d).s.x * (At(s.goal(d).t) - At(s.tip(d)));
                    const double before = Len(At(s.tip(d)) - point);
                    s.step(step, d);
                    EXPECT_TRUE(limited || step < 2 || Len(At(s.tip(d)) - point) <= before + 1e-3) << seed << " " << d;
                    for (int j = 0; j <= s.hand->lastJoint[d] && limited; ++j) {
                        const VLMNodeRecord* record = VLMCharacterNodeRecord(s.c(), int(s.hand->digitJoints[d][j]));
                        VLMVector4 a;
                        VLMNodeEulerFromRotation(&VLMCharacterRotations(s.c())[record->rotationIndex].part, a,
                                                 s.row(d, j)->localQ);
                        EXPECT_LE(std::fmax(std::fabs(a.x), std::fmax(std::fabs(a.y), std::fabs(a.z))), 1.0 + 1e-4);
                    }
                }
            }
        }
    }
}

// Below the floor: every mode ends >= floor + tip radius; full roll stiffness: no move on the bend axis.
TEST(Contact, DigitTargetsEndAboveTheFloor)
{
    DigitScene s(fixtures::Full(), false, 2);
    for (int e = vlm_entry::LeftHandThumbTip; e <= vlm_entry::LeftHandExtraFingerTip; ++e)
        s.properties.entries[e].value = 1.5f;
    std::mt19937 rng(5);
    for (float mode : {0.0f, 1.0f, 2.0f, 3.0f}) {
        for (float k : {0.0f, 1.0f}) {
            s.properties.entries[vlm_entry::HandFingerContactMode].value = mode;
            s.properties.entries[vlm_entry::ParamHandFingerContactRollStiffness].value = k;
            VLMLimbContactRecord record{};
            record.frame.t = V(0, s.row(0, 0)->globalT.y - 4, 0, 0);
            for (int d = 0; d < 6; ++d)
                record.slots[2 + d].t = VLMVector4Add(s.tip(d), mathtest::RandomVector(rng, 8, 0));
            const VLMLimbContactRecord before = record;
            VLMSolveDigitChains(s.c(), s.hand, s.rows(), &record, &s.properties);
            for (int d = 0; d < 6; ++d) {
                const P3 t = At(record.slots[2 + d].t), moved = t - At(before.slots[2 + d].t);
                const VLMVector4 axis =
                    VLMQuatRotate(s.row(d, 0)->globalQ,
                                  VLMCharacterNodeRecord(s.c(), int(s.hand->digitJoints[d][0]))->rotation.postAxes[2]);
                if (mode == 3.0f)
                    EXPECT_EQ(Len(moved), 0.0);
                else if (k == 0.0f)
                    EXPECT_GE(t.y,
                              record.frame.t.y + VLMDigitTipRadius(s.c(), s.hand, s.rows(), d, &s.properties) - 1e-5);
                else
                    EXPECT_NEAR(Dot(moved, At(axis)), 0.0, 1e-4) << d;
            }
        }
    }
}

// Contact flag 1 reads the goal of digit d from record 2 + d of a contact record.
TEST(Digits, ContactFlagReadsTheContactRecord)
{
    DigitScene a(fixtures::Full(), false, 6), b(fixtures::Full(), false, 6);
    VLMLimbContactRecord record{};
    for (int i = 0; i < 8; ++i)  // decoys first: the mirror digit's goals
        record.slots[i] = a.goal(5 - i % 6), record.lanes[i] = a.goal(5 - i % 6).s;
    for (int d = 0; d < 6; ++d) {
        record.slots[2 + d] = a.goal(d), record.lanes[2 + d] = a.goal(d).s;
        a.step(3, d);
        VLMSolveDigit(b.c(), b.hand, b.rows(), record.slots, record.lanes, 1, d);
    }
    EXPECT_EQ(std::memcmp(a.rows(), b.rows(), a.snapshot().size() * sizeof(VLMStateRow)), 0);
}

// Straight digits, goals beyond reach or on the root, coincident joints: finite targets and rows.
TEST(Digits, DegenerateDigitsStayFinite)
{
    for (float arm : {1.0f, 0.0f}) {
        fixtures::Proportions p = fixtures::Full();
        p.arm = arm;
        DigitScene s(p, false, 1);
        VLMSetStateToTPose(s.c(), s.rows());
        VLMTreeGlobalToLocal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
        for (int d = 0; d < 5; ++d) {
            const VLMVector4 root = s.row(d, 0)->globalT;
            for (const VLMVector4& g :
                 {VLMVector4Add(root, VLMVector4Mul(VLMVector4Sub(s.tip(d), root), V(3, 3, 3, 0))), root}) {
                VLMVector4 target = V(0, 0, 0, 0);
                VLMBlendDigitTarget(s.c(), s.hand, s.rows(), d, g, target);
                EXPECT_TRUE(std::isfinite(target.x + target.y + target.z)) << arm << " " << d;
                s.goal(d) = {g, V(0, 0, 0, 1), V(1, 0.5f, 0, 0)};
                s.step(3, d);
            }
        }
        EXPECT_TRUE(Finite(s)) << arm;
    }
}

}  // namespace

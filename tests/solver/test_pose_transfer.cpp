#include "solver_test_util.h"

namespace {

using namespace soltest;

void Transfer(const fixtures::Scene& target, const fixtures::Scene& source)
{
    VLMScopedFPGuard guard;
    VLMTransferPose(target.c(), source.c(), target.rows(), source.rows(), &target.properties);
}

// Identical characters copy the pose; a target reference carries only the T-pose hips with it.
TEST(Transfer, IdenticalCharactersCopyThePose)
{
    for (const fixtures::Proportions& p : {fixtures::Minimal(), fixtures::Typical(), fixtures::Full()}) {
        for (unsigned seed = 1; seed <= 3; ++seed) {
            fixtures::Scene source = Make(p, seed), target = Make(p, seed), placed = Make(p, seed);
            Transfer(target, source);
            VLMStateRow& reference = Row(placed, VLM_NODE_REFERENCE);
            reference.globalT = V(5, -3, 8, 0), reference.globalQ = VLMQuatNormalize(V(0.2f, 0.5f, -0.1f, 0.8f));
            Transfer(placed, source);
            for (int id = 1; id < VLM_NODE_COUNT; ++id) {
                if (!Has(target, id) || id == VLM_NODE_HIPS_TRANSLATION)  // beside the hips, not below them
                    continue;
                EXPECT_LT(TurnAngle(Row(target, id).globalQ, Row(source, id).globalQ), 1e-5) << id;
                EXPECT_LT(Len(FromHips(target, id) - FromHips(source, id)), 1e-4) << id;
                EXPECT_LT(TurnAngle(Row(placed, id).globalQ, Row(source, id).globalQ), 1e-5) << id;
                EXPECT_LT(Len(FromHips(placed, id) - FromHips(source, id)), 1e-4) << id;
            }
            const VLMVector4 rest = VLMCharacterTPoseEntry(placed.c(), VLM_NODE_HIPS)->t;
            const P3 hips = At(VLMVector4Add(reference.globalT, VLMQuatRotate(reference.globalQ, rest)));
            EXPECT_LT(Len(At(Row(placed, VLM_NODE_HIPS).globalT) - hips), 1e-4);
        }
    }
}

// Other spine and neck counts, digit counts and rolls; bone lengths kept.
TEST(Transfer, OtherProportionsSpreadTheirChains)
{
    fixtures::Proportions p = fixtures::Typical(), q = fixtures::Typical();
    q.spineJoints = 4, q.neckJoints = 3, q.rolls = p.rolls = true;
    p.handDigitJoints[3] = 0, q.handDigitJoints[3] = 3;  // the source lacks the ring finger
    for (unsigned seed = 1; seed <= 4; ++seed) {
        for (int propagate = 0; propagate < 2; ++propagate) {
            fixtures::Scene source = Make(p, seed), target = Make(q, seed + 10);
            target.properties.entries[vlm_entry::FingerPropagation].mode = std::uint32_t(propagate);
            target.properties.entries[vlm_entry::RollExtractionMode].value = float(propagate);
            Transfer(target, source);
            const int chest = VLMChestNodeId(target.c()), neckEnd = VLMNeckEndNodeId(target.c()), k = 2;
            EXPECT_LT(TurnAngle(Row(target, chest).globalQ, Row(source, VLMChestNodeId(source.c())).globalQ), 1e-5);
            const double whole =
                TurnAngle(Row(source, VLMNeckEndNodeId(source.c())).globalQ, Row(target, chest).globalQ);
            EXPECT_NEAR(TurnAngle(Row(target, neckEnd).globalQ, Row(target, chest).globalQ), whole * (k + 2) / (k + 3),
                        1e-4);
            for (int id = 2; id < VLM_NODE_COUNT; ++id) {
                const int parent = VLMGetParentNodeId(target.c(), id);
                if (!Has(target, id) || parent < 1)
                    continue;
                const double rest = Len(At(VLMCharacterTPoseEntry(target.c(), id)->t) -
                                        At(VLMCharacterTPoseEntry(target.c(), parent)->t));
                EXPECT_NEAR(Len(At(Row(target, id).globalT) - At(Row(target, parent).globalT)), rest, 1e-4) << id;
            }
            // Ring finger (digit 3) of the left hand: aimed at the middle finger's end when propagating.
            const int ring = VLM_NODE_LEFT_HAND_THUMB1 + 12, last = ring + 2;
            const VLMVector4 rebuilt = Row(target, VLMGetParentNodeId(target.c(), ring)).globalQ;
            EXPECT_LT(TurnAngle(Row(target, last).globalQ,
                                propagate ? Row(source, VLM_NODE_LEFT_HAND_THUMB1 + 10).globalQ : rebuilt),
                      1e-4);
            for (int roll : {VLM_NODE_LEFT_UP_LEG_ROLL, VLM_NODE_RIGHT_FORE_ARM_ROLL})
                EXPECT_LT(propagate ? TurnAngle(Row(target, roll).localQ, V(0, 0, 0, 1))
                                    : TurnAngle(Row(target, roll).globalQ, Row(source, roll).globalQ),
                          1e-5);
        }
    }
    // Neck stiffness 1 keeps the neck on the chest; a 1e-6 correction changes nothing.
    fixtures::Scene source = Make(p, 5), target = Make(q, 6);
    target.properties.entries[vlm_entry::ParamCtrlNeckStiffness].value = 1.0f;
    Transfer(target, source);
    EXPECT_LT(
        TurnAngle(Row(target, VLMNeckEndNodeId(target.c())).globalQ, Row(target, VLMChestNodeId(target.c())).globalQ),
        1e-5);
    const std::vector<VLMStateRow> before = target.snapshot();
    VLMDistributeNeckRotation(target.c(), target.rows(), V(5e-4f, 0, 8e-4f, 1), S(1));
    VLMDistributeSpineRotation(target.c(), target.rows(), V(0, 9e-4f, 0, -1), S(1));
    EXPECT_TRUE(Unchanged(target, before));
}

// A spine of 4 joints under a source of 1, a neck of 3 under none: each joint turned by its share of the correction.
TEST(Transfer, SpineAndNeckSpreadsFollowTheirStiffness)
{
    using mathtest::Hamilton;
    fixtures::Proportions p = fixtures::Typical(), q = fixtures::Typical();
    p.spineJoints = 1, p.neckJoints = 0, q.spineJoints = 4, q.neckJoints = 3;
    for (const double stiffness : {0.25, 0.7}) {
        const double neckStiffness = 0.9 - stiffness;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            fixtures::Scene source = Make(p, seed), target = Make(q, seed + 10);
            target.properties.entries[vlm_entry::ParamCtrlSpineStiffness].value = float(stiffness);
            target.properties.entries[vlm_entry::ParamCtrlNeckStiffness].value = float(neckStiffness);
            Transfer(target, source);
            SCOPED_TRACE(::testing::Message() << "stiffness " << stiffness << ", seed " << seed);
            // The spine before the spread follows the hips rigidly; m = 4 joints above Spine.
            const VLMVector4 hips = Row(target, VLM_NODE_HIPS).globalQ;
            const double m = 4, b = 2 * m * stiffness + 0.5;
            for (int j = 0; j <= 4; ++j) {
                const int id = j == 0 ? VLM_NODE_SPINE : VLM_NODE_SPINE1 + j - 1;
                const D4 want = Hamilton(
                    PartTurn(Wide(Row(source, VLM_NODE_SPINE1).globalQ), Wide(hips), (b + j) / (b + m)), Wide(hips));
                EXPECT_TRUE(SameRotation(Row(target, id).globalQ, want, 1e-4)) << id;
            }
            // The neck before the spread follows the chest rigidly; joint j of 4 takes (j + 1) (1 - k)^4 / 5.
            const VLMVector4 chest = Row(target, VLM_NODE_SPINE1 + 3).globalQ;
            const double weight = std::pow(1 - neckStiffness, 4) / 5;
            for (int j = 0; j <= 3; ++j) {
                const int id = j == 0 ? VLM_NODE_NECK : VLM_NODE_NECK1 + j - 1;
                const D4 want = Hamilton(
                    PartTurn(Wide(Row(source, VLM_NODE_NECK).globalQ), Wide(chest), (j + 1) * weight), Wide(chest));
                EXPECT_TRUE(SameRotation(Row(target, id).globalQ, want, 1e-4)) << id;
            }
        }
    }
}

// Digits of other joint counts: with propagation the target digit ends turned as the source digit's last
// joint; without it the joints both have are copied and the rest keep their rest relation.
TEST(Transfer, DigitChainsOfOtherLengthsEndTogether)
{
    for (int targetJoints : {2, 4}) {
        fixtures::Proportions p = fixtures::Typical(), q = fixtures::Typical();
        for (int d = 0; d < 5; ++d)
            p.handDigitJoints[d] = targetJoints, q.handDigitJoints[d] = 3;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            for (std::uint32_t propagate : {0u, 1u}) {
                fixtures::Scene source = Make(q, seed), target = Make(p, seed + 20);
                target.properties.entries[vlm_entry::FingerPropagation].mode = propagate;
                Transfer(target, source);
                for (int d = 0; d < 5; ++d) {
                    const int first = VLM_NODE_LEFT_HAND_THUMB1 + 4 * d;
                    const int shared = std::min(targetJoints, 3);
                    const double ends =
                        TurnAngle(Row(target, first + targetJoints - 1).globalQ, Row(source, first + 2).globalQ);
                    if (propagate != 0u)
                        EXPECT_LT(ends, 1e-4) << targetJoints << " " << seed << " " << d;
                    else
                        for (int j = 0; j < shared; ++j)
                            EXPECT_LT(TurnAngle(Row(target, first + j).globalQ, Row(source, first + j).globalQ), 1e-5)
                                << targetJoints << " " << seed << " " << d << " " << j;
                }
            }
        }
    }
}

// Antipodal source extra, coincident spine joints: finite; an inverted arm keeps wrist and bend side.
TEST(Transfer, FaultsAndFlips)
{
    fixtures::Proportions withExtra = fixtures::Typical();
    withExtra.shoulderExtras = true;
    fixtures::Scene source = Make(withExtra, 2), target = Make(fixtures::Typical(), 2);
    target.properties.entries[vlm_entry::ExtraCollarRatio].value = 0.5f;
    VLMStateRow* extra = VLMNodeRow(source.c(), source.rows(), VLM_NODE_LEFT_SHOULDER_EXTRA);
    extra->globalQ = VLMVector4Negate(Row(source, VLM_NODE_LEFT_SHOULDER).globalQ);
    Transfer(target, source);
    EXPECT_TRUE(Finite(target));
    EXPECT_LT(TurnAngle(Row(target, VLM_NODE_LEFT_SHOULDER).globalQ, extra->globalQ), 1e-5);

    fixtures::Proportions flat = fixtures::Typical();
    flat.spine = flat.shoulderWidth = flat.arm = 0.0f;  // chest end on the spine
    fixtures::Scene squashed = Make(flat, 3);
    Transfer(squashed, source);
    VLMVector4 limiter = V(1, 0.5f, 1, 1);
    VLMStretchSpine(squashed.c(), squashed.rows(), V(0, 150, 0, 0), S(0), S(0), V(0, 0, 0, 0), S(1), S(1), S(1),
                    &limiter);
    EXPECT_TRUE(Finite(squashed));

    for (unsigned seed = 1; seed <= 4; ++seed) {
        fixtures::Scene from = Make(fixtures::Typical(), seed), flipped = Make(fixtures::Typical(), seed, false, true);
        Transfer(flipped, from);
        const VLMLimb* arm = VLMCharacterLimb(flipped.c(), 2);
        EXPECT_LT(Len(FromHips(flipped, VLM_NODE_LEFT_HAND) - FromHips(flipped, VLM_NODE_LEFT_ARM) -
                      (FromHips(from, VLM_NODE_LEFT_HAND) - FromHips(from, VLM_NODE_LEFT_ARM))),
                  1e-3);
        const P3 a = FromHips(flipped, VLM_NODE_LEFT_FORE_ARM) - FromHips(flipped, VLM_NODE_LEFT_ARM);
        const P3 b = FromHips(flipped, VLM_NODE_LEFT_HAND) - FromHips(flipped, VLM_NODE_LEFT_FORE_ARM);
        const P3 n = At(VLMQuatRotate(flipped.rows()[arm->slotIndex[arm->upperSegmentCount]].globalQ, arm->axis));
        EXPECT_GT(Dot(Cross(a, b), n), 0.0) << seed;
    }
}

// Scales from the scale state, hips turned and moved by the offset; bad blocks change nothing.
TEST(Transfer, WithScaleAndOffset)
{
    fixtures::Scene source = Make(fixtures::Typical(), 4), target = Make(fixtures::Typical(), 4);
    fixtures::Scene scales = Make(fixtures::Typical(), 4), other = Make(fixtures::Full(), 4);
    Row(scales, VLM_NODE_LEFT_LEG).localS = V(2, 2, 2, 1);
    const double offset[16] = {0, 3, 0, 0, -3, 0, 0, 0, 0, 0, 3, 0, 1, 2, 3, 1};  // 90 degrees about z, scaled by 3
    const std::vector<VLMStateRow> before = target.snapshot();
    const VLMCharacterState* bad[2] = {nullptr, other.state.get()};
    for (const VLMCharacterState* state : bad)
        VLMTransferPoseWithScaleAndOffset(target.c(), target.state.get(), scales.state.get(), source.c(), state,
                                          &target.properties, nullptr, offset);
    EXPECT_TRUE(Unchanged(target, before));
    VLMTransferPoseWithScaleAndOffset(target.c(), target.state.get(), scales.state.get(), source.c(),
                                      source.state.get(), &target.properties, nullptr, offset);
    EXPECT_EQ(Row(target, VLM_NODE_LEFT_LEG).localS.y, 2.0f);
    const VLMVector4 turn = VLMQuatNormalize(V(0, 0, 1, 1));
    EXPECT_LT(TurnAngle(Row(target, VLM_NODE_HIPS).globalQ, VLMQuatMultiply(turn, Row(source, VLM_NODE_HIPS).globalQ)),
              1e-5);
    EXPECT_LT(Len(At(Row(target, VLM_NODE_HIPS).globalT) - At(Row(source, VLM_NODE_HIPS).globalT) - P3{1, 2, 3}), 1e-4);
}

}  // namespace

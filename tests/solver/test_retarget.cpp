#include "solver_test_util.h"

namespace {

using namespace soltest;

fixtures::Scene Make(const fixtures::Proportions& p, unsigned seed, bool symmetric = false, bool inverted = false)
{
    return fixtures::Scene(p, {false, {false, false, inverted, false}, true, symmetric, seed},
                           {0.5f, 0.3f, 10.0f, true, true});
}

void Transfer(const fixtures::Scene& target, const fixtures::Scene& source)
{
    VLMScopedFPGuard guard;
    VLMTransferPose(target.c(), source.c(), target.rows(), source.rows(), &target.properties);
}

bool Has(const fixtures::Scene& s, int id) { return VLMCharacterCompactIndex(s.c(), id) >= 0; }
P3 FromHips(const fixtures::Scene& s, int id) { return At(Row(s, id).globalT) - At(Row(s, VLM_NODE_HIPS).globalT); }

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

// Twice is the identity; a symmetric T-pose turns half about y; a one-sided shoulder keeps its local.
TEST(Mirror, PosesAndEffectorSets)
{
    fixtures::Scene s = Make(fixtures::Full(), 4, true);
    VLMEffectorSetLayout* set = s.effectors();
    std::mt19937 rng(4);
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        set->effectors[e] = {mathtest::RandomVector(rng, 50, 0), mathtest::RandomUnitQuat(rng), V(1, 2, 3, 1)},
        set->blend[e] = mathtest::RandomVector(rng, 1, 0);
    const VLMEffectorSetLayout copy = *set;
    VLMMirrorEffectorSet(set);
    EXPECT_TRUE(SameBits(set->blend[VLM_LEFT_WRIST_EFFECTOR], copy.blend[VLM_RIGHT_WRIST_EFFECTOR]));
    VLMMirrorEffectorSet(set);
    EXPECT_EQ(std::memcmp(set, &copy, sizeof copy), 0);

    VLMScopedFPGuard guard;
    const std::vector<VLMStateRow> before = s.snapshot();
    VLMMirrorPose(s.c(), s.rows());
    VLMMirrorPose(s.c(), s.rows());
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const int r = VLMCharacterCompactIndex(s.c(), id);
        if (r < 0)
            continue;
        EXPECT_LT(TurnAngle(s.rows()[r].globalQ, before[r].globalQ), 1e-5) << id;
        EXPECT_LT(Len(At(s.rows()[r].globalT) - At(before[r].globalT)), 1e-4) << id;
    }
    VLMSetStateToTPose(s.c(), s.rows());
    VLMTreeGlobalToLocal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    const std::vector<VLMStateRow> rest = s.snapshot();
    VLMMirrorPose(s.c(), s.rows());
    for (int id = 1; id < VLM_NODE_COUNT; ++id) {
        const int r = VLMCharacterCompactIndex(s.c(), id);
        if (r < 0)
            continue;
        EXPECT_LT(TurnAngle(s.rows()[r].globalQ, V(0, 1, 0, 0)), 1e-5) << id;
        const P3 t = At(rest[r].globalT);
        EXPECT_LT(Len(At(s.rows()[r].globalT) - P3{-t.x, t.y, -t.z}), 1e-3) << id;
    }

    fixtures::Proportions oneSided = fixtures::Typical();
    oneSided.shoulders = false;
    fixtures::Fixture f = fixtures::Build(oneSided, {false, {}, true, false, 2});
    f.definition.words[VLM_NODE_LEFT_SHOULDER] = 7;
    fixtures::Fixture g = fixtures::Build(fixtures::Typical(), {false, {}, true, false, 2});
    VLMCharacterHandle c = VLMAdopt<VLMCharacterHandle>(VLMCreateCharacter(&f.definition, &Malloc));
    VLMApplyJointGeometries(&f.definition, c.get(), g.records.data(), VLM_NODE_COUNT, nullptr);
    VLMCharacterStateHandle state = NewState(c.get());
    fixtures::SamplePose(c.get(), state.get(), rng, {});
    VLMStateRow* rows = VLMStateFirstRow(state.get());
    const VLMVector4 local = VLMNodeRow(c.get(), rows, VLM_NODE_LEFT_SHOULDER)->localQ;
    VLMMirrorPose(c.get(), rows);
    EXPECT_LT(TurnAngle(VLMNodeRow(c.get(), rows, VLM_NODE_LEFT_SHOULDER)->localQ, local), 1e-6);
}

// HipsTranslation: 0 and 3 keep the offset, 1 turns with the hips, 2 follows the trajectory.
TEST(HipsTranslation, EveryModePlacesTheHipsTranslationNode)
{
    for (const fixtures::Proportions& p : {fixtures::Typical(), fixtures::Full()}) {
        for (int mode = 0; mode < 4; ++mode) {
            fixtures::Scene s = Make(p, 6), source = Make(p, 7);
            s.properties.entries[vlm_entry::HipsTranslationMode].value = float(mode);
            const_cast<VLMTPoseEntry*>(VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS_TRANSLATION))->t.x += 4.0f;
            const std::vector<VLMStateRow> before = s.snapshot();
            VLMScopedFPGuard guard;
            VLMSolveHipsTrajectory(s.c(), s.rows(), &s.properties);
            const VLMVector4 t = V(1, 2, 3, 0), q = VLMQuatNormalize(V(0, 0.3f, 0, 1)), scale = V(1, 1, 1, 1);
            VLMApplyHipsTrajectory(s.c(), s.rows(), source.c(), source.rows(), &s.properties, t, q, scale);
            if (!Has(s, VLM_NODE_HIPS_TRANSLATION)) {
                EXPECT_TRUE(Unchanged(s, before));
                continue;
            }
            const VLMStateRow& hips = Row(s, VLM_NODE_HIPS);
            const VLMVector4 offset = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS_TRANSLATION)->t,
                                                    VLMCharacterTPoseEntry(s.c(), VLM_NODE_HIPS)->t);
            const VLMVector4 want[4] = {
                VLMVector4Add(hips.globalT, offset), VLMVector4Add(hips.globalT, VLMQuatRotate(hips.globalQ, offset)),
                VLMVector4Add(t, VLMQuatRotate(q, Row(source, VLM_NODE_HIPS_TRANSLATION).globalT)),
                VLMVector4Add(hips.globalT, offset)};
            EXPECT_LT(Len(At(Row(s, VLM_NODE_HIPS_TRANSLATION).globalT) - At(want[mode])), 1e-4) << mode;
        }
    }
}

// Fixed point on identical characters, scale by mode, mass centre, stance offsets on and off.
TEST(Compensation, ActorSpaceScaleAndMassCentre)
{
    const struct {
        const char* name;
        float height;
        std::uint32_t forceMode, scaleMode;
        float scaleValue, mass, wantScale;
    } cases[] = {{"defaults", 177, 0, 1, 100, 80, 1},
                 {"force actor space", 177, 1, 2, 200, 80, 1},
                 {"user 100", 100, 0, 2, 100, 0, 1},
                 {"auto, half size", 88.5f, 0, 1, 100, 0, 0.5f},
                 {"mass centre 100", 165, 0, 0, 100, 100, 1}};
    for (const auto& c : cases) {
        fixtures::Proportions p = fixtures::Typical();
        p.height = c.height;
        fixtures::Scene source = Make(fixtures::Typical(), 3), target = Make(p, 3);
        VLMPropertySetState& props = target.properties;
        props.entries[vlm_entry::ForceActorSpace].mode = c.forceMode;
        props.entries[vlm_entry::ScaleCompensation].mode = c.scaleMode;
        props.entries[vlm_entry::ScaleCompensation].value = c.scaleValue;
        props.entries[vlm_entry::MassCenterCompensation].value = c.mass;
        VLMEffectorSetLayout* set = source.effectors();
        VLMScopedFPGuard guard;
        VLMComputeEffectorsFromPose(source.c(), set, source.rows(), &source.properties);
        VLMMeasureSourceBody(source.c(), set, source.rows(), &source.properties);
        const float legs = set->bodyMeasurements[1];
        VLMTransferPose(target.c(), source.c(), target.rows(), source.rows(), &props);
        VLMVector4 t, q, s;
        VLMApplyActorCompensation(target.c(), set, target.rows(), &props, t, q, s);
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(s.x, c.wantScale, 1e-4);
        EXPECT_NEAR(set->bodyMeasurements[1], legs * s.x, 1e-4);
        if (c.mass == 100) {
            P3 reached[2];
            for (int side = 0; side < 2; ++side) {
                const P3 ankle = At(set->effectors[1 + side].t), hip = At(set->effectors[16 + side].t);
                const double l = Len(FromHips(target, 2 + 3 * side) - FromHips(target, 4 + 3 * side));
                reached[side] = ankle + std::fmin(1.0, l / Len(hip - ankle)) * (hip - ankle);
            }
            EXPECT_LT(Len(At(set->effectors[0].t) - 0.5 * (reached[0] + reached[1])), 1e-3);
        } else if (c.height == 177) {
            EXPECT_LT(Len(At(Row(target, VLM_NODE_HIPS).globalT) - At(Row(source, VLM_NODE_HIPS).globalT)), 1e-3);
        }
    }

    // A source without hips width and legs, effectors on one point: scale 1, no NaN.
    fixtures::Scene s = Make(fixtures::Full(), 8);
    VLMScopedFPGuard guard;
    VLMEffectorSetLayout* set = s.effectors();
    VLMResetEffectorRecords(set);
    set->bodyMeasurements[0] = set->bodyMeasurements[1] = set->bodyMeasurements[2] = 0.0f;
    VLMVector4 t, q, scale;
    VLMApplyActorCompensation(s.c(), set, s.rows(), &s.properties, t, q, scale);
    EXPECT_EQ(scale.x, 1.0f);
    EXPECT_TRUE(std::isfinite(set->effectors[VLM_HIPS_EFFECTOR].t.y));
    EXPECT_TRUE(Finite(s));

    const std::vector<VLMStateRow> before = s.snapshot();
    VLMApplyStanceOffsets(s.c(), s.rows());
    EXPECT_GT(TurnAngle(Row(s, VLM_NODE_HIPS).globalQ, before[1].globalQ), 1.5);
    VLMRemoveStanceOffsets(s.c(), s.rows());
    for (int id = 1; id < VLM_NODE_COUNT; ++id)
        EXPECT_TRUE(!Has(s, id) ||
                    TurnAngle(Row(s, id).globalQ, before[VLMCharacterCompactIndex(s.c(), id)].globalQ) < 1e-5)
            << id;
}

// Hips height, ankle height and ankle proximity, by value and Auto, against a double model of the three steps.
TEST(Compensation, HipsHeightAnkleHeightAndProximityMoveTheirEffectors)
{
    const auto rest = [](const fixtures::Scene& s, int a, int b) {
        return Len(At(VLMCharacterTPoseEntry(s.c(), a)->t) - At(VLMCharacterTPoseEntry(s.c(), b)->t));
    };
    const auto turned = [](const VLMVector4& q, const P3& v) {
        const D4 r = mathtest::Rotate(Wide(q), {v.x, v.y, v.z, 0});
        return P3{r[0], r[1], r[2]};
    };
    for (std::uint32_t mode : {1u, 2u}) {  // Auto, User
        for (unsigned seed = 1; seed <= 3; ++seed) {
            fixtures::Scene source = Make(fixtures::Typical(), seed), target = Make(fixtures::Retarget(), seed);
            source.properties.entries[vlm_entry::FootBottomToAnkle].value = 8.0f;
            VLMPropertySetState& props = target.properties;
            props.entries[vlm_entry::FootBottomToAnkle].value = 6.0f;
            props.entries[vlm_entry::ForceActorSpace].mode = 1;
            props.entries[vlm_entry::MassCenterCompensation].value = 0.0f;
            const float values[3] = {7.0f, 4.0f, 3.0f};
            for (int i = 0; i < 3; ++i) {
                props.entries[vlm_entry::HipsHeightCompensation + i].mode = mode;
                props.entries[vlm_entry::HipsHeightCompensation + i].value = values[i];
            }
            VLMEffectorSetLayout* set = source.effectors();
            VLMScopedFPGuard guard;
            VLMComputeEffectorsFromPose(source.c(), set, source.rows(), &source.properties);
            VLMMeasureSourceBody(source.c(), set, source.rows(), &source.properties);
            VLMTransferPose(target.c(), source.c(), target.rows(), source.rows(), &props);
            const VLMEffectorSetLayout before = *set;
            P3 t[VLM_EFFECTOR_COUNT];
            for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
                t[e] = At(before.effectors[e].t);
            double h = values[0], a = values[1], p = values[2];
            if (mode == 1) {  // the target's leg length, ankle height and hip width against the source's
                const double legs = 0.5 * (rest(target, VLM_NODE_LEFT_UP_LEG, VLM_NODE_LEFT_FOOT) +
                                           rest(target, VLM_NODE_RIGHT_UP_LEG, VLM_NODE_RIGHT_FOOT));
                const double width =
                    Len(FromHips(target, VLM_NODE_LEFT_UP_LEG) - FromHips(target, VLM_NODE_RIGHT_UP_LEG));
                const float* m = before.bodyMeasurements;
                h = (legs + 6.0) - (m[1] + m[2]), a = 6.0 - m[2], p = 0.5 * (width - m[0]);
            }
            const P3 up = (t[16] + t[17]) - (t[1] + t[2]), lift = (h / Len(up)) * up;
            for (int e : {VLM_HIPS_EFFECTOR, VLM_LEFT_HIP_EFFECTOR, VLM_RIGHT_HIP_EFFECTOR})
                t[e] = t[e] + lift;
            for (int side = 0; side < 2; ++side) {
                const VLMVector4& q = before.effectors[1 + side].q;
                const P3 x = turned(q, {1, 0, 0}), apart = (side ? -p : p) * P3{x.x, 0, x.z};
                t[1 + side] = t[1 + side] + turned(q, {0, a, 0}) + apart;
                t[11 + side] = t[11 + side] + apart;
            }
            VLMVector4 at, aq, as;
            VLMApplyActorCompensation(target.c(), set, target.rows(), &props, at, aq, as);
            SCOPED_TRACE(::testing::Message() << "mode " << mode << ", seed " << seed);
            for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
                EXPECT_LT(Len(At(set->effectors[e].t) - t[e]), 1e-3) << e;
        }
    }
}

// Hips placement and the spine stretch's factor.
TEST(Spine, PlacementAndStretch)
{
    fixtures::Scene s = Make(fixtures::Typical(), 9);
    VLMScopedFPGuard guard;
    const VLMVector4 where = V(3, 90, -4, 0), turn = VLMQuatNormalize(V(0.1f, 0.4f, 0.2f, 0.9f));
    VLMPlaceHips(s.c(), s.rows(), where, turn);
    VLMTreeLocalToGlobal(s.c(), s.rows(), VLMCharacterNodeRecords(s.c()));
    EXPECT_LT(Len(0.5 * (At(Row(s, 2).globalT) + At(Row(s, 5).globalT)) - At(where)), 1e-4);

    const std::vector<VLMStateRow> before = s.snapshot();
    const VLMVector4 end = [&] {
        VLMVector4 e;
        VLMGetChestEndPosition(s.c(), &e, s.rows(), V(0, 0, 0, 0));
        return e;
    }();
    const struct {
        float distance, reach, freedom, lo, hi;
    } cases[] = {
        {1, 1, 0.5f, 1 - 1e-6f, 1 + 1e-6f}, {1000, 1, 0.5f, 1.95f, 2}, {0, 10, 0.5f, 0, 0.1f}, {1.3f, 0, 0.5f, 1, 1}};
    for (const auto& c : cases) {
        Restore(s, before);
        const VLMVector4 spine = Row(s, VLM_NODE_SPINE).globalT;
        const VLMVector4 target = VLMVector4Add(spine, VLMVector4Mul(VLMVector4Sub(end, spine), S(c.distance)));
        VLMVector4 limiter = V(1, c.freedom, 1, 1);
        VLMStretchSpine(s.c(), s.rows(), target, S(0), S(0), V(0, 0, 0, 0), S(1), S(1), S(c.reach), &limiter);
        EXPECT_GE(limiter.x, c.lo) << c.distance;
        EXPECT_LE(limiter.x, c.hi) << c.distance;
        const auto bone = [&](const VLMStateRow* rows) {
            return Len(At(rows[VLMCharacterCompactIndex(s.c(), 23)].globalT) -
                       At(rows[VLMCharacterCompactIndex(s.c(), 8)].globalT));
        };
        EXPECT_TRUE(c.hi > 1.1f || c.lo < 0.9f || std::fabs(bone(s.rows()) - bone(before.data())) < 1e-4);
    }
}

// Targets on the chest end's ray from the spine and up to 0.35 rad off it, within the limiter, with the pre-rotation
// weights the callers hand (0 from the spine-only pass, 0.5 (1 - t) from the body pull), 1 to 5 spine nodes: the
// stretched chest end lands on its target. A one-node spine whose children keep their offsets has only its
// hips-to-spine bone to grow: that bone grows by the factor, and the chest end comes as near the target as a turn
// about the moved spine joint can bring it.
TEST(Spine, StretchPutsTheChestEndOnItsTarget)
{
    std::mt19937 rng(40);
    std::uniform_real_distribution<double> off(0.05, 0.35);
    for (int spineJoints = -1; spineJoints <= 4; ++spineJoints) {  // -1: Minimal (no Spine1, no shoulders)
        fixtures::Proportions p = spineJoints < 0 ? fixtures::Minimal() : fixtures::Typical();
        p.spineJoints = std::max(spineJoints, 0);
        for (unsigned seed : {9u, 4u}) {
            fixtures::Scene s = Make(p, seed);
            VLMScopedFPGuard guard;
            const auto chestEnd = [&] {
                VLMVector4 e;
                VLMGetChestEndPosition(s.c(), &e, s.rows(), V(0, 0, 0, 0));
                return At(e);
            };
            const P3 end = chestEnd(), spine = At(Row(s, VLM_NODE_SPINE).globalT), hips = At(Row(s, 1).globalT);
            const std::vector<VLMStateRow> before = s.snapshot();
            for (float w : {0.0f, 0.25f, 0.5f}) {
                for (float k : {0.8f, 1.2f, 1.3f, 1.45f}) {
                    for (int ray = 0; ray < 2; ++ray) {
                        const P3 d = end - spine, side = Cross(d, RandomDirection(rng)), n = (1 / Len(side)) * side;
                        const double a = ray == 0 ? 0.0 : off(rng);
                        const P3 goal = spine + k * (std::cos(a) * d + std::sin(a) * Len(d) * n);
                        const VLMVector4 target = V(float(goal.x), float(goal.y), float(goal.z), 0);
                        for (float children : {1.0f, 0.0f}) {
                            if (children == 0.0f && spineJoints > 0)
                                continue;
                            Restore(s, before);
                            VLMVector4 limiter = V(1, 1, 1, 1);
                            VLMStretchSpine(s.c(), s.rows(), target, S(0), S(w), V(0, 0, 0, 0), S(1), S(children), S(1),
                                            &limiter);
                            VLMUpdateUpperBodyGlobals(s.c(), s.rows());
                            SCOPED_TRACE(::testing::Message()
                                         << "spine " << spineJoints << " seed " << seed << " w " << w << " k " << k
                                         << " off " << a << " children " << children);
                            const double miss = Len(chestEnd() - At(target));
                            if (children == 1.0f) {
                                EXPECT_LT(miss, 2e-4);
                                continue;
                            }
                            const P3 moved = At(Row(s, VLM_NODE_SPINE).globalT);
                            EXPECT_NEAR(Len(moved - hips), k * Len(spine - hips), 2e-4);
                            EXPECT_NEAR(miss, std::fabs(Len(At(target) - moved) - Len(chestEnd() - moved)), 2e-4);
                        }
                    }
                }
            }
        }
    }
}

// Right hand mirrors x; types round, 4 and up are Normal; zero geometry gives the frame.
TEST(ContactPoint, TableFramesAndTypes)
{
    fixtures::Scene s = Make(fixtures::Typical(), 1);
    const VLMExtremity* right = VLMCharacterExtremity(s.c(), 1);
    VLMPropertySetState& p = s.properties;
    for (int k = 0; k < 6; ++k)
        p.entries[right->properties[1 + k]].value = float(k + 1);  // B 1, K 2, M 3, F 4, I 5, O 6
    const VLMVector4 tA = V(10, 0, 0, 0), tB = V(0, 20, 0, 0), q = V(0, 0, 0, 1), one = V(1, 1, 1, 1);
    auto point = [&](int index, float type) {
        p.entries[right->properties[8]].value = type;
        VLMVector4 out;
        VLMScopedFPGuard guard;
        VLMContactPoint(s.c(), &out, right, &p, index, &tA, &q, &one, &tB, &q, &one);
        return out;
    };
    EXPECT_TRUE(SameBits(point(0, 1), V(12, -1, -6, 0)));
    EXPECT_TRUE(SameBits(point(-1, 1), point(5, 1)));
    EXPECT_EQ(point(3, 2.5f).y, 19.0f);  // 2: the finger base
    EXPECT_EQ(point(3, 3.5f).y, -1.0f);  // 4: Normal, point 3 on the wrist
    for (int k = 0; k < 6; ++k)
        p.entries[right->properties[1 + k]].value = 0.0f;
    const VLMVector4 offset = VLMVector4Sub(VLMCharacterTPoseEntry(s.c(), right->endNodeId)->t,
                                            VLMCharacterTPoseEntry(s.c(), right->baseNodeId)->t);
    for (int index = 0; index < 6; ++index) {
        EXPECT_TRUE(SameBits(point(index, 1), tA)) << index;
        EXPECT_TRUE(SameBits(point(index, 2), tB)) << index;
        EXPECT_TRUE(SameBits(point(index, 0), index < 4 ? tA : VLMVector4Add(tB, offset))) << index;
    }
}

}  // namespace

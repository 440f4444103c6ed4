#include "solver_test_util.h"

namespace {

using namespace soltest;

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

}  // namespace

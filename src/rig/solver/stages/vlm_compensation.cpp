#include "rig/solver/stages/vlm_compensation.h"

#include "rig/solver/stages/vlm_mirror.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_spine.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <initializer_list>

namespace {

float RestDistance(const VLMCharacter* c, int a, int b)
{
    return VLMLengthFloat(VLMCharacterTPoseEntry(c, a)->t - VLMCharacterTPoseEntry(c, b)->t);
}

const VLMVector4& Scale(const VLMCharacter* c, const VLMStateRow* rows, int id)
{
    return VLMNodeRow(c, rows, id)->globalS;
}

// Leg length: the mean of the two legs' rest lengths, each times its up-leg's scale.
float LegLength(const VLMCharacter* c, const VLMStateRow* rows)
{
    return 0.5f *
           (RestDistance(c, VLM_NODE_RIGHT_UP_LEG, VLM_NODE_RIGHT_FOOT) * Scale(c, rows, VLM_NODE_RIGHT_UP_LEG).x +
            RestDistance(c, VLM_NODE_LEFT_UP_LEG, VLM_NODE_LEFT_FOOT) * Scale(c, rows, VLM_NODE_LEFT_UP_LEG).x);
}

float AnkleHeight(const VLMCharacter* c, const VLMStateRow* rows, const VLMPropertySetState* properties)
{
    return VLMPropertyValueAt(properties, vlm_entry::FootBottomToAnkle) * 0.5f *
           (Scale(c, rows, VLM_NODE_LEFT_FOOT).y + Scale(c, rows, VLM_NODE_RIGHT_FOOT).y);
}

VLMVector4& EffectorT(VLMEffectorSetLayout* set, int id) { return set->effectors[id].t; }

struct StanceRow {
    int node;
    float x, y, z;  // degrees
};
constexpr StanceRow kStanceOffsets[12] = {
    {VLM_NODE_HIPS, 90, 0, 0},
    {VLM_NODE_LEFT_UP_LEG, 0, 0, 0},
    {VLM_NODE_RIGHT_UP_LEG, 0, 0, 0},
    {VLM_NODE_LEFT_FOOT, 90, 0, 0},
    {VLM_NODE_RIGHT_FOOT, 90, 0, 0},
    {VLM_NODE_LEFT_SHOULDER, 90, 0, -90},
    {VLM_NODE_LEFT_ARM, 0, 0, -90},
    {VLM_NODE_RIGHT_SHOULDER, 90, 0, 90},
    {VLM_NODE_RIGHT_ARM, 0, 0, 90},
    {VLM_NODE_LEFT_FORE_ARM, 90, 0, -90},
    {VLM_NODE_RIGHT_FORE_ARM, 90, 0, 90},
    {VLM_NODE_HEAD, 0, 0, 0},
};

void TurnStance(const VLMCharacter* character, VLMStateRow* rows, bool remove)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMRowBitSet marked;
    for (std::uint32_t& word : marked.words)
        word = ~0u;
    VLMTreeGlobalToLocal(character, rows, records);
    for (const StanceRow& row : kStanceOffsets) {
        const std::int32_t index = VLMCharacterCompactIndex(character, row.node);
        if (index < 0)
            continue;
        const VLMVector4 half = VLMVector4{row.x, row.y, row.z, 0.0f} * VLMConstant::DegToRad * VLMConstant::Half;
        VLMVector4 sine, cosine;
        VLMFastSinCos(half, sine, cosine);
        const VLMVector4 qx = {sine.x, 0.0f, 0.0f, cosine.x};
        const VLMVector4 qy = {0.0f, sine.y, 0.0f, cosine.y};
        const VLMVector4 qz = {0.0f, 0.0f, sine.z, cosine.z};
        const VLMVector4 o = VLMQuatMultiply(VLMQuatMultiply(qz, qy), qx);
        rows[index].globalQ = VLMQuatMultiply(remove ? VLMVector4NegateXYZ(o) : o, rows[index].globalQ);
        marked.words[index >> 5] &= ~(1u << (index & 31));
    }
    VLMTreeLocalToGlobalRotationMarked(character, rows, records, &marked);
    VLMTreeGlobalToLocalRotation(character, rows, records);
    VLMTreeLocalToGlobal(character, rows, records);
}

}  // namespace

void VLMMeasureSourceBody(const VLMCharacter* source, VLMEffectorSetLayout* set, const VLMStateRow* rows,
                          const VLMPropertySetState* properties)
{
    set->bodyMeasurements[0] =
        RestDistance(source, VLM_NODE_LEFT_UP_LEG, VLM_NODE_RIGHT_UP_LEG) * Scale(source, rows, VLM_NODE_HIPS).x;
    set->bodyMeasurements[1] = LegLength(source, rows);
    set->bodyMeasurements[2] = AnkleHeight(source, rows, properties);
}

namespace {

bool InEffect(const VLMPropertySetState* properties, int entry) { return VLMIsPropertyInEffect(properties, entry); }
bool IsAuto(const VLMPropertySetState* properties, int entry) { return VLMIsPropertyAuto(properties, entry); }
float Value(const VLMPropertySetState* properties, int entry) { return VLMPropertyValueAt(properties, entry); }

// The target's counterparts of the source's measurements M0..M2, taken from
// its pose as the compensation finds it (mirrored or not).
struct TargetBody {
    float width, leg, ankle;
};

// The pose and the effectors mirrored, when Mirror is in effect.
void MirrorWhenAsked(const VLMCharacter* target, VLMEffectorSetLayout* set, VLMStateRow* rows,
                     const VLMPropertySetState* properties)
{
    if (InEffect(properties, vlm_entry::Mirror)) {
        VLMMirrorPose(target, rows);
        VLMMirrorEffectorSet(set);
    }
}

TargetBody MeasureTargetBody(const VLMCharacter* target, const VLMStateRow* rows, const VLMPropertySetState* properties)
{
    TargetBody body;
    body.width = VLMLengthFloat(VLMNodeRow(target, rows, VLM_NODE_RIGHT_UP_LEG)->globalT -
                                VLMNodeRow(target, rows, VLM_NODE_LEFT_UP_LEG)->globalT);
    body.leg = LegLength(target, rows);
    body.ankle = AnkleHeight(target, rows, properties);
    return body;
}

// The actor transform: the identity in forced actor space, else the target's
// reference transform, scaled when ScaleCompensation is in effect.
void ActorTransform(const VLMCharacter* target, const VLMStateRow* rows, const VLMPropertySetState* properties,
                    const float* m, const TargetBody& body, VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    t = VLMVector4Zero();
    q = VLMConstant::IdentityQuat;
    s = VLMConstant::One;
    if (InEffect(properties, vlm_entry::ForceActorSpace))
        return;
    const VLMStateRow* reference = VLMNodeRow(target, rows, VLM_NODE_REFERENCE);
    t = reference->globalT;
    q = reference->globalQ;
    if (InEffect(properties, vlm_entry::ScaleCompensation)) {
        float scale = Value(properties, vlm_entry::ScaleCompensation) * 0.01f;
        if (IsAuto(properties, vlm_entry::ScaleCompensation)) {
            const float source = m[1] + m[0];
            scale = source > 0.0f ? (body.leg + body.width) / source : 1.0f;  // a source without legs keeps its size
        }
        s = VLMVector4{scale, scale, scale, 1.0f};
    }
}

// Measurements and every effector into the actor space.
void MoveIntoActorSpace(VLMEffectorSetLayout* set, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    float* m = set->bodyMeasurements;
    for (int i = 0; i < 3; ++i)
        m[i] = m[i] * s.x;
    VLMTransformEffectorTranslations(set, t, q, s);
    VLMRotateEffectorRotations(set, q);
}

// Hips height: the hips effectors moved along the ankles-to-hips direction.
void CompensateHipsHeight(VLMEffectorSetLayout* set, const VLMPropertySetState* properties, const TargetBody& body)
{
    if (!InEffect(properties, vlm_entry::HipsHeightCompensation))
        return;
    const float* m = set->bodyMeasurements;
    const bool ankleHeight = InEffect(properties, vlm_entry::AnkleHeightCompensation);
    float h = Value(properties, vlm_entry::HipsHeightCompensation);
    if (IsAuto(properties, vlm_entry::HipsHeightCompensation))
        h = (body.leg + (ankleHeight ? body.ankle : 0.0f)) - (m[1] + (ankleHeight ? m[2] : 0.0f));
    const VLMVector4 up =
        VLMSafeDirection(EffectorT(set, VLM_LEFT_HIP_EFFECTOR) + EffectorT(set, VLM_RIGHT_HIP_EFFECTOR) -
                         (EffectorT(set, VLM_LEFT_ANKLE_EFFECTOR) + EffectorT(set, VLM_RIGHT_ANKLE_EFFECTOR)));
    if (VLMDotFloat(up, up) > 0.0f) {  // coincident hips and ankles: no direction to move along
        const VLMVector4 move = up * h;
        for (int e : {VLM_HIPS_EFFECTOR, VLM_LEFT_HIP_EFFECTOR, VLM_RIGHT_HIP_EFFECTOR})
            EffectorT(set, e) = EffectorT(set, e) + move;
    }
}

// Ankle height, for a foot whose contact type is Normal.
void CompensateAnkleHeight(VLMEffectorSetLayout* set, const VLMPropertySetState* properties, const TargetBody& body)
{
    if (!InEffect(properties, vlm_entry::AnkleHeightCompensation) ||
        VLMFloatToIntRound(Value(properties, vlm_entry::FootContactType)) != 0)
        return;
    float a = Value(properties, vlm_entry::AnkleHeightCompensation);
    if (IsAuto(properties, vlm_entry::AnkleHeightCompensation))
        a = body.ankle - set->bodyMeasurements[2];
    for (int e : {VLM_LEFT_ANKLE_EFFECTOR, VLM_RIGHT_ANKLE_EFFECTOR})
        EffectorT(set, e) = EffectorT(set, e) + VLMQuatRotate(set->effectors[e].q, VLMVector4{0.0f, a, 0.0f, 0.0f});
}

// Ankle proximity, along each ankle's own x axis in the floor plane.
void CompensateAnkleProximity(VLMEffectorSetLayout* set, const VLMPropertySetState* properties, const TargetBody& body)
{
    if (!InEffect(properties, vlm_entry::AnkleProximityCompensation))
        return;
    float p = Value(properties, vlm_entry::AnkleProximityCompensation);
    if (IsAuto(properties, vlm_entry::AnkleProximityCompensation))
        p = 0.5f * (body.width - set->bodyMeasurements[0]);
    const struct {
        int ankle, foot;
        float sign;
    } sides[2] = {{VLM_LEFT_ANKLE_EFFECTOR, VLM_LEFT_FOOT_EFFECTOR, 1.0f},
                  {VLM_RIGHT_ANKLE_EFFECTOR, VLM_RIGHT_FOOT_EFFECTOR, -1.0f}};
    for (const auto& side : sides) {
        const VLMVector4 x = VLMQuatAxisX(set->effectors[side.ankle].q);
        const float sp = side.sign * p;
        const VLMVector4 move = {sp * x.x, 0.0f, sp * x.z, 0.0f};
        EffectorT(set, side.ankle) = EffectorT(set, side.ankle) + move;
        EffectorT(set, side.foot) = EffectorT(set, side.foot) + move;
    }
}

// Mass centre: the hips effector toward the hips over the reachable ankles.
void PullHipsTowardMassCentre(const VLMCharacter* target, VLMEffectorSetLayout* set, const VLMStateRow* rows,
                              const VLMPropertySetState* properties, const VLMVector4& hipsOffset)
{
    const float massCentre = Value(properties, vlm_entry::MassCenterCompensation);
    if (!(massCentre > 0.0f))
        return;
    VLMTransformTQS& hips = set->effectors[VLM_HIPS_EFFECTOR];
    const struct {
        int hip, ankle, upLeg, foot;
    } sides[2] = {{VLM_LEFT_HIP_EFFECTOR, VLM_LEFT_ANKLE_EFFECTOR, VLM_NODE_LEFT_UP_LEG, VLM_NODE_LEFT_FOOT},
                  {VLM_RIGHT_HIP_EFFECTOR, VLM_RIGHT_ANKLE_EFFECTOR, VLM_NODE_RIGHT_UP_LEG, VLM_NODE_RIGHT_FOOT}};
    VLMVector4 reached[2];
    for (int i = 0; i < 2; ++i) {
        const VLMVector4 v = EffectorT(set, sides[i].hip) - EffectorT(set, sides[i].ankle);
        const float l = VLMLengthFloat(VLMNodeRow(target, rows, sides[i].upLeg)->globalT -
                                       VLMNodeRow(target, rows, sides[i].foot)->globalT);
        reached[i] = EffectorT(set, sides[i].ankle) + VLMShortenTo(v, l);
    }
    const VLMVector4 p = VLMQuatRotate(hips.q, hipsOffset) + 0.5f * (reached[0] + reached[1]);
    hips.t = hips.t + (p - hips.t) * (massCentre * 0.01f);
}

// The hips on the hips effector, then every global.
void PlaceHipsOnEffector(const VLMCharacter* target, const VLMEffectorSetLayout* set, VLMStateRow* rows,
                         const VLMVector4& hipsOffset)
{
    const VLMTransformTQS& hips = set->effectors[VLM_HIPS_EFFECTOR];
    VLMPlaceHips(target, rows, hips.t - VLMQuatRotate(hips.q, hipsOffset), hips.q);
    VLMTreeLocalToGlobal(target, rows, VLMCharacterNodeRecords(target));
}

}  // namespace

void VLMApplyActorCompensation(const VLMCharacter* target, VLMEffectorSetLayout* set, VLMStateRow* rows,
                               const VLMPropertySetState* properties, VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    MirrorWhenAsked(target, set, rows, properties);
    const TargetBody body = MeasureTargetBody(target, rows, properties);
    ActorTransform(target, rows, properties, set->bodyMeasurements, body, t, q, s);
    MoveIntoActorSpace(set, t, q, s);
    CompensateHipsHeight(set, properties, body);
    CompensateAnkleHeight(set, properties, body);
    CompensateAnkleProximity(set, properties, body);
    const VLMVector4 hipsOffset = VLMPropertyVectorAt(properties, vlm_entry::HipsTOffsetX);
    PullHipsTowardMassCentre(target, set, rows, properties, hipsOffset);
    PlaceHipsOnEffector(target, set, rows, hipsOffset);
}

void VLMApplyStanceOffsets(const VLMCharacter* character, VLMStateRow* rows) { TurnStance(character, rows, false); }

void VLMRemoveStanceOffsets(const VLMCharacter* character, VLMStateRow* rows) { TurnStance(character, rows, true); }

void VLMApplyPostureStance(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties)
{
    if (VLMFloatToIntRound(VLMPropertyValueAt(properties, vlm_entry::Posture)) == 1)
        VLMApplyStanceOffsets(character, rows);
}

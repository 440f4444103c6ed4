#include "rig/solver/stages/vlm_effector_params.h"

#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cstring>

namespace {

using namespace vlm_entry;

// A lane source: a property entry, or one of the two constants.
constexpr int kZero = -1;
constexpr int kOne = -2;

// Per effector id 0..19: the sources of lanes 0..3 (digit effectors 20..43
// take 0 in every lane).
constexpr int kLaneSources[20][4] = {
    {kOne, kOne, CtrlResistHipsPosition, CtrlResistHipsOrientation},
    {ReachActorLeftAnkle, ReachActorLeftAnkleRotationRotation, CtrlPullLeftFoot, kZero},
    {ReachActorRightAnkle, ReachActorRightAnkleRotation, CtrlPullRightFoot, kZero},
    {ReachActorLeftWrist, ReachActorLeftWristRotation, CtrlChestPullLeftHand, kZero},
    {ReachActorRightWrist, ReachActorRightWristRotation, CtrlChestPullRightHand, kZero},
    {ReachActorLeftKnee, kZero, CtrlPullLeftKnee, CtrlResistLeftKnee},
    {ReachActorRightKnee, kZero, CtrlPullRightKnee, CtrlResistRightKnee},
    {ReachActorLeftElbow, kZero, CtrlPullLeftElbow, CtrlResistLeftElbow},
    {ReachActorRightElbow, kZero, CtrlPullRightElbow, CtrlResistRightElbow},
    {kZero, ReachActorLowerChestRotation, kOne, ParamCtrlSpineStiffness},
    {ReachActorChest, ReachActorChestRotation, CtrlResistChestPosition, CtrlResistChestOrientation},
    {ReachActorLeftToesBase, ReachActorLeftToesBaseRotation, CtrlPullLeftToeBase, kZero},
    {ReachActorRightToesBase, ReachActorRightToesBaseRotation, CtrlPullRightToeBase, kZero},
    {ReachActorLeftShoulder, kZero, kZero, CtrlResistLeftCollar},
    {ReachActorRightShoulder, kZero, kZero, CtrlResistRightCollar},
    {ReachActorHead, ReachActorHeadRotation, CtrlPullHead, ParamCtrlNeckStiffness},
    {kZero, kZero, kZero, kZero},
    {kZero, kZero, kZero, kZero},
    {ReachActorLeftFingerBase, ReachActorLeftFingerBaseRotation, CtrlPullLeftFingerBase, kZero},
    {ReachActorRightFingerBase, ReachActorRightFingerBaseRotation, CtrlPullRightFingerBase, kZero},
};

float LaneValue(const VLMPropertySetState* properties, int id, int lane)
{
    if (id >= 20)
        return 0.0f;
    const int source = kLaneSources[id][lane];
    return source == kOne ? 1.0f : source == kZero ? 0.0f : VLMPropertyValueAt(properties, source);
}

void FillLane(VLMEffectorSetLayout* set, const VLMPropertySetState* properties, int lane)
{
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id)
        (&set->blend[id].x)[lane] = LaneValue(properties, id, lane);
}

void CopyTQ(VLMTransformTQS& to, const VLMTransformTQS& from)
{
    to.t = from.t;
    to.q = from.q;
}

// The eight effector ids of an extremity: end, extremity, six digits.
const std::int32_t* ExtremityEffectors(const VLMExtremity* extremity) { return &extremity->endEffector; }
static_assert(offsetof(VLMExtremity, baseEffector) == offsetof(VLMExtremity, endEffector) + 4 &&
                  offsetof(VLMExtremity, digitEffectors) == offsetof(VLMExtremity, endEffector) + 8,
              "the eight effector ids of an extremity are contiguous");

template <int N>
void MoveTranslations(VLMTransformTQS (&slots)[N], const VLMVector4& t, const VLMVector4& q)
{
    for (VLMTransformTQS& slot : slots)
        slot.t = t + VLMQuatRotate(q, slot.t);
}

template <int N>
void TurnRotations(VLMTransformTQS (&slots)[N], const VLMVector4& q)
{
    for (VLMTransformTQS& slot : slots)
        slot.q = VLMQuatMultiply(q, slot.q);
}

}  // namespace

void VLMSetEffectorReachFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties)
{
    FillLane(set, properties, VLM_BLEND_REACH_T);
    FillLane(set, properties, VLM_BLEND_REACH_R);
}

void VLMSetEffectorPullFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties)
{
    FillLane(set, properties, VLM_BLEND_PULL);
}

void VLMSetEffectorStiffnessFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties)
{
    FillLane(set, properties, VLM_BLEND_STIFFNESS);
}

void VLMSetHandPullFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties)
{
    set->leftHandPull = VLMPropertyValueAt(properties, CtrlPullLeftHand);
    set->rightHandPull = VLMPropertyValueAt(properties, CtrlPullRightHand);
}

void VLMMaskAbsentEffectorReach(VLMEffectorSetLayout* set, const VLMCharacter* character)
{
    static constexpr struct {
        int effector, node;
    } kMasked[] = {{VLM_LEFT_HAND_EFFECTOR, VLM_NODE_LEFT_FINGER_BASE},
                   {VLM_RIGHT_HAND_EFFECTOR, VLM_NODE_RIGHT_FINGER_BASE},
                   {VLM_LEFT_FOOT_EFFECTOR, VLM_NODE_LEFT_TOE_BASE},
                   {VLM_RIGHT_FOOT_EFFECTOR, VLM_NODE_RIGHT_TOE_BASE}};
    for (const auto& m : kMasked) {
        const float factor = VLMCharacterTPoseEntry(character, m.node)->presence != 0 ? 1.0f : 0.0f;
        set->blend[m.effector].x *= factor;
        set->blend[m.effector].y *= factor;
    }
}

// --- Work records ------------------------------------------------------------------------

void VLMResetSpineGoalSlots(VLMSpineGoal* goal)
{
    for (VLMTransformTQS& slot : goal->slots)
        VLMTQSReset(&slot);
    for (VLMVector4& lane : goal->lanes)
        lane = VLMVector4Zero();
}

void VLMInitSpineGoal(VLMSpineGoal* goal)
{
    VLMResetSpineGoalSlots(goal);
    goal->ids[0] = VLM_HIPS_EFFECTOR;
    goal->ids[1] = VLM_CHEST_ORIGIN_EFFECTOR;
    goal->ids[2] = VLM_CHEST_END_EFFECTOR;
}

void VLMInitLimbGoalBlock(VLMLimbGoalBlock* block)
{
    for (VLMTransformTQS& slot : block->slots)
        VLMTQSReset(&slot);
    for (VLMVector4& lane : block->lanes)
        lane = VLMVector4Zero();
    VLMTQSReset(&block->frame);
}

void VLMInitLimbContactRecord(VLMLimbContactRecord* record)
{
    for (VLMTransformTQS& slot : record->slots)
        VLMTQSReset(&slot);
    for (VLMVector4& lane : record->lanes)
        lane = VLMVector4Zero();
    VLMTQSReset(&record->frame);
}

void VLMFillSpineGoal(VLMSpineGoal* goal, const VLMEffectorSetLayout* set)
{
    for (int i = 0; i < 3; ++i) {
        CopyTQ(goal->slots[i], set->effectors[goal->ids[i]]);
        goal->lanes[i] = set->blend[goal->ids[i]];
    }
}

void VLMFillLimbGoalBlock(VLMLimbGoalBlock* block, const VLMExtremity* extremity, const VLMEffectorSetLayout* set)
{
    const std::int32_t* ids = ExtremityEffectors(extremity);
    for (int i = 0; i < 2; ++i) {
        CopyTQ(block->slots[i], set->effectors[ids[i]]);
        block->lanes[i] = set->blend[ids[i]];
    }
    CopyTQ(block->frame, set->extremities[extremity->extremityIndex]);
}

void VLMStoreLimbGoalBlock(const VLMLimbGoalBlock* block, const VLMExtremity* extremity, VLMEffectorSetLayout* set)
{
    const std::int32_t* ids = ExtremityEffectors(extremity);
    for (int i = 0; i < 2; ++i) {
        CopyTQ(set->effectors[ids[i]], block->slots[i]);
        set->blend[ids[i]] = block->lanes[i];
    }
    CopyTQ(set->extremities[extremity->extremityIndex], block->frame);
}

void VLMCopyLimbGoalBlockGoals(VLMLimbGoalBlock* destination, const VLMLimbGoalBlock* source)
{
    VLMPairArrayCopy2(reinterpret_cast<VLMPairArray2*>(destination), reinterpret_cast<const VLMPairArray2*>(source));
    CopyTQ(destination->frame, source->frame);
}

void VLMFillLimbContactRecord(VLMLimbContactRecord* record, const VLMExtremity* extremity,
                              const VLMEffectorSetLayout* set)
{
    const std::int32_t* ids = ExtremityEffectors(extremity);
    for (int i = 0; i < 8; ++i) {
        CopyTQ(record->slots[i], set->effectors[ids[i]]);
        record->lanes[i] = set->blend[ids[i]];
    }
    CopyTQ(record->frame, set->extremities[extremity->extremityIndex]);
}

void VLMCopyEffectorSetSettings(VLMEffectorSetLayout* destination, const VLMEffectorSetLayout* source)
{
    destination->rollCaptured = source->rollCaptured;
    destination->stageWord = source->stageWord;
    destination->leftHandPull = source->leftHandPull;
    destination->rightHandPull = source->rightHandPull;
    for (int k = 0; k < 4; ++k)
        CopyTQ(destination->extremities[k], source->extremities[k]);
    std::memcpy(destination->rollAngles, source->rollAngles, sizeof destination->rollAngles);
}

void VLMTransformEffectorTranslations(VLMEffectorSetLayout* set, const VLMVector4& t, const VLMVector4& q,
                                      const VLMVector4& s)
{
    for (VLMTransformTQS& e : set->effectors)
        e.t = t + VLMQuatRotate(q, s * e.t);
}

void VLMRotateEffectorRotations(VLMEffectorSetLayout* set, const VLMVector4& q) { TurnRotations(set->effectors, q); }

void VLMTransformGoalBlockTranslations(VLMLimbGoalBlock* block, const VLMVector4& t, const VLMVector4& q)
{
    MoveTranslations(block->slots, t, q);
}

void VLMRotateGoalBlockRotations(VLMLimbGoalBlock* block, const VLMVector4& q) { TurnRotations(block->slots, q); }

void VLMTransformContactRecordTranslations(VLMLimbContactRecord* record, const VLMVector4& t, const VLMVector4& q)
{
    MoveTranslations(record->slots, t, q);
}

void VLMRotateContactRecordRotations(VLMLimbContactRecord* record, const VLMVector4& q)
{
    TurnRotations(record->slots, q);
}

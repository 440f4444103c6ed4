// Solver, internal: blend lanes from the property set and the stages' work
// records.
//
// Lanes (VLMEffectorBlendLane) are filled from the target character's property
// values, read by table entry and copied unclamped. Inside a solve the order
// is reach, pull, stiffness, hand pull, then VLMMaskAbsentEffectorReach with
// the source character (it multiplies, so a reach already 0 stays 0).
//
// Work records: a run of transform slots, one lane vector per slot, then
// either the three effector ids (VLMSpineGoal) or the hand's or foot's floor
// frame. The first 128 bytes of a VLMLimbGoalBlock are laid out as a
// VLMPairArray2 and the first 544 bytes of a VLMLimbContactRecord as a
// VLMPairArray8 (whose two trailing vectors are the frame's T and Q).
#ifndef VLM_EFFECTOR_PARAMS_H
#define VLM_EFFECTOR_PARAMS_H

#include "rig/solver/vlm_state.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"
#include "rig/vlm_records.h"

#include <cstddef>
#include <cstdint>

// Effector ids (the order of the library's effector table).
enum VLMEffectorId : int {
    VLM_HIPS_EFFECTOR = 0,
    VLM_LEFT_ANKLE_EFFECTOR,
    VLM_RIGHT_ANKLE_EFFECTOR,
    VLM_LEFT_WRIST_EFFECTOR,
    VLM_RIGHT_WRIST_EFFECTOR,
    VLM_LEFT_KNEE_EFFECTOR,
    VLM_RIGHT_KNEE_EFFECTOR,
    VLM_LEFT_ELBOW_EFFECTOR,
    VLM_RIGHT_ELBOW_EFFECTOR,
    VLM_CHEST_ORIGIN_EFFECTOR,
    VLM_CHEST_END_EFFECTOR,
    VLM_LEFT_FOOT_EFFECTOR,
    VLM_RIGHT_FOOT_EFFECTOR,
    VLM_LEFT_SHOULDER_EFFECTOR,
    VLM_RIGHT_SHOULDER_EFFECTOR,
    VLM_HEAD_EFFECTOR,
    VLM_LEFT_HIP_EFFECTOR,
    VLM_RIGHT_HIP_EFFECTOR,
    VLM_LEFT_HAND_EFFECTOR,
    VLM_RIGHT_HAND_EFFECTOR,
    VLM_LEFT_HAND_THUMB_EFFECTOR,                            // 20..25 left hand, 26..31 right hand,
    VLM_FIRST_DIGIT_EFFECTOR = VLM_LEFT_HAND_THUMB_EFFECTOR  // 32..37 left foot, 38..43 right foot
};

// The guarded entry that fills lanes 2 and 3 from properties,
// VLMSetPullAndStiffnessFromProperties, is declared and defined with the
// effector set's state (vlm_state.h) on top of the forms below.

// --- Internal forms (no guard) --------------------------------------------------------

void VLMSetEffectorReachFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties);
void VLMSetEffectorPullFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties);
void VLMSetEffectorStiffnessFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties);
void VLMSetHandPullFromProperties(VLMEffectorSetLayout* set, const VLMPropertySetState* properties);
// Reach lanes of the hand and foot effectors times 1 when the character has
// the finger or toe base, else times 0.
void VLMMaskAbsentEffectorReach(VLMEffectorSetLayout* set, const VLMCharacter* character);

struct alignas(16) VLMSpineGoal {
    VLMTransformTQS slots[3];  // hips, chest origin, chest end (slot scales unused)
    VLMVector4 lanes[3];
    std::int32_t ids[3];  // 0, 9, 10
};

struct alignas(16) VLMLimbGoalBlock {
    VLMTransformTQS slots[2];  // the limb's end effector, its extremity effector
    VLMVector4 lanes[2];
    VLMTransformTQS frame;  // the extremity's floor frame
};

struct alignas(16) VLMLimbContactRecord {
    VLMTransformTQS slots[8];  // end, extremity, six digit effectors
    VLMVector4 lanes[8];
    VLMTransformTQS frame;
};

static_assert(sizeof(VLMSpineGoal) == 208 && offsetof(VLMSpineGoal, lanes) == 144 && offsetof(VLMSpineGoal, ids) == 192,
              "spine goal: three slots, three lane vectors, three ids");
static_assert(sizeof(VLMLimbGoalBlock) == 176 && offsetof(VLMLimbGoalBlock, lanes) == offsetof(VLMPairArray2, lanes) &&
                  offsetof(VLMLimbGoalBlock, frame) == sizeof(VLMPairArray2),
              "goal block: a two-entry pair array, then the frame");
static_assert(sizeof(VLMLimbContactRecord) == 560 &&
                  offsetof(VLMLimbContactRecord, lanes) == offsetof(VLMPairArray8, lanes) &&
                  offsetof(VLMLimbContactRecord, frame) == offsetof(VLMPairArray8, trailing),
              "contact record: an eight-entry pair array whose trailing pair is the frame's T and Q");

void VLMInitSpineGoal(VLMSpineGoal* goal);
void VLMResetSpineGoalSlots(VLMSpineGoal* goal);
void VLMInitLimbGoalBlock(VLMLimbGoalBlock* block);
void VLMInitLimbContactRecord(VLMLimbContactRecord* record);

// T, Q and lanes of the named effectors; slot scales are left.
void VLMFillSpineGoal(VLMSpineGoal* goal, const VLMEffectorSetLayout* set);
void VLMFillLimbGoalBlock(VLMLimbGoalBlock* block, const VLMExtremity* extremity, const VLMEffectorSetLayout* set);
void VLMStoreLimbGoalBlock(const VLMLimbGoalBlock* block, const VLMExtremity* extremity, VLMEffectorSetLayout* set);
void VLMCopyLimbGoalBlockGoals(VLMLimbGoalBlock* destination, const VLMLimbGoalBlock* source);
void VLMFillLimbContactRecord(VLMLimbContactRecord* record, const VLMExtremity* extremity,
                              const VLMEffectorSetLayout* set);
// Roll-capture flag, stage word, hand pulls, extremity frames' T and Q and the
// roll-angle block; effector transforms, lanes and measurements are left.
void VLMCopyEffectorSetSettings(VLMEffectorSetLayout* destination, const VLMEffectorSetLayout* source);

// Rigid moves. Only the 44-record form scales: T := t + R(q)(s * T); the
// others T := t + R(q) T. Rotations Q := q (x) Q, not renormalised.
void VLMTransformEffectorTranslations(VLMEffectorSetLayout* set, const VLMVector4& t, const VLMVector4& q,
                                      const VLMVector4& s);
void VLMRotateEffectorRotations(VLMEffectorSetLayout* set, const VLMVector4& q);
void VLMTransformGoalBlockTranslations(VLMLimbGoalBlock* block, const VLMVector4& t, const VLMVector4& q);
void VLMRotateGoalBlockRotations(VLMLimbGoalBlock* block, const VLMVector4& q);
void VLMTransformContactRecordTranslations(VLMLimbContactRecord* record, const VLMVector4& t, const VLMVector4& q);
void VLMRotateContactRecordRotations(VLMLimbContactRecord* record, const VLMVector4& q);

#endif

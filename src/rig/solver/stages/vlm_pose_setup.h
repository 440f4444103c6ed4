// Solver, internal: reference poses of a state, the chest and neck readers, and
// the effectors computed from a pose. Everything works on the first node row
// of a state, without a guard (the entry points that wrap these guard
// themselves), allocates nothing and never fails.
//
// Chest node: the last present Spine1..9, else Spine. Neck end: the last
// present Neck1..9, else Neck.
#ifndef VLM_POSE_SETUP_H
#define VLM_POSE_SETUP_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// Node 0 at identity (not at its T-pose entry); every other present node at
// its T-pose translation with identity rotation and unit scale. Locals and
// absent nodes untouched.
void VLMSetStateToTPose(const VLMCharacter* character, VLMStateRow* rows);
// The T-pose, then every joint at zero Euler angles of its rotation definition.
void VLMSetStateToZeroPose(const VLMCharacter* character, VLMStateRow* rows);
// Global T, Q, S of every present node's row := its T-pose entry, and back.
void VLMCopyTPoseToRows(const VLMCharacter* character, VLMStateRow* rows);
void VLMCopyRowsToTPose(VLMCharacter* character, const VLMStateRow* rows);
void VLMSetRowScalesFromTPose(const VLMCharacter* character, VLMStateRow* rows);

int VLMChestNodeId(const VLMCharacter* character);
int VLMNeckEndNodeId(const VLMCharacter* character);
VLMVector4* VLMGetChestRotation(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows);
VLMVector4* VLMGetNeckEndRotation(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows);
// The shoulder midpoint when both shoulders are present, else the arm
// midpoint; plus the offset turned by the chest rotation.
VLMVector4* VLMGetChestEndPosition(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows,
                                   const VLMVector4& offset);

// One effector from the pose: identity, then by the effector's kind (hips,
// chest end, digit, body node). The scale stays 1.
void VLMComputeEffectorFromPose(const VLMCharacter* character, VLMVector4& t, VLMVector4& q, VLMVector4& s,
                                const VLMStateRow* rows, int effectorId, const VLMPropertySetState* properties);
void VLMComputeEffectorsFromPose(const VLMCharacter* character, VLMEffectorSetLayout* set, const VLMStateRow* rows,
                                 const VLMPropertySetState* properties);
// The three slots of a spine goal, each for the id stored after the lanes.
void VLMComputeEffectorTripleFromPose(const VLMCharacter* character, VLMSpineGoal* goal, const VLMStateRow* rows,
                                      const VLMPropertySetState* properties);
// The extremity's end and extremity effectors.
void VLMComputeExtremityEffectorPairFromPose(const VLMCharacter* character, const VLMExtremity* extremity,
                                             VLMTransformTQS* endRecord, VLMTransformTQS* extremityRecord,
                                             const VLMStateRow* rows, const VLMPropertySetState* properties);
// The extremity's eight effectors into the record's slots; with blend set,
// each result moves toward the slot's stored value by lanes 0 (T) and 1 (Q)
// of the slot's lane vector: weight 0 gives the pose value, 1 keeps the
// stored one.
void VLMComputeExtremityEffectorsFromPose(const VLMCharacter* character, const VLMExtremity* extremity,
                                          VLMLimbContactRecord* record, const VLMStateRow* rows, bool blend,
                                          const VLMPropertySetState* properties);

#endif

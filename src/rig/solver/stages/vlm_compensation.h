// Solver, internal: body measurements, the actor compensation that adapts the
// effectors to the target's body and places its hips, and the stance offsets
// of the quadruped posture.
//
// "In effect" and "Auto" are VLMIsPropertyInEffect and VLMIsPropertyAuto by
// table entry. Body measurements: M0 hip width, M1 leg length, M2 ankle height.
#ifndef VLM_COMPENSATION_H
#define VLM_COMPENSATION_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

void VLMMeasureSourceBody(const VLMCharacter* source, VLMEffectorSetLayout* set, const VLMStateRow* rows,
                          const VLMPropertySetState* properties);
// Mirror, actor space and scale, hips height, ankle height and proximity and
// mass-centre compensations on the effectors; then the hips placed on the
// hips effector and all globals recomputed. t, q, s receive the actor transform.
void VLMApplyActorCompensation(const VLMCharacter* target, VLMEffectorSetLayout* set, VLMStateRow* rows,
                               const VLMPropertySetState* properties, VLMVector4& t, VLMVector4& q, VLMVector4& s);

// The twelve table nodes turned by o = qz (x) qy (x) qx in the world frame
// (conj(o) to remove), the nodes between them keeping their local relations.
void VLMApplyStanceOffsets(const VLMCharacter* character, VLMStateRow* rows);
void VLMRemoveStanceOffsets(const VLMCharacter* character, VLMStateRow* rows);
// The stance offsets when Posture rounds to 1 (quadruped).
void VLMApplyPostureStance(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties);

#endif

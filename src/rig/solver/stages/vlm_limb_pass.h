// Solver, internal: the per-limb stages that bring a hand or foot into play:
// the limb pass (floor contact, the chain toward the contact-corrected goals,
// the digits), the contact sync that rewrites the effector set's goals, and
// the digit pass alone. Limb k works on extremity VLMLimbExtremity[k].
#ifndef VLM_LIMB_PASS_H
#define VLM_LIMB_PASS_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"
#include "rig/vlm_quat_utils.h"

void VLMSolveLimb(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                  const VLMPropertySetState* properties, const VLMLimb* limb);
void VLMSolveLimbContactSync(const VLMCharacter* character, VLMEffectorSetLayout* set,
                             const VLMPropertySetState* properties, const VLMLimb* limb);
void VLMSolveLimbDigits(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                        const VLMPropertySetState* properties, const VLMLimb* limb);
void VLMSolveExtremityDigits(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                             const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag,
                             const VLMPropertySetState* properties);
// Floor-contact blending of a goal block: kind 2 (weight s) and kind 1
// (weight 1 - s) in the hand's or foot's frame, then the lanes by contact type.
void VLMLimbContactPass(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                        const VLMPropertySetState* properties);
// a's two transforms toward b's: translations by weights[i].x, rotations by
// weights[i].y (sign-bit hemisphere rule).
void VLMBlendGoalPair(VLMLimbGoalBlock* a, const VLMLimbGoalBlock* b, const VLMVector4 weights[2]);

void VLMInitGoalPair(VLMPairArray2* record);
void VLMInitGoalQuad(VLMPairArray4* record);
void VLMInitGoalOctet(VLMPairArray8* record);

#endif

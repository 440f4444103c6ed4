// Solver, internal: the neck and head stage. The head turns toward the head
// effector's rotation with the correction spread over the neck, the neck
// chain (Neck, Neck1..NeckN, Head) bends and optionally stretches so that the
// head reaches toward the effector's position, then the head's own rotation
// blends toward the effector.
#ifndef VLM_NECK_H
#define VLM_NECK_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

constexpr int VLM_NECK_CHAIN_MAX = 12;  // Neck, Neck1..Neck9, Head

void VLMSolveNeckHead(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties);
void VLMAimNeckAtRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                          const VLMVector4& stiffness);
void VLMSolveNeckStretch(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target,
                         const VLMPropertySetState* properties);
// Global translations of Neck, Neck1..NeckN and Head; their count, or 0 (and
// nothing written) when Head or Neck is absent.
int VLMGatherNeckChainPositions(const VLMCharacter* character, VLMVector4* points, const VLMStateRow* rows);
// The summed lengths of the segments between consecutive points: for the
// gathered neck chain, the distance Neck to Head along the chain.
float VLMPointChainLength(const VLMVector4* points, int count);
void VLMApplyNeckChainPositions(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4* points,
                                const VLMVector4& scale);
// Without a Head node the blend lands on the spare row.
void VLMBlendHeadRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set);
// One pass, joints count - 2 down to 0: the points after each joint turned
// about it toward the target by its share |end - joint|^2 / squared length.
void VLMRotatePointChainTowardTarget(VLMVector4* points, int count, const VLMVector4& squaredLength,
                                     const VLMVector4& target);

#endif

// Velmora rig library, pose-state layer: the full-body retargeting solve.
//
// VLMSolve takes the source pose to the 44 effectors of the effector set,
// transfers the pose onto the target character, adapts the effectors to the
// target's body, places the target's hips, fills the blend lanes from the
// target's properties and runs the stages the set's stage word selects
// (VLMSolveStageBits; a stage word of 0 places the hips from the hips
// effector instead). VLMSolvePrepare runs the first half without the transfer
// and without any stage; VLMSolveStages runs the stages alone on a pose the
// caller has prepared.
//
// Each entry runs under the floating-point guard (the caller's control word
// comes back unchanged), allocates nothing and never writes the stage word.
// Null blocks, and states whose node count is not their character's, change
// nothing.
#ifndef VLM_SOLVE_H
#define VLM_SOLVE_H

#include "rig/vlm_base.h"
#include "rig/vlm_property.h"
#include "rig/solver/vlm_stage_bits.h"

VLM_API void VLMSolve(const VLMCharacter* target, VLMCharacterState* targetState, const VLMCharacter* source,
                      const VLMCharacterState* sourceState, VLMEffectorSetState* set,
                      const VLMPropertySetState* targetProperties, const VLMPropertySetState* sourceProperties);
VLM_API void VLMSolvePrepare(const VLMCharacter* target, VLMCharacterState* targetState, const VLMCharacter* source,
                             const VLMCharacterState* sourceState, VLMEffectorSetState* set,
                             const VLMPropertySetState* targetProperties, const VLMPropertySetState* sourceProperties);
VLM_API void VLMSolveStages(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetState* set,
                            const VLMPropertySetState* properties);

#endif

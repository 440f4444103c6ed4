// Solver, internal: the stage wrappers of the solve pipeline and the plain
// hips placement of a stage word of 0. Each wrapper tests its own bits of the
// effector set's stage word (through the tables of vlm_stage_bits.h) and runs
// its stage on the state's first node row; none has a guard of its own.
#ifndef VLM_STAGES_H
#define VLM_STAGES_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

void VLMStageCaptureRoll(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties);
void VLMStageContactSync(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties);
void VLMStageBody(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                  const VLMPropertySetState* properties);
void VLMStageShouldersAndLimbs(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                               const VLMPropertySetState* properties);
void VLMStageDigits(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                    const VLMPropertySetState* properties);
void VLMStageNeckHead(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties);
void VLMStageLimbs(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                   const VLMPropertySetState* properties);
void VLMStageHipsTrajectory(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                            const VLMPropertySetState* properties);
void VLMStageRollDistribution(const VLMCharacter* character, VLMCharacterState* state, VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties);

// A stage word of 0: the hips toward the hips effector by its reach lanes
// (sign-bit hemisphere rule), the up-leg midpoint on the goal, then every global.
void VLMPlaceHipsFromEffector(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties);
// PullIterationCount rounded to the nearest integer and held to its range
// [0, 30] (a huge count would otherwise mean that many iterations).
int VLMPullIterationCount(const VLMPropertySetState* properties);

#endif

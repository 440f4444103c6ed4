// Solver, internal: the shoulder's part of the shoulder stage. Sides are
// VLM_ARM_SIDE_LEFT (LeftShoulder 18, LeftShoulderExtra 170, LeftArm 9) and
// VLM_ARM_SIDE_RIGHT (19, 171, 12).
#ifndef VLM_SHOULDER_H
#define VLM_SHOULDER_H

#include "rig/solver/stages/vlm_sides.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// Unit direction from the arm joint to the fore-arm joint; the zero vector
// when they coincide.
VLMVector4* VLMGetUpperArmDirection(const VLMCharacter* character, VLMVector4* out, const VLMStateRow* rows,
                                    VLMArmSide side);
// The direction into out when the shoulder exists and ShoulderCorrection > 0.
void VLMCaptureUpperArmDirection(const VLMCharacter* character, const VLMStateRow* rows,
                                 const VLMPropertySetState* properties, VLMVector4* out, VLMArmSide side);
// The shoulder corrected from the arm's move, then the arm's limited chain solve.
void VLMSolveShoulderArm(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties, const VLMVector4& captured, VLMArmSide side);
void VLMCorrectShoulderFromArm(const VLMCharacter* character, VLMStateRow* rows, VLMArmSide side,
                               const VLMVector4& weight, const VLMVector4& share, const VLMVector4& captured,
                               bool clamp);
// The collar turned so that the arm joint points at the target: the shoulder
// takes (1 - share) of the turn and the extra node share, the stiffness pulls
// both back toward their angles before the turn.
void VLMAimCollarAtPoint(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& target, int shoulder,
                         int arm, const VLMVector4& share, const VLMVector4& stiffness);

#endif

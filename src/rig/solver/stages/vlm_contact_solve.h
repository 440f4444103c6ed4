// Solver, internal: the floor-contact sub-solvers of a hand or foot. They take
// a goal block expressed in the extremity's floor frame (+y up, the floor at
// the y of the block's frame translation) and change only its end goal (A)
// and extremity goal (B): kind 0 clamps their heights, kind 1 rolls the
// carrying goal onto the floor (and the front part about its hinge), kind 2
// lifts the contact shape above the floor.
//
// Matrices are four rows (three axes scaled, then the translation with w 1);
// a point maps as (x, y, z, 1) x N.
#ifndef VLM_CONTACT_SOLVE_H
#define VLM_CONTACT_SOLVE_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

void VLMRunLimbSubSolver(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         int kind, const VLMPropertySetState* properties);
void VLMClampContactHeights(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                            const VLMPropertySetState* properties);
void VLMSolveContactRoll(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties);
void VLMLiftContactShape(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties);
void VLMContactRollStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                        const VLMPropertySetState* properties);
// One step of the front part onto the floor by tilting the triangle of the
// base joint and the front points, held to the hinge. Kind 1 does not run it:
// near a part pointing down it swings the part far between close poses.
void VLMContactFrontStep(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                         const VLMPropertySetState* properties, const VLMVector4& restRotation);
// The front part (B) turned about its hinge toward the floor, within its range
// against the end goal, all the way where one sense clearly wins and by less
// only where the two senses nearly tie, so the turn never jumps; both goals
// then rise by what the turn leaves of the front below the floor. Kind 1 runs
// it, in place of front steps, when the front part carried with the roll
// leaves a front point below the floor.
void VLMLiftFrontAboutHinge(const VLMCharacter* character, const VLMExtremity* extremity, VLMLimbGoalBlock* block,
                            const VLMPropertySetState* properties);

// Axes X (the unit normal), Y, Z and the centroid of a triangle; the identity
// axes when the points are collinear.
VLMVector4* VLMTriangleFrame(VLMVector4 out[4], const VLMVector4& a, const VLMVector4& b, const VLMVector4& c);
VLMVector4& VLMVector4Normalize(VLMVector4& out, const VLMVector4& v);
VLMVector4& VLMQuatConjugateMultiply(VLMVector4& out, const VLMVector4& a, const VLMVector4& b);
// 2 (u.v) u + (2 w^2 - 1) v + 2 w (u x v) for q = (u, w).
VLMVector4& VLMQuatRotateVector(VLMVector4& out, const VLMVector4& q, const VLMVector4& v);
// out = B x transpose(A).
VLMMatrix44& VLMMatrixMultiplyTransposed(VLMMatrix44& out, const VLMMatrix44& a, const VLMMatrix44& b);
// out = B x inverse(A) by cofactors; false, out untouched, for a singular A.
bool VLMMatrixMultiplyInverse(VLMMatrix44& out, const VLMMatrix44& a, const VLMMatrix44& b);

#endif

// Solver, internal: digits. On the floor (digit contact on), each digit's
// target in a contact record is kept out of the floor by the contact mode
// ("Sticky", "Spread", "Sticky & Spread") with the move along the digit's bend
// axis held back by the roll stiffness; the per-digit pass then straightens a
// backward-bent middle joint, turns the digit toward its goal rotation and
// swings and bends it toward its goal translation. Every joint change is
// committed (local from global, limit clamp, the subtree's globals).
//
// Goals: `records` and `lanes` are the effector set's (digit-contact flag 0,
// indexed by the digit's effector id) or a contact record's (flag 1, indexed
// by 2 + digit).
#ifndef VLM_DIGITS_H
#define VLM_DIGITS_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// --- Digit chains on the floor ---------------------------------------------------------

void VLMSolveDigitChains(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                         VLMLimbContactRecord* record, const VLMPropertySetState* properties);
void VLMApplyDigitContact(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                          int digit, const VLMVector4& floor, VLMVector4& target, const VLMVector4& reach,
                          const VLMPropertySetState* properties);
void VLMDigitContactSticky(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                           int digit, const VLMVector4& floor, VLMVector4& target,
                           const VLMPropertySetState* properties);
void VLMDigitContactSpread(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                           int digit, const VLMVector4& floor, VLMVector4& target, const VLMVector4& reach,
                           const VLMPropertySetState* properties);
VLMVector4* VLMDigitLength(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                           const VLMStateRow* rows, int digit);
// The tip joint's size times its mean global scale.
float VLMDigitTipRadius(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                        int digit, const VLMPropertySetState* properties);

// --- Per-digit pass -------------------------------------------------------------------------

void VLMSolveDigit(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                   const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit);
void VLMStraightenDigitJoint(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                             int digit);
void VLMReachDigitRotation(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                           const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag,
                           int digit);
void VLMReachDigitPosition(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows,
                           const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag,
                           int digit);
VLMVector4* VLMDigitDirectionRotation(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                      const VLMStateRow* rows, int digit);
VLMVector4* VLMDigitTipPosition(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                const VLMStateRow* rows, int digit);
VLMVector4* VLMDigitProximalLength(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                                   const VLMStateRow* rows, int digit);
void VLMRotateDigitRoot(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows, int digit,
                        const VLMVector4& q);
VLMVector4* VLMDigitBendAngle(const VLMCharacter* character, VLMVector4* out, const VLMExtremity* extremity,
                              const VLMStateRow* rows, int digit, const VLMVector4& q);
void VLMBendDigitMiddle(const VLMCharacter* character, const VLMExtremity* extremity, VLMStateRow* rows, int digit,
                        const VLMVector4& target);
// The curled joint-2 target for a goal point P (in, with the target out): at
// a distance h from the root that opens with P's distance (up to the chain's
// full length to joint 2), turned away from the direction to P toward the
// side joint 2 curls to by the root angle of the triangle (h, |P - root|
// capped at h + l3, l3), so that the last bone can span the rest.
void VLMBlendDigitTarget(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                         int digit, const VLMVector4& goal, VLMVector4& target);
// Where joint 2 must go for the tip to reach the goal: the rotation-following
// and the curled targets blended by the reach-rotation lane, held within the
// proximal length of the root.
VLMVector4 VLMDigitJointTarget(const VLMCharacter* character, const VLMExtremity* extremity, const VLMStateRow* rows,
                               int digit, const VLMVector4& goal, float reachRotation);
VLMVector4* VLMDigitGoal(const VLMCharacter* character, VLMVector4* lane, const VLMExtremity* extremity,
                         const VLMTransformTQS* records, const VLMVector4* lanes, std::uint8_t contactFlag, int digit,
                         VLMVector4* translation);

#endif

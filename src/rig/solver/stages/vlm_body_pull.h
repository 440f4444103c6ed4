// Solver, internal: the full-body pull. The limbs' and the head's effectors
// pull the hips and the chest over N + 2 iterations, each running the spine
// squash-and-stretch toward the pulled goals.
//
// The pull algebra: limb j's pull is its direction
// times VLMSoftExcess(pull length, a_j, b_j, powered stiffness k_j, its knee or
// elbow compression factor, pull total P_j) times the hold factor 1 - pull x
// reach of its hip or shoulder effector; the head's is its direction times
// VLMSoftExcess(|v|, head distance, neck length, powered head stiffness, 1,
// head pull weight). Legs act on the hips, arms and head on the chest end.
// Each iteration (progress t) adds to the hips' shift (p0 + p1)(0.5 + 0.5 t) and
// to their turn the legs' arcs scaled by 0.3 + 0.7 t, to the chest end's shift
// (p2 + p3)(0.6 + 0.4 t) + p_head (0.7 + 0.3 t) and to its turn the arms' arcs
// scaled by 0.4 + 0.6 t and the head's by 0.7 + 0.3 t; every move is scaled by
// 1 - rho, rho the hips or chest-end effector's resist lane (2 for position, 3
// for orientation). The spine stretch then runs toward the reach-blended
// goals moved by the shifts and turns accumulated so far, so that the body
// pull, like the spine-only pass, also brings hips and chest to their
// effectors, while the pulls of all iterations add up (the powered
// stiffnesses shrink as the iteration count grows). An arc is the shortest arc (root - centre) to
// (root - centre + pull) with its vector part scaled and renormalised; the arcs
// of one goal are combined by adding their vector parts (each taken in the
// identity's hemisphere by a VLMDot4 sign test). The spine stretch's
// pre-rotation weight is 0.5 (1 - t). VLMCorrectHips runs with weights
// (1, 0, 1, 1) before the iterations and (rho_T0, 0, rho_R0, rho_R10) after them.
#ifndef VLM_BODY_PULL_H
#define VLM_BODY_PULL_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// iterations: PullIterationCount as an integer (capped at its maximum, 30);
// stretch flags of limbs 0..3 (stage bits 19, 20, 17, 18). Between the
// iterations only the trunk's globals are kept up to date; at the end every
// global below the hips is, unless refreshBelowHips is false (for a caller
// whose next step recomputes every global anyway).
void VLMSolveBodyPull(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                      const VLMPropertySetState* properties, int iterations, bool spine, bool stretchLeftLeg,
                      bool stretchRightLeg, bool stretchLeftArm, bool stretchRightArm, bool refreshBelowHips = true);
// Head distance |Head - Neck| now, neck length the Neck-to-Head chain's
// length (both 0 without Neck or Head); the head effector's pull weight
// (pull x reach translation) and stiffness, broadcast.
void VLMMeasureNeck(const VLMCharacter* character, VLMVector4& headDistance, VLMVector4& neckLength,
                    VLMVector4& headPull, VLMVector4& headStiffness, const VLMStateRow* rows,
                    const VLMEffectorSetLayout* set);
void VLMHeadPullTarget(const VLMCharacter* character, VLMVector4& length, VLMVector4& direction,
                       const VLMStateRow* rows, const VLMEffectorSetLayout* set);
// a's slots move toward b's by the lanes (reach translation, reach rotation).
void VLMBlendSpineGoals(VLMSpineGoal* a, const VLMSpineGoal* b, const VLMVector4* lanes);
// weights: hips translation, chest translation, hips rotation, chest rotation.
void VLMCorrectHips(const VLMCharacter* character, VLMStateRow* rows, const VLMSpineGoal* a, const VLMSpineGoal* b,
                    const VLMVector4& weights, const VLMVector4& offset);
// k^e through VLMPow; 0 for k = 0 (e >= 1 here).
VLMVector4 VLMPoweredStiffness(const VLMVector4& k, float e);

inline void VLMDot4(VLMVector4& out, const VLMVector4& a, const VLMVector4& b) { out = VLMVector4Dot4(a, b); }
inline void VLMSetLaneX(VLMVector4& v, float x) { v.x = x; }
inline void VLMCopyLanesZW(VLMVector4& to, const VLMVector4& from)
{
    to.z = from.z;
    to.w = from.w;
}

#endif

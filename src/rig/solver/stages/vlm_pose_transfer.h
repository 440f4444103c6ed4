// Solver, internal: pose transfer between characters. The target is rebuilt
// from its own T-pose and the source's stored global rotations (each relative
// to the node's T-pose rotation, so copying it copies how far the node turned);
// where the skeletons differ the rotation is spread along spine, neck and digit
// chains, blended into shoulders, and limbs whose bone inversion differs are
// flipped onto the target's side.
//
// Reference transforms: the source's rotations are copied as the source state
// holds them and the target's own node 0 is applied on top of its T-pose, so a
// reference transform shared by both characters is applied twice (the
// effectors, taken from the source's globals, carry it once more).
//
// Everything works in place on first node rows, without a guard: the pipeline
// and the API entry VLMTransferPoseWithScaleAndOffset (rig/solver/vlm_transfer.h,
// defined beside it) guard.
#ifndef VLM_POSE_TRANSFER_H
#define VLM_POSE_TRANSFER_H

#include "rig/solver/stages/vlm_sides.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

void VLMTransferPose(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                     const VLMStateRow* sourceRows, const VLMPropertySetState* properties);

// World-frame correction c spread over Spine..chest: the chest receives all of
// it, Spine b/(b + m) of it, b = 2 m weight.x + 0.5, m the Spine1..N count.
void VLMDistributeSpineRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& correction,
                                const VLMVector4& weight);
// The same over Neck..neck end: Neck t, NeckN (i + 2) t, t = weight.x^4 A / (k + 3).
void VLMDistributeNeckRotation(const VLMCharacter* character, VLMStateRow* rows, const VLMVector4& correction,
                               const VLMVector4& weight);
// The target digit rebuilt from its locals, then its joints 1..n-1 turned by
// j / (n - 1) of the correction toward the source digit's last joint, so that
// the last joint ends on the source's (limits permitting); joint 0 stays.
void VLMAlignDigitChain(const VLMCharacter* target, const VLMCharacter* source, VLMStateRow* targetRows,
                        const VLMStateRow* sourceRows, int sourceExtremity, int targetExtremity, int sourceDigit,
                        int targetDigit);
// The shoulder's (and with extra, its extra node's) Euler angles moved toward
// target angles by per-axis weights.
void VLMBlendShoulderEuler(const VLMCharacter* character, int shoulder, VLMStateRow* rows, const VLMVector4& weights,
                           bool extra, const VLMVector4& shoulderAngles, const VLMVector4& extraAngles);
// Re-solves one limb with its bend flipped about the bend axis, the end kept.
void VLMFlipLimb(const VLMCharacter* character, VLMStateRow* rows, const VLMPropertySetState* properties,
                 VLMLimbIndex limb);

#endif

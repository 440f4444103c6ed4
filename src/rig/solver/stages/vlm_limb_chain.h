// Solver, internal: the limb chain solve. One limb (leg or arm) follows up to
// four effectors (upper, middle, end, extremity) on a private copy of its
// seven rows: up to three alternative solutions from the same start pose,
// driven by the middle, the end and the extremity effector, are blended by
// weights from the effectors' blend lanes. A squash-and-stretch form scales
// the bones toward goals out of reach.
//
// Everything runs without a guard of its own, inside the caller's (the solve
// pipeline's, or a test's VLMScopedFPGuard), allocates nothing and keeps its
// work records on the stack. Work rows are indexed by VLMLimbSlot; the limb's
// seven node records form the tree over them (absent nodes are not linked and
// keep identity rows). A limb whose upper, middle or end node is absent is
// left alone by every entry.
//
// Frames: the bend axis of a limb is given in the frame of its upper-side
// joint (the upper roll when it exists, else the upper joint) and carried into
// world space by that joint's global rotation. The extension correction e of
// VLMLimbExtensionGeometry is kept in the same frame; wherever it turns the
// upper joint it is first carried into world space by the upper-side joint's
// current rotation, so that undoing it at the finish is a twist about the
// upper segment where that segment now lies.
#ifndef VLM_LIMB_CHAIN_H
#define VLM_LIMB_CHAIN_H

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

#include <cstddef>
#include <cstdint>

// The goal of one chain solve: slots 0..3 (upper, middle, end, extremity
// effector; scales not read), their blend lanes, then six parameter words.
struct alignas(16) VLMLimbChainGoal {
    VLMTransformTQS slots[4];
    VLMVector4 lanes[4];
    float resistExtension;    // value of the resist-maximum-extension entry
    float maxExtensionAngle;  // degrees; 180 until read
    float stretchReach;       // value of the squash-and-stretch reach entry
    std::uint32_t rollFlag;   // the effector set's roll-capture flag
    float realisticKnee;      // value of the realistic-knee entry, 0 for arms
    std::uint32_t killPitch;  // 1 when the kill-pitch switch is in effect
};
static_assert(sizeof(VLMLimbChainGoal) == 288 && offsetof(VLMLimbChainGoal, lanes) == 192 &&
                  offsetof(VLMLimbChainGoal, resistExtension) == 256 &&
                  offsetof(VLMLimbChainGoal, maxExtensionAngle) == 260 &&
                  offsetof(VLMLimbChainGoal, stretchReach) == 264 && offsetof(VLMLimbChainGoal, rollFlag) == 268 &&
                  offsetof(VLMLimbChainGoal, realisticKnee) == 272 && offsetof(VLMLimbChainGoal, killPitch) == 276,
              "limb chain goal: four slots, four lane vectors, six parameter words");

// The seven work rows, laid out as state rows.
struct alignas(16) VLMLimbChainJoints {
    VLMStateRow rows[VLM_LIMB_SLOT_COUNT];
};
static_assert(sizeof(VLMLimbChainJoints) == 672, "seven 96-byte rows");

// The pass weights of the core and the shares they are built from.
struct VLMLimbPassWeights {
    float middle, end, extremity;  // W1, W2, W3
    float a1, a2, a3, m;
};

// What the bend preparation hands to the finish: the bend frame f0, the half
// angle of the twist it was built from (sin in x, y, z, cos in w) and the
// extension correction e (in the upper-side joint's frame).
struct VLMLimbBendState {
    VLMVector4 frame;
    VLMVector4 twist;
    VLMVector4 extension;
};

// --- Entries ------------------------------------------------------------------------

// The chain core with the character's rotation limits, goals from the effector set.
void VLMSolveLimbChainLimited(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                              const VLMPropertySetState* properties, const VLMLimb* limb);
// Squash and stretch of the limb's bones.
void VLMStretchLimbChain(const VLMCharacter* character, VLMStateRow* rows, const VLMEffectorSetLayout* set,
                         const VLMPropertySetState* properties, const VLMLimb* limb);
// The chain core with the end and extremity goals and their reach lanes taken
// from a goal block; the limb is foot left 0, foot right 1, hand left 2, hand
// right 3.
void VLMSolveLimbChainTargets(const VLMCharacter* character, VLMStateRow* rows, const VLMLimbGoalBlock* block,
                              const VLMPropertySetState* properties, bool isFoot, bool isLeft);

// After a scatter, on the full state: locals from the upper joint down to the
// tip (the end without a tip), then globals below the end; with scale, the
// TQS chain and tree forms.
void VLMLimbChainRederive(const VLMCharacter* character, VLMStateRow* rows, const VLMLimb* limb, bool withScale);

// --- Records ------------------------------------------------------------------------

void VLMLimbChainInitGoal(VLMLimbChainGoal* goal);
// Global T, Q, S of each present joint, into and out of the work rows.
void VLMLimbChainGatherRows(const VLMLimb* limb, VLMStateRow* work, const VLMStateRow* rows);
void VLMLimbChainScatterRows(const VLMLimb* limb, const VLMStateRow* work, VLMStateRow* rows);
// The roll-capture flag; T, Q and lanes of each slot's effector.
void VLMLimbChainGatherEffectors(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMEffectorSetLayout* set);
void VLMLimbChainReadProperties(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMPropertySetState* properties);
// Each slot takes the global T, Q, S of its slot joint.
void VLMLimbChainGoalFromJoints(const VLMLimb* limb, VLMLimbChainGoal* goal, const VLMStateRow* work);
void VLMLimbChainCopyLocalRotations(const VLMStateRow* work, VLMVector4 out[VLM_LIMB_SLOT_COUNT]);
// The six parameter words of b into a.
void VLMLimbChainCopyParameters(VLMLimbChainGoal* a, const VLMLimbChainGoal* b);

// --- Core and passes ----------------------------------------------------------------
// `rotations` are the character's rotation records: the steps "with limits"
// clamp through them.

VLMLimbPassWeights VLMLimbChainPassWeights(const VLMLimb* limb, const VLMLimbChainGoal* goal);
void VLMLimbChainCore(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                      const VLMRotationRecord* rotations);
void VLMLimbPassMiddle(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                       const VLMRotationRecord* rotations);
void VLMLimbPassEnd(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                    const VLMRotationRecord* rotations);
void VLMLimbPassExtremity(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                          const VLMRotationRecord* rotations);

// --- Steps --------------------------------------------------------------------------
// A null `limits` runs a step without limits.

// Slot's joint toward the slot's goal rotation by its reach-rotation lane.
void VLMLimbOrientJoint(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, int slot,
                        const VLMRotationRecord* limits);
// Joint turned so that the slot's joint moves toward the slot's goal
// translation by its reach-translation lane.
void VLMLimbAimJoint(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal, int joint, int slot,
                     const VLMRotationRecord* limits);
// Two-bone law of cosines about the bend axis toward the end goal's distance.
void VLMLimbBendMiddle(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                       const VLMRotationRecord* rotations);
void VLMLimbRealisticKnee(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                          const VLMRotationRecord* rotations);
void VLMLimbPrepareBend(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                        const VLMRotationRecord* rotations, VLMLimbBendState* state);
void VLMLimbFinishRolls(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                        const VLMRotationRecord* rotations, const VLMLimbBendState* state);
// The turn by the end joint's local twist about the middle record's bone axis,
// taken about the middle segment's current world axis (end - middle).
void VLMLimbBendFrame(const VLMLimb* limb, VLMVector4& out, const VLMStateRow* work);
// The half angle of that twist: (sin, sin, sin, cos).
VLMVector4 VLMLimbBendTwist(const VLMLimb* limb, const VLMStateRow* work);
// The turn by a kept half angle about the middle segment's current world axis.
VLMVector4 VLMLimbBendFrameAbout(const VLMStateRow* work, const VLMVector4& twist);
// The correction that brings the bend plane onto the bend axis, in the
// upper-side joint's frame.
void VLMLimbExtensionGeometry(const VLMLimb* limb, VLMVector4& out, const VLMStateRow* work);
// The upper joint turned about the upper-to-end line toward the plane in
// which the middle goal lies; `goal` is the pass's start goal (its end goal
// not yet limited or re-placed), which gives the goals' own upper-to-end line.
void VLMLimbAlignBendPlane(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                           const VLMRotationRecord* rotations);
void VLMLimbAlignBendPlaneEnd(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                              const VLMRotationRecord* rotations);
// The upper-to-end distance with the middle joint opened to `angleDegrees`.
float VLMLimbMaxReach(const VLMLimb* limb, const VLMStateRow* work, float angleDegrees,
                      const VLMRotationRecord* rotations);
// Limits the slot 2 goal translation to the reach R and the resistance to
// full extension.
void VLMLimbExtensionLimit(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal, float reach);
void VLMLimbSolveMiddleGoal(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal);
void VLMLimbPlaceEndForExtremity(const VLMLimb* limb, const VLMStateRow* work, VLMLimbChainGoal* goal, float reach);
void VLMLimbStretch(const VLMLimb* limb, VLMStateRow* work, const VLMLimbChainGoal* goal,
                    const VLMPropertySetState* properties);
// Mirrors the limb's bend about its bend axis, keeping the end in place.
void VLMLimbFlipBend(const VLMLimb* limb, VLMStateRow* work, const VLMRotationRecord* rotations);

// The bend axis in world space: the limb's axis turned by the upper-side
// joint's global rotation.
VLMVector4 VLMLimbWorldBendAxis(const VLMLimb* limb, const VLMStateRow* work);
// Whether the limb has its upper, middle and end nodes.
bool VLMLimbIsComplete(const VLMLimb* limb);

#endif

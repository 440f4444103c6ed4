// Velmora rig library: rest-pose characterization.
//
// After the rest geometry of a new character is written (T-pose entries,
// rotation records, parent offsets), the characterization gives every node its
// reference frame in the rest pose: the rotation part of its node record gets
// a pre-rotation, a post-rotation whose first axis points along the bone, a
// rotation order and default limits. It also folds the rest rotations into
// the user's rotation records, fills the node slots of the four limb blocks
// and computes each limb's bend axis.
//
// The joint-geometry transfer runs it once, right after writing the rest
// geometry and before applying the four bone-inversion flags; a flag that
// changes value re-runs only the frame step of its own limb.
#ifndef VLM_CHARACTERIZE_H
#define VLM_CHARACTERIZE_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstdint>

// One segment of the built-in reference humanoid (about 177 cm tall, points in
// cm, +Y up, +Z forward, the character's left on +X). The characterization
// reads only the axis (the hint that fixes the frame's second axis), the Euler
// angles of the pre-rotation (degrees, order XYZ), the limits (degrees) and
// the spheric flag (order 12 when set, else 0).
struct VLMReferenceSegment {
    float start[3];
    float end[3];
    float axis[3];
    float euler[3];
    float minimum[3];
    float maximum[3];
    std::uint32_t spheric;
};
static_assert(sizeof(VLMReferenceSegment) == 19 * 4, "a reference segment is 19 words");

enum : int { VLM_REFERENCE_SEGMENT_COUNT = 21 };

// Rows: 0 hips, 1-4 left up leg, leg, foot, toes, 5-8 the same on the right,
// 9 spine, 10 chest, 11-14 left shoulder, arm, forearm, hand, 15-18 the same on
// the right, 19 neck, 20 head. Negative zeros are kept as stored.
// Returns the first of the VLM_REFERENCE_SEGMENT_COUNT rows; the table never changes.
VLM_API const VLMReferenceSegment* VLMReferenceSkeleton();

// --- Entry points (under the floating-point guard) ----------------------------

// Characterizes the rest pose of a character whose rest geometry is written.
// True on success; false only for a null character. Meant to run once, on a
// character whose limbs are not inverted: a second run folds the rest
// rotations into the rotation records again, and a limb already marked
// inverted gets its bend axis reversed without its frames being mirrored. The
// joint-geometry transfer clears the four flags before it characterizes and
// sets them afterwards.
VLM_API bool VLMCharacterize(VLMCharacter* character);

// The bone-inverted flag of limb 0 left leg, 1 right leg, 2 left arm, 3 right
// arm. Setting a flag to the value it has does nothing; a change mirrors the
// limb's frames (upper and middle joint for a leg, middle joint for an arm) and
// recomputes its bend axis; setting it back restores them exactly. Any other
// limb index is ignored and reads as false.
VLM_API void VLMSetBoneInverted(VLMCharacter* character, int limb, bool inverted);
VLM_API bool VLMGetBoneInverted(const VLMCharacter* character, int limb);

// --- Steps of the characterization (no guard; results follow the caller's ----
// --- control word: VLMCharacterize runs them under the library's word) --------

// The whole run on a character with its rest geometry written: fold, body,
// spine and neck, head, digit and in-root frames, default limits, limb blocks.
// Answers true.
VLM_API bool VLMSetupFromJointGeometry(VLMCharacter* character);

// One node's frame. With a reference row (0..20): the row's rotation order,
// limits (radians) with all six limit bits, Euler pre-rotation, and the row's
// axis in place of the hint. Without one (row -1): order 12 when spheric is
// non-zero, else 0; limits untouched. Then the post-rotation (and, without a
// row, the pre-rotation too) becomes the rotation whose first axis is the
// direction and whose second axis is hint x direction, normalised. A direction
// of zero length, or one parallel to the hint, gives the identity instead
// (likewise directions too large or too small to normalise): a frame never
// holds NaN.
VLM_API void VLMSetupNodeFrame(VLMNodeRecord* record, const VLMVector4& direction, const VLMVector4& hint, int row,
                               std::uint32_t spheric);

// Default limits in degrees (all six limit bits set) and the rotation order;
// then a twist about the node's third post-rotation axis is put in front of
// the pre-rotation. A twist of 0 leaves the pre-rotation as it is.
VLM_API void VLMSetNodeRotationDefinitionDegrees(VLMNodeRecord* record, const float minimumDegrees[3],
                                                 const float maximumDegrees[3], VLMRotationOrder order,
                                                 float twistDegrees);

// Copies the rotation parts (and rotation-record indices) of the limb's upper,
// upper roll, middle, middle roll, end and tip node records into slots 1..6,
// then computes the bend axis.
VLM_API void VLMSetupLimbNodes(VLMLimb* limb, bool leg, bool left, VLMCharacter* character,
                               const VLMRotationRecord* rotationRecords);

// The bend axis: the third post axis of the middle joint (slot 3), signed by
// side (its x for a leg, its y for an arm, negated for the left arm), reversed
// when the limb is inverted, then expressed through the middle joint's
// rotation record when that record has limits.
VLM_API void VLMSetupLimbAxis(VLMLimb* limb, bool leg, bool left, const VLMRotationRecord* rotationRecords);

// Mirrors the pre-rotation of the middle node record, and for a leg of the
// upper node record too: the rotation R becomes M R M, M the reflection that
// negates z. Its first axis keeps x and y and negates z, it stays a proper
// rotation, and mirroring twice gives back the stored bits. Then recomputes
// the bend axis.
VLM_API void VLMSetupLimbFrame(VLMCharacter* character, bool leg, bool left, int upperNode, int middleNode,
                               VLMLimb* limb);

#endif

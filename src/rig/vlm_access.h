// Velmora rig library: per-node rest data of a character, addressed by rig
// node id.
//
//   T-pose           rest translation, rotation and scale of a node
//   parent offset    a fixed transform between a node and its parent
//   rotation         pre- and post-rotation, limits, limit-enable bits and
//   definition       rotation order of a node that has a rotation record
//   pose state and   copies into and out of the records of a
//   effector set     VLMCharacterState and a VLMEffectorSetState
//
// Every function declared VLM_API here runs under the floating-point guard
// (vlm_frame.h) and takes the character first and the node id second. The
// hierarchy queries (VLMGetParentNodeId, VLMGetChildNodeCount,
// VLMGetChildNodeId) and VLMGetNodeDefinitionBits live in vlm_character.h.
//
// Vectors and quaternions of the single forms are four floats x, y, z, w at
// any address; rotation limits are three values x, y, z. The double forms
// take and give four doubles per vector, narrowed to float (round to nearest)
// on the way in and widened on the way out. Limits are always passed as
// (minimum, maximum), whatever order a record stores them in.
//
// Absent nodes. The T-pose goes through the node map without a presence test:
// a node the character lacks reaches the spare entry that serves every absent
// node. The parent-offset and rotation-definition operations act only on a
// node that has that entry or record; otherwise setters write nothing and
// getters leave their outputs untouched. An id outside 0..171 is treated as an
// absent node: nothing outside the block is ever read or written.
#ifndef VLM_ACCESS_H
#define VLM_ACCESS_H

#include "rig/vlm_base.h"

#include <cstdint>

// --- T-pose ------------------------------------------------------------------

// Translation (w 0), rotation and scale (w 1) as stored.
VLM_API void VLMGetNodeTPose(const VLMCharacter* character, int id, float* t, float* q, float* s);
VLM_API void VLMGetNodeTPoseDouble(const VLMCharacter* character, int id, double* t, double* q, double* s);
// Translation := t with w 0, rotation := q as given, scale := s with w 1.
VLM_API void VLMSetNodeTPose(VLMCharacter* character, int id, const float* t, const float* q, const float* s);
VLM_API void VLMSetNodeTPoseDouble(VLMCharacter* character, int id, const double* t, const double* q, const double* s);
// The T-pose as a 4x4 matrix (16 floats, row by row): the rotation
// renormalised, its three rows scaled by the scale's x, y and z, the fourth
// row the translation with w 1.
VLM_API void VLMGetNodeTPoseMatrix(const VLMCharacter* character, int id, float* matrix);

// --- Parent offset -------------------------------------------------------------

// Translation := t with w 0, rotation := q, scale := s as given.
VLM_API void VLMSetNodeParentOffset(VLMCharacter* character, int id, const float* t, const float* q, const float* s);
VLM_API void VLMSetNodeParentOffsetDouble(VLMCharacter* character, int id, const double* t, const double* q,
                                          const double* s);
// Copies the entry's translation, rotation and scale.
VLM_API void VLMGetNodeParentOffsetRotation(const VLMCharacter* character, int id, float* t, float* q, float* s);
VLM_API void VLMGetNodeParentOffsetRotationDouble(const VLMCharacter* character, int id, double* t, double* q,
                                                  double* s);

// --- Rotation definition ---------------------------------------------------------

// Limits := minimum and maximum as given; pre- and post-rotation through the
// rotation-part setters (which keep flag bits 7 and 8 and the post axes);
// flag bits 1..6 := mask bits 0..5; rotation order := order when it is a
// rotation order code (0..12), else the order stays as it was.
VLM_API void VLMSetNodeRotationDefinition(VLMCharacter* character, int id, const float* minimum, const float* maximum,
                                          const float* pre, const float* post, std::uint32_t mask, std::uint32_t order);
VLM_API void VLMSetNodeRotationDefinitionDouble(VLMCharacter* character, int id, const double* minimum,
                                                const double* maximum, const double* pre, const double* post,
                                                std::uint32_t mask, std::uint32_t order);

// The definition in the terms in which it was written, before the
// characterization folded the rest rotations into it:
//   pre  := conj(Qo) conj(Qp) P     P the stored pre-rotation, Qp the parent's
//                                   T-pose rotation, Qo the node's own
//                                   parent-offset rotation
//   post := conj(Qn) R              R the stored post-rotation, Qn the node's
//                                   own T-pose rotation
// A node without a parent uses the identity for Qp, and a node without a
// parent-offset entry the identity for Qo. Node 0 is never folded, so its pre-
// and post-rotation come back as stored. Limits and the order are copied as
// stored; flag bits 1..6 are OR-ed into bits 0..5 of *mask (the caller clears
// it first).
VLM_API void VLMGetNodeRotationDefinition(const VLMCharacter* character, int id, float* minimum, float* maximum,
                                          float* pre, float* post, std::uint32_t* mask, std::uint32_t* order);
VLM_API void VLMGetNodeRotationDefinitionDouble(const VLMCharacter* character, int id, double* minimum, double* maximum,
                                                double* pre, double* post, std::uint32_t* mask, std::uint32_t* order);

VLM_API void VLMSetNodePreRotation(VLMCharacter* character, int id, const float* q);
VLM_API void VLMSetNodePreRotationDouble(VLMCharacter* character, int id, const double* q);
VLM_API void VLMSetNodePostRotation(VLMCharacter* character, int id, const float* q);
VLM_API void VLMSetNodePostRotationDouble(VLMCharacter* character, int id, const double* q);
// Minimum limits := minimum, flag bits 1..3 := mask bits 0..2 (the other bits kept).
VLM_API void VLMSetNodeMinRotationLimit(VLMCharacter* character, int id, const float* minimum, std::uint32_t mask);
VLM_API void VLMSetNodeMinRotationLimitDouble(VLMCharacter* character, int id, const double* minimum,
                                              std::uint32_t mask);
// Maximum limits := maximum, flag bits 4..6 := mask bits 3..5 (the other bits kept).
VLM_API void VLMSetNodeMaxRotationLimit(VLMCharacter* character, int id, const float* maximum, std::uint32_t mask);
VLM_API void VLMSetNodeMaxRotationLimitDouble(VLMCharacter* character, int id, const double* maximum,
                                              std::uint32_t mask);
// An order above 12 is refused: the node keeps its order.
VLM_API void VLMSetNodeRotationOrder(VLMCharacter* character, int id, std::uint32_t order);

// --- Internal forms (no floating-point guard; for callers already inside) -------

VLM_API void VLMGetNodeTPoseInternal(const VLMCharacter* character, int id, float* t, float* q, float* s);
VLM_API void VLMSetNodeTPoseInternal(VLMCharacter* character, int id, const float* t, const float* q, const float* s);
VLM_API void VLMGetNodeRotationDefinitionInternal(const VLMCharacter* character, int id, float* minimum, float* maximum,
                                                  float* pre, float* post, std::uint32_t* mask, std::uint32_t* order);

VLM_API void VLMSetNodeRotationDefinitionInternal(VLMCharacter* character, int id, const float* minimum,
                                                  const float* maximum, const float* pre, const float* post,
                                                  std::uint32_t mask, std::uint32_t order);
VLM_API void VLMSetNodePreRotationInternal(VLMCharacter* character, int id, const float* q);
VLM_API void VLMSetNodePostRotationInternal(VLMCharacter* character, int id, const float* q);
VLM_API void VLMSetNodeMinRotationLimitInternal(VLMCharacter* character, int id, const float* minimum,
                                                std::uint32_t mask);
VLM_API void VLMSetNodeMaxRotationLimitInternal(VLMCharacter* character, int id, const float* maximum,
                                                std::uint32_t mask);
// The parent-offset entry stored and copied out as the vectors are: no w lane
// is changed on either way.
VLM_API void VLMSetNodeParentOffsetInternal(VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q,
                                            const VLMVector4& s);
VLM_API void VLMGetNodeParentOffsetInternal(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q,
                                            VLMVector4& s);

// --- Pose-state and effector-set records -------------------------------------------

// The global translation, rotation and scale held in the node's state row,
// copied as stored (an absent node reads the spare row). This is the plain
// stored copy; the name VLMGetNodeStateTQS belongs to the pose-state layer's
// getter, which converts to the caller's frame.
VLM_API void VLMGetNodeStoredTQS(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t,
                                 float* q, float* s);

// Effector ids outside 0..43 and extremities outside 0..3 are ignored (setters
// write nothing, getters leave their outputs untouched).

// The effector's transform record := t with w 0, q, s with w 1.
VLM_API void VLMSetEffectorTQS(VLMEffectorSetState* set, int effectorId, const float* t, const float* q,
                               const float* s);
VLM_API void VLMSetEffectorTQSDouble(VLMEffectorSetState* set, int effectorId, const double* t, const double* q,
                                     const double* s);
// The same with the three vectors read at base + offset.
VLM_API void VLMSetEffectorTQSAt(VLMEffectorSetState* set, int effectorId, const void* base, std::uint64_t offsetT,
                                 std::uint64_t offsetQ, std::uint64_t offsetS);
// The same with scale (1, 1, 1, 1).
VLM_API void VLMSetEffectorTQAt(VLMEffectorSetState* set, int effectorId, const void* base, std::uint64_t offsetT,
                                std::uint64_t offsetQ);
VLM_API void VLMGetEffectorTQSDouble(const VLMEffectorSetState* set, int effectorId, double* t, double* q, double* s);
// Extremity 0 left hand, 1 right hand, 2 left foot, 3 right foot.
VLM_API void VLMGetExtremityTQDouble(const VLMEffectorSetState* set, int extremity, double* t, double* q);

// Where the effector targets lie in a caller's array of elements: byte
// offsets of T, Q, S and a four-float reach vector within one element, the
// element stride, and one effector id per element, the list ended by -2; an
// entry of -1 skips its element.
struct VLMEffectorSourceLayout {
    std::uint64_t offsetT;
    std::uint64_t offsetQ;
    std::uint64_t offsetS;
    std::uint64_t offsetReach;
    std::uint64_t stride;
    const std::int32_t* effectorIds;
};
static_assert(sizeof(VLMEffectorSourceLayout) == 48, "six 64-bit words");

// For element k of data (at data + k x stride) with list entry e: effector e's
// transform record as by VLMSetEffectorTQS, and its four blend lanes (reach T,
// reach R, pull, stiffness) := the element's reach vector clamped to [0, 1]
// lane by lane.
VLM_API void VLMSetEffectorsFromLayout(VLMEffectorSetState* set, const VLMEffectorSourceLayout* layout,
                                       const void* data);

#endif

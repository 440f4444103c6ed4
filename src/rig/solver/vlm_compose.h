// Velmora rig library, pose-state layer: composing a stored transform with a
// given one, in place.
//
// Targets: the global half of one node's row, of every node of a character, or
// one effector record; always in the stored frame, with no conversion to the
// API frame. The local halves are never touched and no tree pass follows: a
// caller that needs the locals to agree runs one.
//
// With (T0, Q0, S0) the stored transform, (T, Q, S) the given one, (x) the
// Hamilton product, * lane by lane and rot(q, v) the turn of v by q as it is
// (not normalised):
//   post (the stored transform first, then the given one in its frame):
//     S' = S * L, L_j = |S0 * rot(Q, e_j)|;  Q' = Q0 (x) Q;
//     T' = T0 + rot(Q', S' * T)
//   pre (the given transform applied on top of the stored one):
//     S'_j = S0_j |S * a_j|, a_j the unit direction of rot(Q0, e_j), the node's
//     own axis j;  T' = T + rot(Q, S * T0);  Q' = Q (x) Q0
// The new scale's w lane is the given S's (1 for matrices). Rotations are not
// renormalised. A scale that is not uniform is kept per axis; the shear an
// exact product would have is dropped.
//
// invert != 0 uses the inverse of the given transform: S := 1 / S (reciprocal
// estimate and one Newton step), Q := conj(Q), T := rot(Q, -(T * S)) with the
// new Q and S; exact for uniform scales.
//
// Given vectors are four floats (or four doubles, narrowed) at any address;
// the TQS forms use T with w 0 and leave the caller's vectors alone. A matrix
// is decomposed by VLMMatrix44UnalignedToTQS; one with an axis of zero or
// non-finite length changes nothing. Every entry but the record pair runs under
// the floating-point guard; null blocks, states made for another character and
// effector ids outside 0..43 are ignored. A node the character lacks composes
// the spare row.
#ifndef VLM_COMPOSE_H
#define VLM_COMPOSE_H

#include "rig/vlm_base.h"

// The record pair: no guard; t, q and s are 16-byte aligned and t is taken
// whole (w included). With invert set the three vectors are overwritten with
// the inverse before it is composed.
VLM_API void VLMTQSPostMultiply(VLMTransformTQS* record, VLMVector4* t, VLMVector4* q, VLMVector4* s, int invert);
VLM_API void VLMTQSPreMultiply(VLMTransformTQS* record, VLMVector4* t, VLMVector4* q, VLMVector4* s, int invert);

VLM_API void VLMPostMultiplyNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, int id,
                                            const float* matrix, int invert);
VLM_API void VLMPostMultiplyNodeStateMatrixd(const VLMCharacter* character, VLMCharacterState* state, int id,
                                             const double* matrix, int invert);
VLM_API void VLMPostMultiplyNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id,
                                         const float* t, const float* q, const float* s, int invert);
VLM_API void VLMPostMultiplyNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id,
                                          const double* t, const double* q, const double* s, int invert);
VLM_API void VLMPreMultiplyNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                        const float* q, const float* s, int invert);
VLM_API void VLMPreMultiplyNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id,
                                         const double* t, const double* q, const double* s, int invert);
// Every node the character has, ids 0..171 in order; the spare row and the
// locals stay as they are.
VLM_API void VLMPreMultiplyCharacterStateTQS(const VLMCharacter* character, VLMCharacterState* state, const float* t,
                                             const float* q, const float* s, int invert);
VLM_API void VLMPreMultiplyCharacterStateTQSd(const VLMCharacter* character, VLMCharacterState* state, const double* t,
                                              const double* q, const double* s, int invert);

VLM_API void VLMPostMultiplyEffectorStateMatrix(VLMEffectorSetState* set, int id, const float* matrix, int invert);
VLM_API void VLMPostMultiplyEffectorStateMatrixd(VLMEffectorSetState* set, int id, const double* matrix, int invert);
VLM_API void VLMPostMultiplyEffectorStateTQS(VLMEffectorSetState* set, int id, const float* t, const float* q,
                                             const float* s, int invert);
VLM_API void VLMPostMultiplyEffectorStateTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q,
                                              const double* s, int invert);

#endif

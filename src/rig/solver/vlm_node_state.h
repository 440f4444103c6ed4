// Velmora rig library, pose-state layer: one node's global transform in the
// API frame.
//
// Setters store T with w 0, Q as given (not normalised) and S as (x, y, z, 1)
// (the TQ forms S = (1, 1, 1, 1)) into the row's global half and convert it in
// place to the stored frame (vlm_pose_frame.h); the local half is not touched.
// Getters convert the row's global half to the API frame; the row is not
// changed. Vectors are four floats at any address; the At forms address each
// vector as base + a signed byte offset, 16-byte aligned. The d forms narrow
// their inputs to float, run the float computation and widen the results, so
// they equal the float forms bit for bit.
//
// Matrices are 16 numbers: the x, y and z axes times their scales (elements
// 0..3, 4..7, 8..11, the fourth of each 0), then the translation and 1. A
// written matrix is decomposed by VLMMatrix44UnalignedToTQS (scales from the
// lengths of the axis vectors, all four lanes; element 15 ignored); a read
// matrix is built by VLMTQSToMatrix44Normalized.
//
// Not to be confused with VLMSetNodeStateMatrix (rig/vlm_matrix_entry.h),
// which writes a matrix into the row as stored, with no frame conversion:
// VLMWriteNodeStateMatrix here takes the matrix in the API frame.
//
// Every entry runs under the floating-point guard. A node the character lacks,
// or an id outside 0..171, reads and writes the spare row.
#ifndef VLM_NODE_STATE_H
#define VLM_NODE_STATE_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstdint>

VLM_API void VLMSetNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                const float* q, const float* s);
VLM_API void VLMSetNodeStateTQ(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                               const float* q);
VLM_API void VLMSetNodeStateTQSAt(const VLMCharacter* character, VLMCharacterState* state, int id, const void* base,
                                  std::int64_t offsetT, std::int64_t offsetQ, std::int64_t offsetS);
VLM_API void VLMSetNodeStateTQAt(const VLMCharacter* character, VLMCharacterState* state, int id, const void* base,
                                 std::int64_t offsetT, std::int64_t offsetQ);
// The scale carried through the T-pose rotation (VLMNodeStateFromApiFrameRotScale).
VLM_API void VLMSetNodeStateTQSRotScale(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                        const float* q, const float* s);
VLM_API void VLMSetNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                                 const double* q, const double* s);
VLM_API void VLMWriteNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, int id,
                                     const float* matrix);
VLM_API void VLMWriteNodeStateMatrixd(const VLMCharacter* character, VLMCharacterState* state, int id,
                                      const double* matrix);

VLM_API void VLMGetNodeStateTQS(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t,
                                float* q, float* s);
VLM_API void VLMGetNodeStateTQ(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t,
                               float* q);
VLM_API void VLMGetNodeStateTQSAt(const VLMCharacter* character, const VLMCharacterState* state, int id, void* base,
                                  std::int64_t offsetT, std::int64_t offsetQ, std::int64_t offsetS);
VLM_API void VLMGetNodeStateTQAt(const VLMCharacter* character, const VLMCharacterState* state, int id, void* base,
                                 std::int64_t offsetT, std::int64_t offsetQ);
VLM_API void VLMGetNodeStateTQSRotScale(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t,
                                        float* q, float* s);
VLM_API void VLMGetNodeStateTQSd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* t,
                                 double* q, double* s);
VLM_API void VLMReadNodeStateMatrix(const VLMCharacter* character, const VLMCharacterState* state, int id,
                                    float* matrix);
VLM_API void VLMReadNodeStateMatrixd(const VLMCharacter* character, const VLMCharacterState* state, int id,
                                     double* matrix);
// The matrix of the global half exactly as stored: no conversion, node 0
// included.
VLM_API void VLMReadNodeStoredMatrix(const VLMCharacter* character, const VLMCharacterState* state, int id,
                                     float* matrix);
VLM_API void VLMReadNodeStoredMatrixd(const VLMCharacter* character, const VLMCharacterState* state, int id,
                                      double* matrix);

// --- Internal forms (no guard; rows is the state's first node row) ----------------------

// The setter model on the node's row: global := (t with w 0, q, s with w 1),
// converted to the stored frame by the plain or the RotScale rule.
VLM_API void VLMSetNodeStateInternal(const VLMCharacter* character, VLMStateRow* rows, int id, const VLMVector4& t,
                                     const VLMVector4& q, const VLMVector4& s, bool rotScale);
// The node's API-frame transform.
VLM_API void VLMGetNodeStateInternal(const VLMCharacter* character, const VLMStateRow* rows, int id, VLMVector4& t,
                                     VLMVector4& q, VLMVector4& s, bool rotScale);
// The node's API-frame matrix.
VLM_API VLMMatrix44 VLMReadNodeStateMatrixInternal(const VLMCharacter* character, const VLMStateRow* rows, int id);

#endif

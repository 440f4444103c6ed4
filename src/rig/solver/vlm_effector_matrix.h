// Velmora rig library, pose-state layer: effector records and extremity frames
// of an effector set as 4x4 matrices, the effector a pose gives as a matrix,
// and effector records moved by a pivot offset.
//
// Everything here works on the records as stored: no character and no T-pose
// frame is involved (vlm_effector_frame.h has the API-frame forms).
//
// Matrices are 16 numbers at any address: the x, y and z axes times their
// scales (elements 0..3, 4..7, 8..11), then the translation and 1. A read
// matrix is built by VLMTQSToMatrix44Normalized (Q renormalised by the
// estimate and one Newton step); a written one is decomposed by
// VLMMatrix44UnalignedToTQS (T with w 0, S with w 1). The d forms narrow every
// input to float, compute in float and widen the results, so they equal the
// float forms bit for bit.
//
// Pivot offset p (x, y, z used, w ignored), given in the frame's own scaled
// axes: the record keeps the pivot point, T_record = T_frame + rot(Q, S * p),
// with Q as stored (not normalised) and * lane by lane. The setters add the
// offset, the getters take it away again.
//
// Every entry runs under the floating-point guard. Effector ids outside 0..43,
// extremities outside 0..3 and null blocks are ignored: nothing is written.
#ifndef VLM_EFFECTOR_MATRIX_H
#define VLM_EFFECTOR_MATRIX_H

#include "rig/vlm_base.h"
#include "rig/vlm_property.h"

// --- Effector records and extremity frames ---------------------------------------------

VLM_API void VLMReadEffectorMatrix(const VLMEffectorSetState* set, int id, float* matrix);
VLM_API void VLMReadEffectorMatrixd(const VLMEffectorSetState* set, int id, double* matrix);
// T, Q and S of the record all replaced.
VLM_API void VLMWriteEffectorMatrix(VLMEffectorSetState* set, int id, const float* matrix);
VLM_API void VLMWriteEffectorMatrixd(VLMEffectorSetState* set, int id, const double* matrix);

VLM_API void VLMReadExtremityMatrix(const VLMEffectorSetState* set, int extremity, float* matrix);
VLM_API void VLMReadExtremityMatrixd(const VLMEffectorSetState* set, int extremity, double* matrix);
// Replaces the frame's scale too, unlike VLMSetExtremityTQ.
VLM_API void VLMWriteExtremityMatrix(VLMEffectorSetState* set, int extremity, const float* matrix);
VLM_API void VLMWriteExtremityMatrixd(VLMEffectorSetState* set, int extremity, const double* matrix);

// The effector the pose gives (VLMComputeEffectorFromPose), in the stored
// frame of the state's rows; no effector set is involved. A state made for
// another character, or a null property set, leaves the matrix untouched.
VLM_API void VLMReadPoseEffectorMatrix(const VLMCharacter* character, int id, const VLMCharacterState* state,
                                       const VLMPropertySetState* properties, float* matrix);
VLM_API void VLMReadPoseEffectorMatrixd(const VLMCharacter* character, int id, const VLMCharacterState* state,
                                        const VLMPropertySetState* properties, double* matrix);

// --- Pivot offsets -----------------------------------------------------------------------

// The record := the matrix's decomposition (S with w 1), then T += rot(Q, S * p).
VLM_API void VLMSetEffectorStatePivotMatrix(VLMEffectorSetState* set, int id, const float* matrix, const float* pivot);
VLM_API void VLMSetEffectorStatePivotMatrixd(VLMEffectorSetState* set, int id, const double* matrix,
                                             const double* pivot);
// The record := (t with w 0, q as given, s with all four lanes as given), then
// T += rot(Q, S * p).
VLM_API void VLMSetEffectorStatePivotTQS(VLMEffectorSetState* set, int id, const float* t, const float* q,
                                         const float* s, const float* pivot);
VLM_API void VLMSetEffectorStatePivotTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q,
                                          const double* s, const double* pivot);

// The frame of the record: T - rot(Q, S * p), Q and S as stored; the record is
// not changed. The matrix forms renormalise Q for the axes only, after the
// offset has used it as stored.
VLM_API void VLMGetEffectorStatePivotTQS(const VLMEffectorSetState* set, int id, float* t, float* q, float* s,
                                         const float* pivot);
VLM_API void VLMGetEffectorStatePivotTQSd(const VLMEffectorSetState* set, int id, double* t, double* q, double* s,
                                          const double* pivot);
VLM_API void VLMGetEffectorStatePivotMatrix(const VLMEffectorSetState* set, int id, float* matrix, const float* pivot);
VLM_API void VLMGetEffectorStatePivotMatrixd(const VLMEffectorSetState* set, int id, double* matrix,
                                             const double* pivot);

#endif

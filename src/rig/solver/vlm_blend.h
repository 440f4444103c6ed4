// Velmora rig library, pose-state layer: one effector target blended from
// several candidate frames, each with its own pivot offset and weights.
//
// Candidate k: frame T[k], Q[k], S[k] (or one matrix M[k], decomposed by
// VLMMatrix44UnalignedToTQS), pivot p[k] (x, y, z used), translation weight
// wT[k] and rotation weight wR[k]. Arrays are consecutive and need no
// alignment: vectors every 16 bytes (32 in the d forms), matrices every 64
// (128), weights every 4 (8). The d forms narrow everything to float first.
//
// The record is reset to identity. A candidate takes part when wT > 0 or
// wR > 0; its weights are used as they are, so a negative wT with a positive
// wR subtracts its translation. Over the taking candidates:
//   T = sum wT (T + rot(Q, (S.xyz, 1) * p)) / sum wT   (the pivot point)
//   Q = normalised sum of wR Q, each Q flipped when its dot product with the
//       running sum is negative (0 keeps it)
//   S = candidate 0's (x, y, z, 1) when candidate 0 takes part, else 1
//   lane 0 (reach T) = the largest wT, lane 1 (reach R) = the largest wR
//   (both at least 0); lanes 2 and 3 keep their values.
// With no translation weight (sum wT <= 0) T is T[0] with w 0, without a pivot
// shift; with no rotation weight Q is Q[0] (the matrix forms: M[0]'s rotation).
//
// n <= 0 blends nothing and reads only candidate 0 for the fallbacks; an array
// that is null then gives the identity instead (T 0, Q (0, 0, 0, 1)). With
// n > 0 every array must be given: a null one makes the call do nothing.
// Everything runs under the floating-point guard; null sets and effector ids
// outside 0..43 are ignored. The record stays in the stored frame.
#ifndef VLM_BLEND_H
#define VLM_BLEND_H

#include "rig/vlm_base.h"

VLM_API void VLMBlendEffectorStateTQS(VLMEffectorSetState* set, int id, const float* t, const float* q, const float* s,
                                      const float* pivots, const float* weightsT, const float* weightsR, int n);
VLM_API void VLMBlendEffectorStateTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q,
                                       const double* s, const double* pivots, const double* weightsT,
                                       const double* weightsR, int n);
VLM_API void VLMBlendEffectorStateMatrix(VLMEffectorSetState* set, int id, const float* matrices, const float* pivots,
                                         const float* weightsT, const float* weightsR, int n);
VLM_API void VLMBlendEffectorStateMatrixd(VLMEffectorSetState* set, int id, const double* matrices,
                                          const double* pivots, const double* weightsT, const double* weightsR, int n);

#endif

// Velmora rig library, pose-state layer: effector targets in the API frame,
// by effector id.
//
// An effector set keeps each target's rotation relative to the T-pose
// rotation Qt of the node the effector stands for (VLMEffectorNodeIndex), as
// stored node rotations are. These entries take the character and convert:
//   in   Q_stored = Q (x) conj(Qt)      out   Q = Q_stored (x) Qt
// (not renormalised; the matrix forms renormalise when they build the matrix).
// Translations and scales are not converted. An effector whose node the
// character lacks (a digit without joints) uses the identity for Qt, which
// keeps setter and getter inverse.
//
// Names: VLMSetEffectorTQS(character, id, set, ...) here overloads the
// stored-frame VLMSetEffectorTQS(set, id, ...) of rig/vlm_access.h, which
// converts nothing; and VLMSetEffectorTQSd here (API frame) is not
// VLMSetEffectorTQSDouble there (stored frame).
//
// Vectors are four floats at any address (four doubles in the d forms,
// narrowed on the way in and widened on the way out); matrices are 16 numbers
// as in vlm_node_state.h. Every entry runs under the floating-point guard.
// Null blocks, effector ids outside 0..43 and states made for another
// character are ignored: nothing is written.
#ifndef VLM_EFFECTOR_FRAME_H
#define VLM_EFFECTOR_FRAME_H

#include "rig/solver/vlm_state.h"
#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

// --- Effector targets of a set ------------------------------------------------------

// Record T := t with w 0, Q := q (x) conj(Qt), S := s as given.
VLM_API void VLMSetEffectorTQS(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* t,
                               const float* q, const float* s);
VLM_API void VLMSetEffectorTQSd(const VLMCharacter* character, int id, VLMEffectorSetState* set, const double* t,
                                const double* q, const double* s);
// S := (1, 1, 1, 1).
VLM_API void VLMSetEffectorTQ(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* t,
                              const float* q);
// 16-byte aligned vectors; T is stored whole, its w lane included.
VLM_API void VLMSetEffectorTQSAligned(const VLMCharacter* character, int id, VLMEffectorSetState* set,
                                      const VLMVector4* t, const VLMVector4* q, const VLMVector4* s);
VLM_API void VLMSetEffectorMatrix(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* matrix);
VLM_API void VLMSetEffectorMatrixd(const VLMCharacter* character, int id, VLMEffectorSetState* set,
                                   const double* matrix);

VLM_API void VLMGetEffectorTQS(const VLMCharacter* character, int id, const VLMEffectorSetState* set, float* t,
                               float* q, float* s);
VLM_API void VLMGetEffectorTQSd(const VLMCharacter* character, int id, const VLMEffectorSetState* set, double* t,
                                double* q, double* s);
VLM_API void VLMGetEffectorMatrix(const VLMCharacter* character, int id, const VLMEffectorSetState* set, float* matrix);
VLM_API void VLMGetEffectorMatrixd(const VLMCharacter* character, int id, const VLMEffectorSetState* set,
                                   double* matrix);

// Per listed effector (-1, and any id outside 0..43, skips its record; the
// record base advances by the stride after every entry): its four blend lanes
// := the record's lanes clamped to [0, 1] (NaN gives 0), written first; then
// T and Q from the record as VLMSetEffectorTQS takes them, S := 1. The layout's
// scale offset is not used. Records are 16-byte aligned.
VLM_API void VLMSetEffectors(const VLMCharacter* character, VLMEffectorSetState* set,
                             const VLMEffectorRecordLayout* layout, const void* base);
// Per listed effector: T, Q in the API frame and the four lanes as stored into
// the record; the scale field is never written.
VLM_API void VLMGetEffectors(const VLMCharacter* character, const VLMEffectorSetState* set,
                             const VLMEffectorRecordLayout* layout, void* base);

// --- Effectors computed from a pose ---------------------------------------------------

// VLMComputeEffectorFromPose on the state's rows, then Q := Q (x) Qt.
VLM_API void VLMGetPoseEffectorTQS(int id, const VLMCharacter* character, const VLMCharacterState* state,
                                   const VLMPropertySetState* properties, float* t, float* q, float* s);
VLM_API void VLMGetPoseEffectorTQSd(int id, const VLMCharacter* character, const VLMCharacterState* state,
                                    const VLMPropertySetState* properties, double* t, double* q, double* s);
VLM_API void VLMGetPoseEffectorMatrix(int id, const VLMCharacter* character, const VLMCharacterState* state,
                                      const VLMPropertySetState* properties, float* matrix);
VLM_API void VLMGetPoseEffectorMatrixd(int id, const VLMCharacter* character, const VLMCharacterState* state,
                                       const VLMPropertySetState* properties, double* matrix);
// The same on a first node row, into 16-byte aligned outputs; note the
// argument order, outputs first.
VLM_API void VLMGetPoseEffectorTQSRows(VLMVector4* t, VLMVector4* q, VLMVector4* s, int id,
                                       const VLMCharacter* character, const VLMStateRow* rows,
                                       const VLMPropertySetState* properties);

#endif

// Velmora rig library, pose-state layer: node poses relative to the T-pose.
//
// A state keeps every node's global rotation and scale relative to the node's
// T-pose entry (the stored frame); callers see the T-pose composed in (the API
// frame). With (T_tp, Q_tp, S_tp) the node's T-pose entry:
//   plain      T_api = T_st, Q_api = Q_st (x) Q_tp, S_api = S_st * S_tp
//   RotScale   as plain, but the scale is carried through the T-pose rotation:
//              S_api = S_tp * VLMScaleThroughRotation(Q_tp, S_st) and back
//              S_st = VLMScaleThroughRotation(conj(Q_tp), S_api / S_tp)
//   root       node 0 is a rigid composition: the stored transform is the
//              parent of the T-pose transform. Its round trip is exact only
//              for an identity T-pose rotation or uniform scales.
// A node the character lacks (or an id outside 0..171) uses the spare T-pose
// entry and the spare row.
//
// The conversions run without a guard of their own (the accessors that call
// them guard themselves); the stored-frame row operations below are guarded
// entries. VLMGetNodeStoredTQS, the plain stored read, is declared in
// rig/vlm_access.h.
#ifndef VLM_POSE_FRAME_H
#define VLM_POSE_FRAME_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstddef>
#include <cstdint>

// Where the bulk node operations read or write in a caller's records: the
// space (0 global, 1 local), four bytes of padding, signed byte offsets of T,
// Q and S inside one record, the stride, and a node-id list ended by -2 in
// which -1 skips its record. Every record address must be 16-byte aligned.
struct VLMNodeRecordLayout {
    std::int32_t space;
    std::int32_t padding;
    std::int64_t offsetT;
    std::int64_t offsetQ;
    std::int64_t offsetS;
    std::int64_t stride;
    const std::int32_t* nodeIds;
};
static_assert(sizeof(VLMNodeRecordLayout) == 48, "selector word, then five 64-bit words");
static_assert(offsetof(VLMNodeRecordLayout, offsetT) == 8, "node record layout");
static_assert(offsetof(VLMNodeRecordLayout, stride) == 32, "node record layout");
static_assert(offsetof(VLMNodeRecordLayout, nodeIds) == 40, "node record layout");

enum : std::int32_t { VLM_SPACE_GLOBAL = 0, VLM_SPACE_LOCAL = 1 };

// --- Frame conversions (no guard) ---------------------------------------------------
// Outputs may alias inputs.

// Stored global T, Q, S to the API frame (node 0: the root branch).
VLM_API void VLMNodeStateToApiFrame(const VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q,
                                    const VLMVector4& s, VLMVector4& outT, VLMVector4& outQ, VLMVector4& outS);
VLM_API void VLMNodeStateToApiFrameRotScale(const VLMCharacter* character, int id, const VLMVector4& t,
                                            const VLMVector4& q, const VLMVector4& s, VLMVector4& outT,
                                            VLMVector4& outQ, VLMVector4& outS);
// API-frame T, Q, S to the stored frame, in place.
VLM_API void VLMNodeStateFromApiFrame(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q,
                                      VLMVector4& s);
VLM_API void VLMNodeStateFromApiFrameRotScale(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q,
                                              VLMVector4& s);
// The plain FromApi rule on a row's local Q and S in place (node 0: the root
// rule on the whole local half).
VLM_API void VLMNodeLocalStateFromApiFrame(const VLMCharacter* character, int id, VLMStateRow* row);
// The root branches.
VLM_API void VLMRootStateToApiFrame(const VLMCharacter* character, const VLMVector4& t, const VLMVector4& q,
                                    const VLMVector4& s, VLMVector4& outT, VLMVector4& outQ, VLMVector4& outS);
VLM_API void VLMRootStateFromApiFrame(const VLMCharacter* character, VLMVector4& t, VLMVector4& q, VLMVector4& s);
// Node 0's global half, read from inRows and written to outRows (two first
// node rows, possibly the same); its row is the root record's own index.
VLM_API void VLMRootRowToApiFrame(const VLMCharacter* character, VLMStateRow* outRows, const VLMStateRow* inRows);
VLM_API void VLMRootRowFromApiFrame(const VLMCharacter* character, VLMStateRow* outRows, const VLMStateRow* inRows);

// --- Stored-frame row operations (guarded entries) -------------------------------------

// The row's global T := t with w 0, Q := q, S := s (four values each, any
// alignment; the double forms narrowed to float). Nothing else is written.
VLM_API void VLMSetNodeStoredTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                 const float* q, const float* s);
VLM_API void VLMSetNodeStoredTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                                  const double* q, const double* s);
// The row's global T, Q, S, every lane widened to double.
VLM_API void VLMGetNodeStoredTQSd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* t,
                                  double* q, double* s);

// Space 0: each listed node's global T (w 0), Q, S from its record; no tree
// pass follows. Space 1: the same into the local halves, then the whole-tree
// local-to-global pass. Any other space: nothing.
VLM_API void VLMSetNodeStoredStates(const VLMCharacter* character, VLMCharacterState* state,
                                    const VLMNodeRecordLayout* layout, const void* base);
// Space 0: each listed node's global T, Q, S into its record. Space 1: first
// the whole-tree global-to-local pass on the state, then the local T, Q, S.
// Any other space: nothing.
VLM_API void VLMGetNodeStoredStates(const VLMCharacter* character, VLMCharacterState* state,
                                    const VLMNodeRecordLayout* layout, void* base);

// Refreshes the locals of A and of B from their globals (both are modified;
// B may be A), blends the locals of every node the character has (T and S
// linearly, Q by the sign-corrected normalised blend, sign bit rule) and runs
// the local-to-global pass on the output. The weight is not clamped.
VLM_API void VLMBlendCharacterStates(const VLMCharacter* character, VLMCharacterState* output, VLMCharacterState* a,
                                     VLMCharacterState* b, float weight);
// Per effector: T, S and the four lanes blended linearly, Q by the
// sign-corrected normalised blend. Nothing else of the output is written.
VLM_API void VLMBlendEffectorSetStates(VLMEffectorSetState* output, const VLMEffectorSetState* a,
                                       const VLMEffectorSetState* b, float weight);
// Every node from id 2 on: its local Euler angles scaled by (1 - a, 1 - b,
// 1 - c); Reference and Hips keep their rotations.
VLM_API void VLMDampLocalEulerAngles(const VLMCharacter* character, VLMCharacterState* state, float a, float b,
                                     float c);

// --- Internal forms (no guard; rows is the state's first node row) ----------------------

VLM_API void VLMSetNodeStoredStatesInternal(const VLMCharacter* character, VLMStateRow* rows,
                                            const VLMNodeRecordLayout* layout, const void* base);
VLM_API void VLMGetNodeStoredStatesInternal(const VLMCharacter* character, VLMStateRow* rows,
                                            const VLMNodeRecordLayout* layout, void* base);
VLM_API void VLMBlendCharacterStatesInternal(const VLMCharacter* character, VLMStateRow* output, VLMStateRow* a,
                                             VLMStateRow* b, float weight);
VLM_API void VLMBlendEffectorSetStatesInternal(VLMEffectorSetLayout* output, const VLMEffectorSetLayout* a,
                                               const VLMEffectorSetLayout* b, float weight);
VLM_API void VLMDampLocalEulerAnglesInternal(const VLMCharacter* character, VLMStateRow* rows, float a, float b,
                                             float c);

#endif

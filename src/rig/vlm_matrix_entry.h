// Velmora rig library: entry points that exchange 4x4 matrices with callers.
//
// They set the effectors of an effector set, the T-pose entries of a character
// and the global half of pose-state rows from matrices, and read effectors back
// as matrices. Matrices follow the library's layout (vlm_base.h): rows 0..2
// the images of the x, y and z axes, row 3 the translation with w 1. Each
// entry point runs under the floating-point guard and returns nothing.
//
// Ids are checked: an effector id outside 0..43 in a batch list is skipped
// like -1, and a node id outside 0..171 or of a node the character lacks
// writes nothing, so no call reaches memory outside the records it names (the
// spare T-pose entry and state row that absent nodes share change no node
// either way; leaving them alone keeps what absent nodes read).
#ifndef VLM_MATRIX_ENTRY_H
#define VLM_MATRIX_ENTRY_H

#include "rig/vlm_base.h"

#include <cstdint>

// Caller memory of a batch: element k starts at base + k x stride and holds a
// 16-byte aligned 4x4 float matrix at matrixOffset and a 16-byte aligned
// four-float vector at vectorOffset. effectorIds names one effector per
// element: -1 skips the element, -2 ends the list. The stride advances for
// every list position, skipped ones included.
struct VLMTransformBatchLayout {
    std::uint64_t matrixOffset;
    std::uint64_t vectorOffset;
    std::uint64_t stride;
    const std::int32_t* effectorIds;
};
static_assert(sizeof(VLMTransformBatchLayout) == 32, "a batch layout is four 64-bit words");

enum : std::int32_t { VLM_BATCH_SKIP = -1, VLM_BATCH_END = -2 };

// Per listed effector: its transform record := the decomposition of the
// element's matrix (VLMMatrix44ToTQS); its four-lane record (translation
// reach, rotation reach, pull, stiffness) := the element's vector clamped lane
// by lane to [0, 1] (maximum with 0 first, so NaN gives 0).
VLM_API void VLMSetEffectorsFromMatrices(VLMEffectorSetState* set, const VLMTransformBatchLayout* layout,
                                         const void* base);
// Per listed effector: the element's matrix := the transform matrix of its
// record, the rotation first divided by its exact length; the element's vector
// := its four-lane record.
VLM_API void VLMGetEffectorsAsMatrices(const VLMEffectorSetState* set, const VLMTransformBatchLayout* layout,
                                       void* base);

// The node's T-pose T, Q, S := the decomposition of sixteen floats (any
// alignment) or sixteen doubles (narrowed first). The presence word stays.
VLM_API void VLMSetNodeTPoseMatrix(VLMCharacter* character, std::int32_t id, const float* matrix);
VLM_API void VLMSetNodeTPoseMatrix(VLMCharacter* character, std::int32_t id, const double* matrix);

// The global T, Q, S of the node's state row := the decomposition of the
// matrix; the local half stays. The matrix is taken in the stored frame, as
// the row keeps it: this is not the pose-state layer's
// VLMWriteNodeStateMatrix (rig/solver/vlm_node_state.h), which takes the
// matrix in the API frame and converts it.
VLM_API void VLMSetNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, std::int32_t id,
                                   const float* matrix);
VLM_API void VLMSetNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, std::int32_t id,
                                   const double* matrix);

#endif

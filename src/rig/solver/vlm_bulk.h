// Velmora rig library, pose-state layer: node transforms of a whole list of
// nodes moved to or from the caller's records in one call.
//
// The list is i32 node ids read up to the first -2; -1 skips its record while
// the record address still advances by the stride (entry k pairs with the
// record at base + k x stride). Every vector and every matrix column is read
// and written with 16-byte aligned accesses.
//
// Space 0 (global): each listed node's global transform in the API frame,
// converted as the single-node accessors of vlm_node_state.h convert it.
// Space 1 (local): each node relative to its parent's transform composed with
// its parent-offset entry. A local write fills the listed nodes' local halves,
// recomputes every global half from the root (VLMTreeApplyParentOffsets) and
// converts the listed nodes' globals to the stored frame. A local read writes
// each listed node's API-frame global into its local half and re-expresses
// every local half relative to its parent (VLMTreeRemoveParentOffsets); the
// record and matrix reads (VLMGetNodeStates, VLMReadNodeStateMatrices) first
// refresh every local half from the globals (VLMTreeGlobalToLocal). So local
// halves are working space: a parent that is not listed lends whatever its
// local half holds. Both passes run even for an empty list. Any other space
// makes the call do nothing.
//
// Taking a record: T with w 0, Q as it is, S with w 1 ((1, 1, 1, 1) in the TQ
// forms). Matrices are decomposed by VLMMatrix44ToTQS; a read matrix is built
// with Q divided by its exact length.
//
// Packets (the SoA forms) hold four consecutive list entries component by
// component: three T rows (X, Y, Z) at the T offset, four Q rows at the Q
// offset and three S rows at the S offset, lane j for the group's entry j; the
// stride goes from packet to packet. A group that holds the end mark serves
// the entries before it from the next packet, and ends the list. A packet that
// a read only partly fills (a -1, or the tail) is read whole first and written
// back whole, so its other lanes keep their contents. The local packet write
// ends like the record forms, with the listed nodes' globals in the stored
// frame.
//
// Every entry runs under the floating-point guard. Null arguments, and a state
// whose node count is not its character's, make the call do nothing.
#ifndef VLM_BULK_H
#define VLM_BULK_H

#include "rig/solver/vlm_pose_frame.h"
#include "rig/vlm_base.h"

#include <cstddef>
#include <cstdint>

// Where the matrix forms read or write: the space (0 global, 1 local), four
// bytes of padding, the byte offset of a 16-float matrix within a record, the
// stride, and the node-id list.
struct VLMNodeMatrixLayout {
    std::uint32_t space;
    std::uint32_t padding;
    std::int64_t offsetMatrix;
    std::int64_t stride;
    const std::int32_t* nodeIds;
};
static_assert(sizeof(VLMNodeMatrixLayout) == 32, "selector word, then three 64-bit words");
static_assert(offsetof(VLMNodeMatrixLayout, offsetMatrix) == 8, "node matrix layout");
static_assert(offsetof(VLMNodeMatrixLayout, stride) == 16, "node matrix layout");
static_assert(offsetof(VLMNodeMatrixLayout, nodeIds) == 24, "node matrix layout");

VLM_API void VLMSetNodeStates(const VLMCharacter* character, VLMCharacterState* state,
                              const VLMNodeRecordLayout* layout, const void* base);
VLM_API void VLMSetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state,
                                const VLMNodeRecordLayout* layout, const void* base);
VLM_API void VLMWriteNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                                       const VLMNodeMatrixLayout* layout, const void* base);
VLM_API void VLMSetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state,
                                 const VLMNodeRecordLayout* layout, const void* base);

// The reads take a writable state: the local forms use its local halves.
VLM_API void VLMGetNodeStates(const VLMCharacter* character, VLMCharacterState* state,
                              const VLMNodeRecordLayout* layout, void* base);
// T and Q only: the S offset is never written.
VLM_API void VLMGetNodeStatesTQ(const VLMCharacter* character, VLMCharacterState* state,
                                const VLMNodeRecordLayout* layout, void* base);
// Q only: nothing but the Q offset is written.
VLM_API void VLMGetNodeStatesQ(const VLMCharacter* character, VLMCharacterState* state,
                               const VLMNodeRecordLayout* layout, void* base);
VLM_API void VLMReadNodeStateMatrices(const VLMCharacter* character, VLMCharacterState* state,
                                      const VLMNodeMatrixLayout* layout, void* base);
VLM_API void VLMGetNodeStatesSoA(const VLMCharacter* character, VLMCharacterState* state,
                                 const VLMNodeRecordLayout* layout, void* base);

#endif

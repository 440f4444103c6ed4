// Velmora rig library, pose-state layer: the character-state and effector-set
// blocks.
//
// A VLMCharacterState holds one pose of one character: a 16-byte header whose
// first word is the node count, a spare row, then one 96-byte row (global T,
// Q, S, local T, Q, S) per compact node index; (n + 1) x 96 + 16 bytes. A
// VLMEffectorSetState (3296 bytes) holds the targets and settings of one solve
// (vlm_layout.h, VLMEffectorSetLayout). Neither block holds a pointer, so both
// may be copied byte for byte.
//
// Creation asks the caller's allocation callback for the block size + 23
// bytes, places the block on the first 16-byte boundary at or after the
// returned pointer + 8 and keeps that pointer in the 8 bytes before the block;
// VLMDestroyCharacterState and VLMDestroyEffectorSetState (vlm_frame.h) hand
// it back to the caller's free callback.
//
// Every entry runs under the floating-point guard, except
// VLMConstructEffectorSetState. Ids: effector ids outside 0..43 and extremity
// indices outside 0..3 are ignored (setters write nothing, getters with
// out-parameters leave them untouched, value getters answer 0.0f). A null
// block is ignored the same way.
#ifndef VLM_STATE_H
#define VLM_STATE_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_property.h"

#include <cstddef>
#include <cstdint>

// Where VLMGetEffectorStates writes in a caller's records: signed byte offsets
// of T, Q, S and the four blend lanes inside one record, the stride from one
// record to the next, and an effector-id list ended by -2 in which -1 skips
// its record. Every target address must be 16-byte aligned.
struct VLMEffectorRecordLayout {
    std::int64_t offsetT;
    std::int64_t offsetQ;
    std::int64_t offsetS;
    std::int64_t offsetLanes;
    std::int64_t stride;
    const std::int32_t* effectorIds;
};
static_assert(sizeof(VLMEffectorRecordLayout) == 48, "six 64-bit words");
static_assert(offsetof(VLMEffectorRecordLayout, offsetLanes) == 24, "effector record layout");
static_assert(offsetof(VLMEffectorRecordLayout, stride) == 32, "effector record layout");
static_assert(offsetof(VLMEffectorRecordLayout, effectorIds) == 40, "effector record layout");

enum : std::int32_t { VLM_LIST_SKIP = -1, VLM_LIST_END = -2 };

// --- Character states ----------------------------------------------------------

// Null for a null character or a null allocation; otherwise a constructed state.
VLM_API VLMCharacterState* VLMCreateCharacterState(const VLMCharacter* character, VLMAllocCallback allocate);
// Null for a null character, null memory or memory that is not 16-byte
// aligned. Otherwise writes the node count, zeroes the rest of the header and
// makes every row identity, the spare row included.
VLM_API VLMCharacterState* VLMConstructCharacterState(const VLMCharacter* character, void* memory);
// (node count + 1) x 96 + 16; 0 for a null argument.
VLM_API std::uint64_t VLMGetCharacterStateSize(const VLMCharacter* character);
VLM_API std::uint64_t VLMGetCharacterStateSizeFromState(const VLMCharacterState* state);
// The state size of the character the definition gives: node 0 counts once
// more whenever its word lacks bit 0, as creation adds it then.
VLM_API std::uint64_t VLMGetCharacterStateSizeForDefinition(const VLMCharacterDefinition* definition);
// The byte size the character block recorded at its creation; 0 for null.
VLM_API std::uint64_t VLMGetCharacterBlockSize(const VLMCharacter* character);

// --- Effector sets -----------------------------------------------------------------

// 3296.
VLM_API std::uint64_t VLMGetEffectorSetStateSize();
// A new set holds the defaults, its roll-angle block and reserved word zero.
VLM_API VLMEffectorSetState* VLMCreateEffectorSetState(VLMAllocCallback allocate);
// The same in caller memory, which must be 16-byte aligned (not tested). Runs
// without the floating-point guard. Null memory gives null.
VLM_API VLMEffectorSetState* VLMConstructEffectorSetState(void* memory);
// The defaults again; the roll-angle block keeps its values. Null gives null.
VLM_API VLMEffectorSetState* VLMResetEffectorSetState(VLMEffectorSetState* set);

// Effector transforms: T, Q, S copied to or from caller vectors of four floats
// at any address.
VLM_API void VLMGetEffectorStateTQS(const VLMEffectorSetState* set, int id, float* t, float* q, float* s);
VLM_API void VLMGetEffectorStateTQ(const VLMEffectorSetState* set, int id, float* t, float* q);
// The same at base + each offset, with 16-byte aligned stores.
VLM_API void VLMGetEffectorStateTQSAt(const VLMEffectorSetState* set, int id, void* base, std::int64_t offsetT,
                                      std::int64_t offsetQ, std::int64_t offsetS);
VLM_API void VLMGetEffectorStateTQAt(const VLMEffectorSetState* set, int id, void* base, std::int64_t offsetT,
                                     std::int64_t offsetQ);
// T, Q, S and the four blend lanes of each listed effector into its record;
// -1 (and any id outside 0..43) leaves the record alone, and the record base
// advances by the stride after every entry.
VLM_API void VLMGetEffectorStates(const VLMEffectorSetState* set, const VLMEffectorRecordLayout* layout, void* base);

// Blend lanes (VLMEffectorBlendLane). The setters store min(max(v, 0), 1), so
// NaN stores 0.
VLM_API void VLMSetEffectorReachT(VLMEffectorSetState* set, int id, float value);
VLM_API void VLMSetEffectorReachR(VLMEffectorSetState* set, int id, float value);
VLM_API void VLMSetEffectorPull(VLMEffectorSetState* set, int id, float value);
VLM_API void VLMSetEffectorStiffness(VLMEffectorSetState* set, int id, float value);
VLM_API float VLMGetEffectorReachT(const VLMEffectorSetState* set, int id);
VLM_API float VLMGetEffectorReachR(const VLMEffectorSetState* set, int id);
VLM_API float VLMGetEffectorPull(const VLMEffectorSetState* set, int id);
VLM_API float VLMGetEffectorStiffness(const VLMEffectorSetState* set, int id);
// Lanes 2 and 3 of all 44 effectors and the two hand pulls from the property
// set's pull and stiffness entries; lanes 0 and 1 are left as they are.
VLM_API void VLMSetPullAndStiffnessFromProperties(VLMEffectorSetState* set, const VLMPropertySetState* properties);

// Hand pulls. The getter reads the left pull for side 1 and the right one
// otherwise; the setter writes the left pull for any side other than 0. The
// two agree on sides 0 and 1 only.
VLM_API float VLMGetHandPull(const VLMEffectorSetState* set, int side);
VLM_API void VLMSetHandPull(VLMEffectorSetState* set, int side, float value);

// Extremity frames (0 left hand, 1 right hand, 2 left foot, 3 right foot):
// T and Q only; the scale is left as it is.
VLM_API void VLMGetExtremityTQ(const VLMEffectorSetState* set, int extremity, float* t, float* q);
VLM_API void VLMSetExtremityTQ(VLMEffectorSetState* set, int extremity, const float* t, const float* q);
VLM_API void VLMSetExtremityTQd(VLMEffectorSetState* set, int extremity, const double* t, const double* q);

// The stage word, stored as given.
VLM_API std::uint32_t VLMGetSolveStages(const VLMEffectorSetState* set);
VLM_API void VLMSetSolveStages(VLMEffectorSetState* set, std::uint32_t word);

// --- Internal forms (no guard) -------------------------------------------------------

// Every field of the set but the roll-angle block and the reserved word := its
// default: identity transforms and extremity frames, lanes 0, roll-capture flag
// 0, stage word 0xFFFFFFFF, hand pulls and body measurements 1.
VLM_API void VLMInitEffectorSetState(VLMEffectorSetState* set);

#endif

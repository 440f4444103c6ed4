// Velmora rig library: small inline operations on the records inside a block.
//
// A character addresses its per-node data through self-relative table
// descriptors (so that the whole block can be copied byte for byte), marks
// sets of rig nodes in fixed 192-bit sets, and fills or tests the small fixed
// records of the rotation definition and the effector targets. None of these
// touch the floating-point control word and none check their arguments beyond
// what is said at each function: indices and ids come from the library's own
// tables.
//
// Calling form: records are passed by pointer, vectors by reference (as in
// vlm_vector.h), scalars by value.
#ifndef VLM_RECORDS_H
#define VLM_RECORDS_H

#include "rig/vlm_layout.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Element addresses. The index is a signed 32-bit int, sign-extended, so that
// -1 addresses the spare element in front of an array.
// ---------------------------------------------------------------------------

inline float* VLMFloatArrayAt(float* array, int index) { return array + std::ptrdiff_t(index); }
inline const float* VLMFloatArrayAt(const float* array, int index) { return array + std::ptrdiff_t(index); }

inline VLMVector4* VLMVector4ArrayAt(VLMVector4* array, int index) { return array + std::ptrdiff_t(index); }
inline const VLMVector4* VLMVector4ArrayAt(const VLMVector4* array, int index) { return array + std::ptrdiff_t(index); }

// ---------------------------------------------------------------------------
// Table descriptors: two byte offsets counted from the descriptor's own
// address, first to the i32 index table by rig node id (-1 absent), then to
// element 0 of the array. An absent node's -1 lands on the spare element that
// every array keeps in front of element 0, never outside the block.
// ---------------------------------------------------------------------------

namespace vlm_detail {

inline std::uintptr_t AddressOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// descriptor + element offset + elementSize x index[id]. The arithmetic runs on
// addresses: the index table and the array are other parts of the same block.
inline std::uintptr_t TableElementAddress(const VLMTableDescriptor* descriptor, int id, std::size_t elementSize)
{
    const std::uintptr_t base = AddressOf(descriptor);
    const std::int32_t* indexTable =
        reinterpret_cast<const std::int32_t*>(base + std::uintptr_t(descriptor->indexTableOffset));
    const std::int64_t index = indexTable[id];
    return base + std::uintptr_t(descriptor->elementOffset) + std::uintptr_t(std::int64_t(elementSize) * index);
}

}  // namespace vlm_detail

// The node record of a rig node id (0..171).
inline VLMNodeRecord* VLMNodeRecordById(VLMTableDescriptor* descriptor, int id)
{
    return reinterpret_cast<VLMNodeRecord*>(vlm_detail::TableElementAddress(descriptor, id, sizeof(VLMNodeRecord)));
}
inline const VLMNodeRecord* VLMNodeRecordById(const VLMTableDescriptor* descriptor, int id)
{
    return reinterpret_cast<const VLMNodeRecord*>(
        vlm_detail::TableElementAddress(descriptor, id, sizeof(VLMNodeRecord)));
}

// The T-pose entry of a rig node id (0..171).
inline VLMTPoseEntry* VLMTPoseEntryById(VLMTableDescriptor* descriptor, int id)
{
    return reinterpret_cast<VLMTPoseEntry*>(vlm_detail::TableElementAddress(descriptor, id, sizeof(VLMTPoseEntry)));
}
inline const VLMTPoseEntry* VLMTPoseEntryById(const VLMTableDescriptor* descriptor, int id)
{
    return reinterpret_cast<const VLMTPoseEntry*>(
        vlm_detail::TableElementAddress(descriptor, id, sizeof(VLMTPoseEntry)));
}

inline VLMTableDescriptor* VLMTableDescriptorReset(VLMTableDescriptor* descriptor)
{
    descriptor->indexTableOffset = 0;
    descriptor->elementOffset = 0;
    return descriptor;
}

// Points the descriptor at element 0 of an array and at an index table, both
// as byte differences from the descriptor's own address.
inline void VLMTableDescriptorSet(VLMTableDescriptor* descriptor, const void* elements, const std::int32_t* indexTable)
{
    using vlm_detail::AddressOf;
    descriptor->indexTableOffset = std::int64_t(AddressOf(indexTable) - AddressOf(descriptor));
    descriptor->elementOffset = std::int64_t(AddressOf(elements) - AddressOf(descriptor));
}

// ---------------------------------------------------------------------------
// Node bit sets: bit i (a rig node id, below 192) is bit (i mod 32) of word
// (i div 32). Sets indexed by state row are a different type (VLMRowBitSet).
// ---------------------------------------------------------------------------

inline VLMNodeBitSet* VLMNodeBitSetFill(VLMNodeBitSet* set, int flag)
{
    const std::uint32_t word = flag != 0 ? ~std::uint32_t(0) : 0u;
    for (std::uint32_t& w : set->words)
        w = word;
    return set;
}

inline void VLMNodeBitSetClear(VLMNodeBitSet* set, std::uint32_t index)
{
    set->words[index >> 5] &= ~(1u << (index & 31u));
}

// Branch-free: word := (word and not bit) + (bit if value != 0 else 0).
inline void VLMNodeBitSetAssign(VLMNodeBitSet* set, std::uint32_t index, int value)
{
    const std::uint32_t bit = 1u << (index & 31u);
    const std::uint32_t keep = 0u - static_cast<std::uint32_t>(value != 0);
    std::uint32_t& word = set->words[index >> 5];
    word = (word & ~bit) + (bit & keep);
}

inline bool VLMNodeBitSetTest(const VLMNodeBitSet* set, std::uint32_t index)
{
    return ((set->words[index >> 5] >> (index & 31u)) & 1u) != 0;
}

// ---------------------------------------------------------------------------
// The rotation limit block: the last three fields of a rotation part
// (minimum limits x, y, z, maximum limits x, y, z, flag word). The limit
// operations take the rotation part that holds the block.
// ---------------------------------------------------------------------------

// Any limit enabled: flag bits 1 to 6. Bit 0 (assigned) and bits 7 and 8 (pre-
// and post-rotation present) do not count.
inline bool VLMHasRotationLimits(const VLMRotationPart* part) { return (part->flags & VLM_ROTFLAG_LIMITS) != 0; }

// Flag bit 7 and bit 8 as 0 or 1.
inline int VLMHasPreRotation(const VLMRotationPart* part) { return int((part->flags >> 7) & 1u); }
inline int VLMHasPostRotation(const VLMRotationPart* part) { return int((part->flags >> 8) & 1u); }

// The six limit values zero and their enable bits (flag bits 1 to 6) cleared.
// The other flag bits stay: bits 7 and 8 describe the pre- and post-rotation,
// which are still stored, and bit 0 the record's assignment to a node.
inline void VLMRotationLimitsReset(VLMRotationPart* part)
{
    part->flags &= ~VLM_ROTFLAG_LIMITS;
    for (int i = 0; i < 3; ++i) {
        part->minLimit[i] = 0.0f;
        part->maxLimit[i] = 0.0f;
    }
}

// Floats 0..2, or 3..5, of a float record := x, y, z.
inline void VLMSetFloat3At0(float* record, float x, float y, float z)
{
    record[0] = x;
    record[1] = y;
    record[2] = z;
}
inline void VLMSetFloat3At3(float* record, float x, float y, float z)
{
    record[3] = x;
    record[4] = y;
    record[5] = z;
}
// On a rotation limit block: floats 0..2 are the minimum limits, 3..5 the
// maximum limits.
inline void VLMSetFloat3At0(VLMRotationPart* part, float x, float y, float z)
{
    part->minLimit[0] = x;
    part->minLimit[1] = y;
    part->minLimit[2] = z;
}
inline void VLMSetFloat3At3(VLMRotationPart* part, float x, float y, float z)
{
    part->maxLimit[0] = x;
    part->maxLimit[1] = y;
    part->maxLimit[2] = z;
}

inline void VLMWordReset(std::uint32_t* word) { *word = 0; }

// ---------------------------------------------------------------------------
// Effector targets and solver work records. The records these operate on
// belong to the pose-state and solver layer; only the mechanics are fixed here.
// ---------------------------------------------------------------------------

// Writes the eight {T, Q} pairs of a pair array into the effector records
// named by effectorIds (T and Q only; the scale stays), each entry's vector into
// the effector's four blend floats, and the two trailing vectors into the T and
// Q of extremity record extremityIndex. An id outside 0..43, or an extremity
// index outside 0..3, is skipped rather than written outside the set.
inline void VLMStoreEffectorPairs(const VLMPairArray8* pairs, const std::int32_t effectorIds[8],
                                  std::int32_t extremityIndex, VLMEffectorSetLayout* set)
{
    for (int i = 0; i < 8; ++i) {
        const std::int32_t e = effectorIds[i];
        if (e < 0 || e >= VLM_EFFECTOR_COUNT)
            continue;
        VLMVector4Copy(set->effectors[e].t, pairs->entries[i].t);
        VLMVector4Copy(set->effectors[e].q, pairs->entries[i].q);
        VLMVector4Copy(set->blend[e], pairs->lanes[i]);
    }
    if (extremityIndex < 0 || extremityIndex >= 4)
        return;
    VLMVector4Copy(set->extremities[extremityIndex].t, pairs->trailing[0]);
    VLMVector4Copy(set->extremities[extremityIndex].q, pairs->trailing[1]);
}

// k := i + 2 when direct is true, else rowTable[i]; rotation := transforms[k].q;
// the result is vectors[k].y splatted.
inline VLMVector4& VLMPickJointRotation(VLMVector4& result, const std::int32_t* rowTable,
                                        const VLMTransformTQS* transforms, const VLMVector4* vectors, bool direct,
                                        int i, VLMVector4& rotation)
{
    const std::ptrdiff_t k = direct ? std::ptrdiff_t(i) + 2 : std::ptrdiff_t(rowTable[i]);
    VLMVector4Copy(rotation, transforms[k].q);
    return VLMVector4SplatY(result, vectors[k]);
}

// Lanes x and y of a fixed run of vectors of a record := v; the last member
// sets lane z of vectors 6 and 7.
namespace vlm_detail {
inline void SetLanesXY(VLMVector4* record, int first, int last, float v)
{
    for (int i = first; i <= last; ++i) {
        record[i].x = v;
        record[i].y = v;
    }
}
}  // namespace vlm_detail

inline void VLMSetLanePairs6To7(VLMVector4* record, float v) { vlm_detail::SetLanesXY(record, 6, 7, v); }
inline void VLMSetLanePairs9To11(VLMVector4* record, float v) { vlm_detail::SetLanesXY(record, 9, 11, v); }
inline void VLMSetLanePairs12To15(VLMVector4* record, float v) { vlm_detail::SetLanesXY(record, 12, 15, v); }
inline void VLMSetLanePairs24To31(VLMVector4* record, float v) { vlm_detail::SetLanesXY(record, 24, 31, v); }
inline void VLMSetLaneZ6To7(VLMVector4* record, float v)
{
    record[6].z = v;
    record[7].z = v;
}

#endif

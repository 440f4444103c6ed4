// Velmora rig library: construction and small operations of the records that a
// character holds per node: the rotation part (shared by node records and
// rotation records), node records, T-pose entries and parent-offset entries.
// None of these touch the floating-point control word.
#ifndef VLM_NODE_RECORD_H
#define VLM_NODE_RECORD_H

#include "rig/vlm_layout.h"

#include <cstdint>

// Rotation part: order 0, flags 0, limits 0, pre- and post-rotation identity,
// post axes zero.
VLM_API void VLMRotationRecordInit(VLMRotationPart* part);
// Rotation record: the leading vector zeroed, then the part initialised.
VLM_API VLMRotationRecord* VLMRotationRecordConstruct(VLMRotationRecord* record);
VLM_API void VLMRotationRecordCopy(VLMRotationPart* destination, const VLMRotationPart* source);

// Node record: rotation part initialised, child count and roll flag 0, every
// index, the mirror partner and the node id all ones.
VLM_API VLMNodeRecord* VLMNodeRecordInit(VLMNodeRecord* record);
VLM_API void VLMNodeRecordCopy(VLMNodeRecord* destination, const VLMNodeRecord* source);

// Hangs child under parent: the parent's first child index becomes the lowest
// own index among its children, its child count grows, and the child's parent
// index becomes the parent's own index.
VLM_API void VLMNodeRecordLink(VLMNodeRecord* child, VLMNodeRecord* parent);

// T-pose entry: translation 0, rotation identity, scale 1 (w 1), presence 0.
VLM_API VLMTPoseEntry* VLMTPoseEntryConstruct(VLMTPoseEntry* entry);
// Parent-offset entry: translation 0, rotation identity, scale 1 (w 1).
VLM_API VLMTransformTQS* VLMParentOffsetConstruct(VLMTransformTQS* entry);

// Calls construct for count elements of stride bytes from first on.
VLM_API void VLMConstructArray(void* first, std::uint64_t count, std::uint64_t stride, void (*construct)(void*));

// --- Accessors over the layout -------------------------------------------------

// Flag bits of a rotation limit block (VLM_ROTFLAG_*).
inline void VLMRotationFlagSet(VLMRotationPart* part, std::uint32_t bits, bool on)
{
    part->flags = on ? (part->flags | bits) : (part->flags & ~bits);
}
inline bool VLMRotationFlagTest(const VLMRotationPart* part, std::uint32_t bits) { return (part->flags & bits) != 0; }
inline void VLMRotationLimitsSet(VLMRotationPart* part, const float minimum[3], const float maximum[3])
{
    for (int i = 0; i < 3; ++i) {
        part->minLimit[i] = minimum[i];
        part->maxLimit[i] = maximum[i];
    }
}
inline void VLMRotationLimitsGet(const VLMRotationPart* part, float minimum[3], float maximum[3])
{
    for (int i = 0; i < 3; ++i) {
        minimum[i] = part->minLimit[i];
        maximum[i] = part->maxLimit[i];
    }
}

inline void VLMNodeRecordSetRotationIndex(VLMNodeRecord* record, std::uint64_t index) { record->rotationIndex = index; }
inline void VLMNodeRecordSetParentOffsetIndex(VLMNodeRecord* record, std::uint64_t index)
{
    record->parentOffsetIndex = index;
}
inline std::uint64_t VLMNodeRecordRotationIndex(const VLMNodeRecord* record) { return record->rotationIndex; }
inline bool VLMNodeRecordHasRotation(const VLMNodeRecord* record) { return record->rotationIndex != VLM_INDEX_NONE; }
inline bool VLMNodeRecordHasParentOffset(const VLMNodeRecord* record)
{
    return record->parentOffsetIndex != VLM_INDEX_NONE;
}

// Element addresses. Indices are taken as signed so that all ones (none, or
// compact index -1) addresses the element just in front of the base: the
// spare record of a record array.
inline VLMRotationRecord* VLMRotationRecordAt(VLMRotationRecord* base, std::uint64_t index)
{
    return reinterpret_cast<VLMRotationRecord*>(reinterpret_cast<unsigned char*>(base) +
                                                std::int64_t(sizeof(VLMRotationRecord)) * std::int64_t(index));
}
inline VLMTransformTQS* VLMParentOffsetAt(VLMTransformTQS* base, std::uint64_t index)
{
    return reinterpret_cast<VLMTransformTQS*>(reinterpret_cast<unsigned char*>(base) +
                                              std::int64_t(sizeof(VLMTransformTQS)) * std::int64_t(index));
}
inline VLMNodeRecord* VLMNodeRecordAt(VLMNodeRecord* base, std::int64_t index)
{
    return reinterpret_cast<VLMNodeRecord*>(reinterpret_cast<unsigned char*>(base) +
                                            std::int64_t(sizeof(VLMNodeRecord)) * index);
}
inline const VLMNodeRecord* VLMNodeRecordAt(const VLMNodeRecord* base, std::int64_t index)
{
    return VLMNodeRecordAt(const_cast<VLMNodeRecord*>(base), index);
}
// The parent record of a record (the spare record when it has no parent).
inline const VLMNodeRecord* VLMNodeRecordParent(const VLMNodeRecord* base, const VLMNodeRecord* record)
{
    return VLMNodeRecordAt(base, std::int64_t(record->parentIndex));
}
// The i-th child record; i must be below the child count.
inline const VLMNodeRecord* VLMNodeRecordChild(const VLMNodeRecord* base, const VLMNodeRecord* record, std::uint32_t i)
{
    return VLMNodeRecordAt(base, std::int64_t(record->firstChildIndex) + std::int64_t(i));
}

#endif

// Velmora rig library: the rig character. A VLMCharacter is one 16-byte aligned
// block of caller memory built from 172 definition words: the header (root
// record, limbs, descriptors, skeleton fields, extremities, node map, counts
// and offsets), then the T-pose entries and node records (each array with a
// spare element in front for absent nodes), the parent-offset entries and the
// rotation records. Every reference inside is an offset, so a byte-for-byte
// copy at another 16-byte aligned address is an equal character.
#ifndef VLM_CHARACTER_H
#define VLM_CHARACTER_H

#include "rig/vlm_base.h"
#include "rig/vlm_layout.h"

#include <cstdint>

// Definition word bits.
enum : std::uint32_t {
    VLM_DEF_USED = 1u << 0,      // the node has a record, a T-pose entry and a parent-offset entry
    VLM_DEF_RESERVED = 1u << 1,  // no meaning of its own
    VLM_DEF_ROTATION = 1u << 2,  // with VLM_DEF_USED: the node also has a rotation record
    VLM_DEF_FULL = 7u            // all three: a full rotation definition
};

struct VLMDefinitionCounts {
    std::uint32_t used;           // words with bit 0
    std::uint32_t parentOffsets;  // words with bit 0 and (bit 0 or 1): equal to used
    std::uint32_t rotations;      // words with bits 0 and 2
    std::uint32_t addsReference;  // 1 when word 0 lacks bit 0: Reference is added all the same
    std::uint32_t nodes;          // used + addsReference
};

struct VLMCharacterParts {
    std::uint64_t header;
    std::uint64_t tposeEntries;
    std::uint64_t nodeRecords;
    std::uint64_t parentOffsets;
    std::uint64_t rotationRecords;
};

// --- Entry points (under the floating-point guard) ----------------------------

// Bytes of the character block of a definition (without the allocation
// slack); 0 for a null definition.
VLM_API std::uint64_t VLMGetCharacterSize(const VLMCharacterDefinition* definition);
// Null when the definition or the callback is null or the callback answers
// null. Released with VLMDestroyCharacter.
VLM_API VLMCharacter* VLMCreateCharacter(const VLMCharacterDefinition* definition, VLMAllocCallback allocate);
// The same in caller memory of VLMGetCharacterSize bytes; null when the memory
// is null or not 16-byte aligned.
VLM_API VLMCharacter* VLMConstructCharacter(const VLMCharacterDefinition* definition, void* memory);

// 0 for a node the character lacks (or an id outside 0..171); else 7 when the
// node has a rotation record, 3 when it has a parent-offset entry, 1 otherwise.
VLM_API int VLMGetNodeDefinitionBits(const VLMCharacter* character, int id);

// The rig tree. Node 0 is the root: no parent, one child, Hips. A node the
// character lacks, or an id outside 0..171, has no parent (-1) and no
// children; a child index outside 0..count-1 gives -1.
VLM_API int VLMGetParentNodeId(const VLMCharacter* character, int id);
VLM_API int VLMGetChildNodeCount(const VLMCharacter* character, int id);
VLM_API int VLMGetChildNodeId(const VLMCharacter* character, int id, int i);

// The node that carries an effector: the body node, Hips, the chest node, or
// for a digit effector its joint 2, counted from 0 (joint 0 for a digit of one
// or two joints);
// -1 for a digit without joints or an effector id outside 0..43.
VLM_API int VLMEffectorNodeIndex(const VLMCharacter* character, int effectorId);

// --- Plain helpers (no guard) --------------------------------------------------

VLM_API void VLMCountDefinitionNodes(const VLMCharacterDefinition* definition, VLMDefinitionCounts* counts);
// Part sizes for p parent-offset entries, r rotation records, t T-pose entries
// and the given number of node records, each rounded up to 16 bytes; returns
// their sum with the header.
VLM_API std::uint64_t VLMCharacterPartSizes(std::uint64_t p, std::uint64_t r, std::uint64_t t, std::uint64_t records,
                                            VLMCharacterParts* parts);

// Root record initialised, limbs reset, descriptors, counts and offsets zero,
// node map all absent.
VLM_API void VLMResetCharacterHeader(VLMCharacter* character);
VLM_API VLMCharacter* VLMConstructCharacterHeader(VLMCharacter* character);
// Fills the node map and numbers it, builds the skeleton and assigns the
// parent-offset entries and rotation records. The two per-node arrays are
// passed at their spare element.
VLM_API void VLMInitCharacter(VLMCharacter* character, const VLMCharacterDefinition* definition,
                              VLMTPoseEntry* tposeEntries, VLMNodeRecord* nodeRecords, VLMTransformTQS* parentOffsets,
                              VLMRotationRecord* rotationRecords);
// The skeleton build: descriptors, presence words, records, mirror partners,
// extremities, the tree, limbs and digit words. Arrays at their spare element.
VLM_API void VLMBuildSkeleton(VLMCharacter* character, VLMTPoseEntry* tposeEntries, VLMNodeRecord* nodeRecords);
// The tree step of the build (links, roll flags, chains, digits, limbs, digit words).
VLM_API void VLMLinkNodeTree(VLMCharacter* character);
VLM_API void VLMLimbReset(VLMLimb* limb);
VLM_API void VLMExtremityReset(VLMExtremity* extremity);

// --- Accessors over the layout --------------------------------------------------

inline VLMCharacterHeader* VLMCharacterHeaderOf(VLMCharacter* character)
{
    return reinterpret_cast<VLMCharacterHeader*>(character);
}
inline const VLMCharacterHeader* VLMCharacterHeaderOf(const VLMCharacter* character)
{
    return reinterpret_cast<const VLMCharacterHeader*>(character);
}

// Element k of a descriptor's array (k = -1: the spare element).
template <class T>
inline T* VLMDescriptorElement(const VLMTableDescriptor* descriptor, std::int64_t k)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(descriptor) + descriptor->elementOffset;
    return reinterpret_cast<T*>(const_cast<unsigned char*>(base) + std::int64_t(sizeof(T)) * k);
}
inline const std::int32_t* VLMDescriptorIndexTable(const VLMTableDescriptor* descriptor)
{
    return reinterpret_cast<const std::int32_t*>(reinterpret_cast<const unsigned char*>(descriptor) +
                                                 descriptor->indexTableOffset);
}

// Compact index of a node id: -1 for a node the character lacks and for any
// id outside 0..171.
inline std::int32_t VLMCharacterCompactIndex(const VLMCharacter* character, int id)
{
    if (static_cast<unsigned>(id) >= unsigned(VLM_NODE_COUNT))
        return -1;
    return VLMDescriptorIndexTable(&VLMCharacterHeaderOf(character)->nodes)[id];
}

// Record 0 (compact index 0); record -1 is the spare.
inline VLMNodeRecord* VLMCharacterNodeRecords(VLMCharacter* character)
{
    return reinterpret_cast<VLMNodeRecord*>(reinterpret_cast<unsigned char*>(character) +
                                            VLMCharacterHeaderOf(character)->nodeRecordOffset);
}
inline const VLMNodeRecord* VLMCharacterNodeRecords(const VLMCharacter* character)
{
    return VLMCharacterNodeRecords(const_cast<VLMCharacter*>(character));
}
// The record of a node id (the spare record for an absent node).
inline VLMNodeRecord* VLMCharacterNodeRecord(VLMCharacter* character, int id)
{
    return VLMDescriptorElement<VLMNodeRecord>(&VLMCharacterHeaderOf(character)->nodes,
                                               VLMCharacterCompactIndex(character, id));
}
inline const VLMNodeRecord* VLMCharacterNodeRecord(const VLMCharacter* character, int id)
{
    return VLMCharacterNodeRecord(const_cast<VLMCharacter*>(character), id);
}

// T-pose entry 0; entry -1 is the spare.
inline VLMTPoseEntry* VLMCharacterTPoseEntries(VLMCharacter* character)
{
    return VLMDescriptorElement<VLMTPoseEntry>(&VLMCharacterHeaderOf(character)->tpose, 0);
}
// The T-pose entry of a node id (the spare entry for an absent node).
inline VLMTPoseEntry* VLMCharacterTPoseEntry(VLMCharacter* character, int id)
{
    const VLMTableDescriptor* d = &VLMCharacterHeaderOf(character)->tpose;
    const std::int64_t k = static_cast<unsigned>(id) < unsigned(VLM_NODE_COUNT) ? VLMDescriptorIndexTable(d)[id] : -1;
    return VLMDescriptorElement<VLMTPoseEntry>(d, k);
}
inline const VLMTPoseEntry* VLMCharacterTPoseEntry(const VLMCharacter* character, int id)
{
    return VLMCharacterTPoseEntry(const_cast<VLMCharacter*>(character), id);
}

inline VLMTransformTQS* VLMCharacterParentOffsets(VLMCharacter* character)
{
    return reinterpret_cast<VLMTransformTQS*>(reinterpret_cast<unsigned char*>(character) +
                                              VLMCharacterHeaderOf(character)->parentOffsetOffset);
}
inline VLMRotationRecord* VLMCharacterRotationRecords(VLMCharacter* character)
{
    return reinterpret_cast<VLMRotationRecord*>(reinterpret_cast<unsigned char*>(character) +
                                                VLMCharacterHeaderOf(character)->rotationOffset);
}

#endif

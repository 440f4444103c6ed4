#include "rig/vlm_character.h"

#include "rig/vlm_frame.h"
#include "rig/vlm_names.h"
#include "rig/vlm_node_record.h"

#include <cstring>

namespace {

constexpr std::uint64_t roundUp16(std::uint64_t bytes) { return (bytes + 15) & ~std::uint64_t(15); }

std::uint64_t characterSize(const VLMDefinitionCounts& c, VLMCharacterParts* parts)
{
    return VLMCharacterPartSizes(c.parentOffsets, c.rotations, std::uint64_t(c.nodes) + 1, std::uint64_t(c.nodes) + 1,
                                 parts);
}

void constructTPoseEntry(void* at) { VLMTPoseEntryConstruct(static_cast<VLMTPoseEntry*>(at)); }
void constructNodeRecord(void* at) { VLMNodeRecordInit(static_cast<VLMNodeRecord*>(at)); }
void constructParentOffset(void* at) { VLMParentOffsetConstruct(static_cast<VLMTransformTQS*>(at)); }
void constructRotationRecord(void* at) { VLMRotationRecordConstruct(static_cast<VLMRotationRecord*>(at)); }

// Creation steps after the count: header reset, arrays, counts, init.
VLMCharacter* constructCharacter(const VLMCharacterDefinition* definition, void* memory,
                                 const VLMDefinitionCounts& counts)
{
    VLMCharacterParts parts;
    const std::uint64_t size = characterSize(counts, &parts);
    VLMCharacter* character = static_cast<VLMCharacter*>(memory);
    unsigned char* block = static_cast<unsigned char*>(memory);
    VLMResetCharacterHeader(character);

    // Zero the arrays first so that padding inside the records is defined:
    // two characters of one definition are equal byte for byte.
    std::memset(block + parts.header, 0, size - parts.header);
    unsigned char* at = block + parts.header;
    VLMTPoseEntry* tposeEntries = reinterpret_cast<VLMTPoseEntry*>(at);
    VLMConstructArray(at, std::uint64_t(counts.nodes) + 1, sizeof(VLMTPoseEntry), constructTPoseEntry);
    at += parts.tposeEntries;
    VLMNodeRecord* nodeRecords = reinterpret_cast<VLMNodeRecord*>(at);
    VLMConstructArray(at, std::uint64_t(counts.nodes) + 1, sizeof(VLMNodeRecord), constructNodeRecord);
    at += parts.nodeRecords;
    VLMTransformTQS* parentOffsets = reinterpret_cast<VLMTransformTQS*>(at);
    VLMConstructArray(at, counts.parentOffsets, sizeof(VLMTransformTQS), constructParentOffset);
    at += parts.parentOffsets;
    VLMRotationRecord* rotationRecords = reinterpret_cast<VLMRotationRecord*>(at);
    VLMConstructArray(at, counts.rotations, sizeof(VLMRotationRecord), constructRotationRecord);

    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    header->nodeCount = counts.nodes;
    header->blockSize = static_cast<std::uint32_t>(size);
    VLMInitCharacter(character, definition, tposeEntries, nodeRecords, parentOffsets, rotationRecords);
    return character;
}

}  // namespace

void VLMCountDefinitionNodes(const VLMCharacterDefinition* definition, VLMDefinitionCounts* counts)
{
    VLMDefinitionCounts c = {};
    for (std::uint32_t word : definition->words) {
        if (word & VLM_DEF_USED)
            ++c.used;
        if ((word & VLM_DEF_USED) && (word & (VLM_DEF_USED | VLM_DEF_RESERVED)))
            ++c.parentOffsets;
        if ((word & (VLM_DEF_USED | VLM_DEF_ROTATION)) == (VLM_DEF_USED | VLM_DEF_ROTATION))
            ++c.rotations;
    }
    c.addsReference = (definition->words[VLM_NODE_REFERENCE] & VLM_DEF_USED) ? 0 : 1;
    c.nodes = c.used + c.addsReference;
    *counts = c;
}

std::uint64_t VLMCharacterPartSizes(std::uint64_t p, std::uint64_t r, std::uint64_t t, std::uint64_t records,
                                    VLMCharacterParts* parts)
{
    VLMCharacterParts s;
    s.header = VLM_CHARACTER_HEADER_SIZE;
    s.tposeEntries = roundUp16(sizeof(VLMTPoseEntry) * t);
    s.nodeRecords = roundUp16(sizeof(VLMNodeRecord) * records);
    s.parentOffsets = roundUp16(sizeof(VLMTransformTQS) * p);
    s.rotationRecords = roundUp16(sizeof(VLMRotationRecord) * r);
    if (parts)
        *parts = s;
    return s.header + s.tposeEntries + s.nodeRecords + s.parentOffsets + s.rotationRecords;
}

std::uint64_t VLMGetCharacterSize(const VLMCharacterDefinition* definition)
{
    VLMScopedFPGuard guard;
    if (!definition)
        return 0;
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(definition, &counts);
    return characterSize(counts, nullptr);
}

VLMCharacter* VLMCreateCharacter(const VLMCharacterDefinition* definition, VLMAllocCallback allocate)
{
    VLMScopedFPGuard guard;
    if (!definition || !allocate)
        return nullptr;
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(definition, &counts);
    void* block = VLMAllocAligned(characterSize(counts, nullptr), 16, 0, allocate);
    if (!block)
        return nullptr;
    return constructCharacter(definition, block, counts);
}

VLMCharacter* VLMConstructCharacter(const VLMCharacterDefinition* definition, void* memory)
{
    VLMScopedFPGuard guard;
    if (!definition || !memory || (reinterpret_cast<std::uintptr_t>(memory) & 15) != 0)
        return nullptr;
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(definition, &counts);
    return constructCharacter(definition, memory, counts);
}

void VLMResetCharacterHeader(VLMCharacter* character)
{
    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    std::memset(static_cast<void*>(header), 0, sizeof *header);
    VLMNodeRecordInit(&header->root);
    for (VLMLimb& limb : header->limbs)
        VLMLimbReset(&limb);
    for (std::int32_t& entry : header->nodeMap)
        entry = -1;
}

VLMCharacter* VLMConstructCharacterHeader(VLMCharacter* character)
{
    VLMResetCharacterHeader(character);
    return character;
}

void VLMInitCharacter(VLMCharacter* character, const VLMCharacterDefinition* definition, VLMTPoseEntry* tposeEntries,
                      VLMNodeRecord* nodeRecords, VLMTransformTQS* parentOffsets, VLMRotationRecord* rotationRecords)
{
    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    unsigned char* block = reinterpret_cast<unsigned char*>(character);
    const std::uint32_t* words = definition->words;

    header->nodeMap[VLM_NODE_REFERENCE] = 0;
    for (int id = 1; id < VLM_NODE_COUNT; ++id)
        header->nodeMap[id] = (words[id] & VLM_DEF_USED) ? 0 : -1;
    VLMAssignCompactIndices(header->nodeMap);

    header->nodeRecordOffset = std::uint64_t(reinterpret_cast<unsigned char*>(nodeRecords + 1) - block);
    VLMBuildSkeleton(character, tposeEntries, nodeRecords);
    header->parentOffsetOffset = std::uint64_t(reinterpret_cast<unsigned char*>(parentOffsets) - block);
    header->rotationOffset = std::uint64_t(reinterpret_cast<unsigned char*>(rotationRecords) - block);

    // Reference's entries come first in node-id order, so when it has them
    // they are entry 0 of each array. A word 0 with bit 1 or 2 but without
    // bit 0 gives Reference no entry: the root must not point at another
    // node's entry, or past an empty array.
    const std::uint32_t word0 = words[VLM_NODE_REFERENCE];
    if (word0 & VLM_DEF_USED) {
        header->root.parentOffsetIndex = 0;
        if (word0 & VLM_DEF_ROTATION)
            header->root.rotationIndex = 0;
    }

    std::uint64_t nextParentOffset = 0;
    std::uint64_t nextRotation = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!(words[id] & VLM_DEF_USED))
            continue;
        VLMNodeRecord* record = VLMNodeRecordAt(nodeRecords + 1, header->nodeMap[id]);
        record->parentOffsetIndex = nextParentOffset++;
        if (words[id] & VLM_DEF_ROTATION) {
            record->rotationIndex = nextRotation;
            rotationRecords[nextRotation].part.flags |= VLM_ROTFLAG_ASSIGNED;
            ++nextRotation;
        }
    }
}

int VLMGetNodeDefinitionBits(const VLMCharacter* character, int id)
{
    VLMScopedFPGuard guard;
    if (!character || VLMCharacterCompactIndex(character, id) < 0)
        return 0;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
    if (VLMNodeRecordHasRotation(record))
        return 7;
    if (VLMNodeRecordHasParentOffset(record))
        return 3;
    return 1;
}

int VLMGetParentNodeId(const VLMCharacter* character, int id)
{
    VLMScopedFPGuard guard;
    if (!character || id == VLM_NODE_REFERENCE || VLMCharacterCompactIndex(character, id) < 0)
        return -1;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
    if (record->parentIndex == VLM_INDEX_NONE)
        return -1;
    return static_cast<std::int32_t>(VLMNodeRecordParent(VLMCharacterNodeRecords(character), record)->nodeId);
}

int VLMGetChildNodeCount(const VLMCharacter* character, int id)
{
    VLMScopedFPGuard guard;
    if (!character)
        return 0;
    if (id == VLM_NODE_REFERENCE)
        return 1;
    if (VLMCharacterCompactIndex(character, id) < 0)
        return 0;
    return static_cast<int>(VLMCharacterNodeRecord(character, id)->childCount);
}

int VLMGetChildNodeId(const VLMCharacter* character, int id, int i)
{
    VLMScopedFPGuard guard;
    if (!character || i < 0)
        return -1;
    if (id == VLM_NODE_REFERENCE)
        return i == 0 ? VLM_NODE_HIPS : -1;
    if (VLMCharacterCompactIndex(character, id) < 0)
        return -1;
    const VLMNodeRecord* record = VLMCharacterNodeRecord(character, id);
    if (static_cast<std::uint32_t>(i) >= record->childCount)
        return -1;
    const VLMNodeRecord* child =
        VLMNodeRecordChild(VLMCharacterNodeRecords(character), record, static_cast<std::uint32_t>(i));
    return static_cast<std::int32_t>(child->nodeId);
}

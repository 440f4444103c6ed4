#include "rig/vlm_node_record.h"

#include "rig/vlm_constants.h"

#include <cstring>

namespace {

constexpr VLMVector4 kZero = {0.0f, 0.0f, 0.0f, 0.0f};
constexpr VLMVector4 kUnitScale = {1.0f, 1.0f, 1.0f, 1.0f};

}  // namespace

void VLMRotationRecordInit(VLMRotationPart* part)
{
    part->preRotation = VLMConstant::IdentityQuat;
    part->postRotation = VLMConstant::IdentityQuat;
    for (VLMVector4& axis : part->postAxes)
        axis = kZero;
    part->rotationOrder = 0;
    for (int i = 0; i < 3; ++i) {
        part->minLimit[i] = 0.0f;
        part->maxLimit[i] = 0.0f;
    }
    part->flags = 0;
}

VLMRotationRecord* VLMRotationRecordConstruct(VLMRotationRecord* record)
{
    record->lead = kZero;
    VLMRotationRecordInit(&record->part);
    return record;
}

void VLMRotationRecordCopy(VLMRotationPart* destination, const VLMRotationPart* source)
{
    std::memmove(destination, source, sizeof(VLMRotationPart));
}

VLMNodeRecord* VLMNodeRecordInit(VLMNodeRecord* record)
{
    VLMRotationRecordInit(&record->rotation);
    record->rotationIndex = VLM_INDEX_NONE;
    record->parentOffsetIndex = VLM_INDEX_NONE;
    record->parentIndex = VLM_INDEX_NONE;
    record->firstChildIndex = VLM_INDEX_NONE;
    record->childCount = 0;
    record->ownIndex = VLM_INDEX_NONE;
    record->mirrorPartner = VLM_INDEX32_NONE;
    record->rollFlag = 0;
    record->nodeId = VLM_INDEX32_NONE;
    return record;
}

void VLMNodeRecordCopy(VLMNodeRecord* destination, const VLMNodeRecord* source)
{
    std::memmove(destination, source, sizeof(VLMNodeRecord));
}

void VLMNodeRecordLink(VLMNodeRecord* child, VLMNodeRecord* parent)
{
    if (child->ownIndex < parent->firstChildIndex)
        parent->firstChildIndex = child->ownIndex;
    ++parent->childCount;
    child->parentIndex = parent->ownIndex;
}

VLMTPoseEntry* VLMTPoseEntryConstruct(VLMTPoseEntry* entry)
{
    entry->t = kZero;
    entry->q = VLMConstant::IdentityQuat;
    entry->s = kUnitScale;
    entry->presence = 0;
    entry->unused[0] = entry->unused[1] = entry->unused[2] = 0;
    return entry;
}

VLMTransformTQS* VLMParentOffsetConstruct(VLMTransformTQS* entry)
{
    entry->t = kZero;
    entry->q = VLMConstant::IdentityQuat;
    entry->s = kUnitScale;
    return entry;
}

void VLMConstructArray(void* first, std::uint64_t count, std::uint64_t stride, void (*construct)(void*))
{
    unsigned char* at = static_cast<unsigned char*>(first);
    for (std::uint64_t i = 0; i < count; ++i, at += stride)
        construct(at);
}

#include "rig/solver/vlm_state.h"

#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cstring>

namespace {

using vlm_entry::IsEffector;
using vlm_entry::IsExtremity;

unsigned char* BytesAt(void* base, std::int64_t offset) { return static_cast<unsigned char*>(base) + offset; }

void StoreAligned(void* target, const VLMVector4& v) { *static_cast<VLMVector4*>(target) = v; }

void SetLane(VLMEffectorSetState* set, int id, int lane, float value)
{
    if (set && IsEffector(id))
        (&VLMEffectorSetLayoutOf(set)->blend[id].x)[lane] = VLMClamp01Float(value);
}

float GetLane(const VLMEffectorSetState* set, int id, int lane)
{
    if (!set || !IsEffector(id))
        return 0.0f;
    return (&VLMEffectorSetLayoutOf(set)->blend[id].x)[lane];
}

// A new set: the defaults, and the fields the defaults leave alone zeroed so
// that a new block never holds what the allocation happened to contain.
VLMEffectorSetState* ConstructEffectorSet(void* memory)
{
    VLMEffectorSetLayout* layout = static_cast<VLMEffectorSetLayout*>(memory);
    std::memset(layout->rollAngles, 0, sizeof layout->rollAngles);
    layout->reserved = 0;
    VLMEffectorSetState* set = static_cast<VLMEffectorSetState*>(memory);
    VLMInitEffectorSetState(set);
    return set;
}

VLMCharacterState* ConstructState(const VLMCharacter* character, void* memory)
{
    VLMCharacterStateHeader* header = static_cast<VLMCharacterStateHeader*>(memory);
    const std::uint32_t count = VLMCharacterHeaderOf(character)->nodeCount;
    header->nodeCount = count;
    header->unused[0] = header->unused[1] = header->unused[2] = 0;
    VLMConstructStateRows(VLMStateRowAt(memory, -1), std::uint64_t(count) + 1);
    return static_cast<VLMCharacterState*>(memory);
}

}  // namespace

// --- Character states ----------------------------------------------------------

VLMCharacterState* VLMCreateCharacterState(const VLMCharacter* character, VLMAllocCallback allocate)
{
    VLMScopedFPGuard guard;
    if (!character || !allocate)
        return nullptr;
    void* block = VLMAllocAligned(VLMCharacterStateSize(VLMCharacterHeaderOf(character)->nodeCount), 16, 0, allocate);
    if (!block)
        return nullptr;
    return ConstructState(character, block);
}

VLMCharacterState* VLMConstructCharacterState(const VLMCharacter* character, void* memory)
{
    VLMScopedFPGuard guard;
    if (!character || !memory || (reinterpret_cast<std::uintptr_t>(memory) & 15u) != 0)
        return nullptr;
    return ConstructState(character, memory);
}

std::uint64_t VLMGetCharacterStateSize(const VLMCharacter* character)
{
    VLMScopedFPGuard guard;
    return character ? VLMCharacterStateSize(VLMCharacterHeaderOf(character)->nodeCount) : 0;
}

std::uint64_t VLMGetCharacterStateSizeFromState(const VLMCharacterState* state)
{
    VLMScopedFPGuard guard;
    return state ? VLMCharacterStateSize(reinterpret_cast<const VLMCharacterStateHeader*>(state)->nodeCount) : 0;
}

std::uint64_t VLMGetCharacterStateSizeForDefinition(const VLMCharacterDefinition* definition)
{
    VLMScopedFPGuard guard;
    if (!definition)
        return 0;
    // The same count creation uses: node 0 is added whenever its word lacks
    // bit 0, whatever its other bits hold.
    VLMDefinitionCounts counts;
    VLMCountDefinitionNodes(definition, &counts);
    return VLMCharacterStateSize(counts.nodes);
}

std::uint64_t VLMGetCharacterBlockSize(const VLMCharacter* character)
{
    VLMScopedFPGuard guard;
    return character ? VLMCharacterHeaderOf(character)->blockSize : 0;
}

// --- Effector sets -----------------------------------------------------------------

void VLMInitEffectorSetState(VLMEffectorSetState* set)
{
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    VLMResetEffectorRecords(layout);
    for (VLMTransformTQS& frame : layout->extremities)
        VLMTQSReset(&frame);
    layout->rollCaptured = 0;
    layout->stageWord = 0xFFFFFFFFu;
    layout->leftHandPull = 1.0f;
    layout->rightHandPull = 1.0f;
    for (float& m : layout->bodyMeasurements)
        m = 1.0f;
}

std::uint64_t VLMGetEffectorSetStateSize()
{
    VLMScopedFPGuard guard;
    return sizeof(VLMEffectorSetLayout);
}

VLMEffectorSetState* VLMCreateEffectorSetState(VLMAllocCallback allocate)
{
    VLMScopedFPGuard guard;
    if (!allocate)
        return nullptr;
    void* block = VLMAllocAligned(sizeof(VLMEffectorSetLayout), 16, 0, allocate);
    return block ? ConstructEffectorSet(block) : nullptr;
}

VLMEffectorSetState* VLMConstructEffectorSetState(void* memory)
{
    return memory ? ConstructEffectorSet(memory) : nullptr;
}

VLMEffectorSetState* VLMResetEffectorSetState(VLMEffectorSetState* set)
{
    VLMScopedFPGuard guard;
    if (set)
        VLMInitEffectorSetState(set);
    return set;
}

void VLMGetEffectorStateTQS(const VLMEffectorSetState* set, int id, float* t, float* q, float* s)
{
    VLMScopedFPGuard guard;
    if (!set || !IsEffector(id))
        return;
    const VLMTransformTQS& e = VLMEffectorSetLayoutOf(set)->effectors[id];
    VLMVector4StoreUnaligned(t, e.t);
    VLMVector4StoreUnaligned(q, e.q);
    VLMVector4StoreUnaligned(s, e.s);
}

void VLMGetEffectorStateTQ(const VLMEffectorSetState* set, int id, float* t, float* q)
{
    VLMScopedFPGuard guard;
    if (!set || !IsEffector(id))
        return;
    const VLMTransformTQS& e = VLMEffectorSetLayoutOf(set)->effectors[id];
    VLMVector4StoreUnaligned(t, e.t);
    VLMVector4StoreUnaligned(q, e.q);
}

void VLMGetEffectorStateTQSAt(const VLMEffectorSetState* set, int id, void* base, std::int64_t offsetT,
                              std::int64_t offsetQ, std::int64_t offsetS)
{
    VLMScopedFPGuard guard;
    if (!set || !base || !IsEffector(id))
        return;
    const VLMTransformTQS& e = VLMEffectorSetLayoutOf(set)->effectors[id];
    StoreAligned(BytesAt(base, offsetT), e.t);
    StoreAligned(BytesAt(base, offsetQ), e.q);
    StoreAligned(BytesAt(base, offsetS), e.s);
}

void VLMGetEffectorStateTQAt(const VLMEffectorSetState* set, int id, void* base, std::int64_t offsetT,
                             std::int64_t offsetQ)
{
    VLMScopedFPGuard guard;
    if (!set || !base || !IsEffector(id))
        return;
    const VLMTransformTQS& e = VLMEffectorSetLayoutOf(set)->effectors[id];
    StoreAligned(BytesAt(base, offsetT), e.t);
    StoreAligned(BytesAt(base, offsetQ), e.q);
}

void VLMGetEffectorStates(const VLMEffectorSetState* set, const VLMEffectorRecordLayout* layout, void* base)
{
    VLMScopedFPGuard guard;
    if (!set || !layout || !layout->effectorIds || !base)
        return;
    const VLMEffectorSetLayout* source = VLMEffectorSetLayoutOf(set);
    unsigned char* record = static_cast<unsigned char*>(base);
    for (const std::int32_t* id = layout->effectorIds; *id != VLM_LIST_END; ++id, record += layout->stride) {
        if (!IsEffector(*id))
            continue;
        const VLMTransformTQS& e = source->effectors[*id];
        StoreAligned(record + layout->offsetT, e.t);
        StoreAligned(record + layout->offsetQ, e.q);
        StoreAligned(record + layout->offsetS, e.s);
        StoreAligned(record + layout->offsetLanes, source->blend[*id]);
    }
}

void VLMSetEffectorReachT(VLMEffectorSetState* set, int id, float value)
{
    VLMScopedFPGuard guard;
    SetLane(set, id, VLM_BLEND_REACH_T, value);
}

void VLMSetEffectorReachR(VLMEffectorSetState* set, int id, float value)
{
    VLMScopedFPGuard guard;
    SetLane(set, id, VLM_BLEND_REACH_R, value);
}

void VLMSetEffectorPull(VLMEffectorSetState* set, int id, float value)
{
    VLMScopedFPGuard guard;
    SetLane(set, id, VLM_BLEND_PULL, value);
}

void VLMSetEffectorStiffness(VLMEffectorSetState* set, int id, float value)
{
    VLMScopedFPGuard guard;
    SetLane(set, id, VLM_BLEND_STIFFNESS, value);
}

float VLMGetEffectorReachT(const VLMEffectorSetState* set, int id)
{
    VLMScopedFPGuard guard;
    return GetLane(set, id, VLM_BLEND_REACH_T);
}

float VLMGetEffectorReachR(const VLMEffectorSetState* set, int id)
{
    VLMScopedFPGuard guard;
    return GetLane(set, id, VLM_BLEND_REACH_R);
}

float VLMGetEffectorPull(const VLMEffectorSetState* set, int id)
{
    VLMScopedFPGuard guard;
    return GetLane(set, id, VLM_BLEND_PULL);
}

float VLMGetEffectorStiffness(const VLMEffectorSetState* set, int id)
{
    VLMScopedFPGuard guard;
    return GetLane(set, id, VLM_BLEND_STIFFNESS);
}

void VLMSetPullAndStiffnessFromProperties(VLMEffectorSetState* set, const VLMPropertySetState* properties)
{
    VLMScopedFPGuard guard;
    if (!set || !properties)
        return;
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    VLMSetEffectorPullFromProperties(layout, properties);
    VLMSetEffectorStiffnessFromProperties(layout, properties);
    VLMSetHandPullFromProperties(layout, properties);
}

float VLMGetHandPull(const VLMEffectorSetState* set, int side)
{
    VLMScopedFPGuard guard;
    if (!set)
        return 0.0f;
    const VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    return side == 1 ? layout->leftHandPull : layout->rightHandPull;
}

void VLMSetHandPull(VLMEffectorSetState* set, int side, float value)
{
    VLMScopedFPGuard guard;
    if (!set)
        return;
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    (side != 0 ? layout->leftHandPull : layout->rightHandPull) = VLMClamp01Float(value);
}

void VLMGetExtremityTQ(const VLMEffectorSetState* set, int extremity, float* t, float* q)
{
    VLMScopedFPGuard guard;
    if (!set || !IsExtremity(extremity))
        return;
    const VLMTransformTQS& frame = VLMEffectorSetLayoutOf(set)->extremities[extremity];
    VLMVector4StoreUnaligned(t, frame.t);
    VLMVector4StoreUnaligned(q, frame.q);
}

void VLMSetExtremityTQ(VLMEffectorSetState* set, int extremity, const float* t, const float* q)
{
    VLMScopedFPGuard guard;
    if (!set || !IsExtremity(extremity))
        return;
    VLMTransformTQS& frame = VLMEffectorSetLayoutOf(set)->extremities[extremity];
    frame.t = VLMVector4LoadUnaligned(t);
    frame.q = VLMVector4LoadUnaligned(q);
}

void VLMSetExtremityTQd(VLMEffectorSetState* set, int extremity, const double* t, const double* q)
{
    VLMScopedFPGuard guard;
    if (!set || !IsExtremity(extremity))
        return;
    VLMTransformTQS& frame = VLMEffectorSetLayoutOf(set)->extremities[extremity];
    frame.t = VLMVector4FromDoubles(t[0], t[1], t[2], t[3]);
    frame.q = VLMVector4FromDoubles(q[0], q[1], q[2], q[3]);
}

std::uint32_t VLMGetSolveStages(const VLMEffectorSetState* set)
{
    VLMScopedFPGuard guard;
    return set ? VLMEffectorSetLayoutOf(set)->stageWord : 0u;
}

void VLMSetSolveStages(VLMEffectorSetState* set, std::uint32_t word)
{
    VLMScopedFPGuard guard;
    if (set)
        VLMEffectorSetLayoutOf(set)->stageWord = word;
}

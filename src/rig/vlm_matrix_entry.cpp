#include "rig/vlm_matrix_entry.h"

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

namespace {

VLMEffectorSetLayout* Records(VLMEffectorSetState* set) { return reinterpret_cast<VLMEffectorSetLayout*>(set); }
const VLMEffectorSetLayout* Records(const VLMEffectorSetState* set)
{
    return reinterpret_cast<const VLMEffectorSetLayout*>(set);
}

// Walks a batch list: f(effector id, element address) for every entry that
// names an effector. -2 ends the list; -1 and every other value outside
// 0..43 skip their element (an unchecked id would index past the set).
template <class F>
void ForEachListed(const VLMTransformBatchLayout* layout, unsigned char* base, F f)
{
    if (!layout || !layout->effectorIds || !base)
        return;
    unsigned char* element = base;
    for (const std::int32_t* id = layout->effectorIds; *id != VLM_BATCH_END; ++id, element += layout->stride) {
        if (*id >= 0 && *id < VLM_EFFECTOR_COUNT)
            f(*id, element);
    }
}

// The T-pose entry or the state row of a node id; null for an id outside
// 0..171 and for a node the character lacks (its spare element is left alone).
VLMTPoseEntry* TPoseEntry(VLMCharacter* character, std::int32_t id)
{
    const std::int32_t k = VLMCharacterCompactIndex(character, id);
    return k < 0 ? nullptr : VLMDescriptorElement<VLMTPoseEntry>(&VLMCharacterHeaderOf(character)->tpose, k);
}
VLMStateRow* StateRow(const VLMCharacter* character, VLMCharacterState* state, std::int32_t id)
{
    const std::int32_t k = VLMCharacterCompactIndex(character, id);
    return k < 0 ? nullptr : VLMStateRowAt(state, k);
}

}  // namespace

// Batch elements are documented as 16-byte aligned; they are read and
// written with unaligned accesses all the same (the same lanes), so that a
// caller's misaligned batch costs nothing worse than speed.

void VLMSetEffectorsFromMatrices(VLMEffectorSetState* set, const VLMTransformBatchLayout* layout, const void* base)
{
    VLMScopedFPGuard guard;
    if (!set)
        return;
    VLMEffectorSetLayout* records = Records(set);
    ForEachListed(layout, static_cast<unsigned char*>(const_cast<void*>(base)),
                  [&](std::int32_t e, const unsigned char* element) {
                      VLMTransformTQS& x = records->effectors[e];
                      VLMMatrix44UnalignedToTQS(x.t, x.q, x.s, element + layout->matrixOffset);
                      records->blend[e] = VLMVector4Clamp01(VLMVector4LoadUnaligned(element + layout->vectorOffset));
                  });
}

void VLMGetEffectorsAsMatrices(const VLMEffectorSetState* set, const VLMTransformBatchLayout* layout, void* base)
{
    VLMScopedFPGuard guard;
    if (!set)
        return;
    const VLMEffectorSetLayout* records = Records(set);
    ForEachListed(layout, static_cast<unsigned char*>(base), [&](std::int32_t e, unsigned char* element) {
        const VLMTransformTQS& x = records->effectors[e];
        const VLMVector4 q = VLMVector4Div(x.q, VLMVector4Length4(x.q));
        VLMMatrix44CopyUnaligned(element + layout->matrixOffset, VLMTQSToMatrix44(x.t, q, x.s));
        VLMVector4StoreUnaligned(element + layout->vectorOffset, records->blend[e]);
    });
}

void VLMSetNodeTPoseMatrix(VLMCharacter* character, std::int32_t id, const float* matrix)
{
    VLMScopedFPGuard guard;
    if (VLMTPoseEntry* entry = TPoseEntry(character, id))
        VLMMatrix44UnalignedToTQS(entry->t, entry->q, entry->s, matrix);
}

void VLMSetNodeTPoseMatrix(VLMCharacter* character, std::int32_t id, const double* matrix)
{
    VLMScopedFPGuard guard;
    if (VLMTPoseEntry* entry = TPoseEntry(character, id))
        VLMMatrix44DoubleToTQS(entry->t, entry->q, entry->s, matrix);
}

void VLMSetNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, std::int32_t id,
                           const float* matrix)
{
    VLMScopedFPGuard guard;
    if (VLMStateRow* row = StateRow(character, state, id))
        VLMMatrix44UnalignedToTQS(row->globalT, row->globalQ, row->globalS, matrix);
}

void VLMSetNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, std::int32_t id,
                           const double* matrix)
{
    VLMScopedFPGuard guard;
    if (VLMStateRow* row = StateRow(character, state, id))
        VLMMatrix44DoubleToTQS(row->globalT, row->globalQ, row->globalS, matrix);
}

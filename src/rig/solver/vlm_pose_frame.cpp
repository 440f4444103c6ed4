#include "rig/solver/vlm_pose_frame.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_rotation.h"
#include "rig/vlm_vector.h"

namespace {

using vlm_entry::AlignedAt;
using vlm_entry::LoadDoubles;

const VLMTPoseEntry& TposeOf(const VLMCharacter* character, int id) { return *VLMCharacterTPoseEntry(character, id); }

template <class Row>
Row& RootRow(const VLMCharacter* character, Row* rows)
{
    return rows[std::int64_t(VLMCharacterRootRecord(character)->ownIndex)];
}

}  // namespace

// --- Frame conversions ---------------------------------------------------------------

void VLMRootStateToApiFrame(const VLMCharacter* character, const VLMVector4& t, const VLMVector4& q,
                            const VLMVector4& s, VLMVector4& outT, VLMVector4& outQ, VLMVector4& outS)
{
    // The stored transform is the parent of the T-pose transform.
    const VLMTPoseEntry& tp = TposeOf(character, VLM_NODE_REFERENCE);
    const VLMVector4 apiT = t + VLMQuatRotate(q, tp.t * s);
    const VLMVector4 apiQ = VLMQuatMultiply(q, tp.q);
    const VLMVector4 apiS = s * tp.s;
    outT = apiT;
    outQ = apiQ;
    outS = apiS;
}

void VLMRootStateFromApiFrame(const VLMCharacter* character, VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    // The API transform composed with the inverse of the T-pose transform.
    const VLMTPoseEntry& tp = TposeOf(character, VLM_NODE_REFERENCE);
    const VLMVector4 inverseQ = VLMVector4NegateXYZ(tp.q);
    const VLMVector4 inverseT = VLMQuatRotate(inverseQ, VLMVector4Div(VLMVector4Negate(tp.t), tp.s));
    const VLMVector4 storedT = VLMVector4ClearW(t + VLMQuatRotate(q, s * inverseT));
    const VLMVector4 storedQ = VLMQuatMultiply(q, inverseQ);
    const VLMVector4 storedS = VLMVector4Div(s, tp.s);
    t = storedT;
    q = storedQ;
    s = storedS;
}

void VLMNodeStateToApiFrame(const VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q,
                            const VLMVector4& s, VLMVector4& outT, VLMVector4& outQ, VLMVector4& outS)
{
    if (id == VLM_NODE_REFERENCE) {
        VLMRootStateToApiFrame(character, t, q, s, outT, outQ, outS);
        return;
    }
    const VLMTPoseEntry& tp = TposeOf(character, id);
    outT = t;
    outQ = VLMQuatMultiply(q, tp.q);
    outS = s * tp.s;
}

void VLMNodeStateToApiFrameRotScale(const VLMCharacter* character, int id, const VLMVector4& t, const VLMVector4& q,
                                    const VLMVector4& s, VLMVector4& outT, VLMVector4& outQ, VLMVector4& outS)
{
    if (id == VLM_NODE_REFERENCE) {
        VLMRootStateToApiFrame(character, t, q, s, outT, outQ, outS);
        return;
    }
    const VLMTPoseEntry& tp = TposeOf(character, id);
    const VLMVector4 apiS = tp.s * VLMScaleThroughRotation(tp.q, s);
    outT = t;
    outQ = VLMQuatMultiply(q, tp.q);
    outS = apiS;
}

void VLMNodeStateFromApiFrame(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    if (id == VLM_NODE_REFERENCE) {
        VLMRootStateFromApiFrame(character, t, q, s);
        return;
    }
    const VLMTPoseEntry& tp = TposeOf(character, id);
    q = VLMQuatMultiply(q, VLMVector4NegateXYZ(tp.q));
    s = VLMVector4Div(s, tp.s);
}

void VLMNodeStateFromApiFrameRotScale(const VLMCharacter* character, int id, VLMVector4& t, VLMVector4& q,
                                      VLMVector4& s)
{
    if (id == VLM_NODE_REFERENCE) {
        VLMRootStateFromApiFrame(character, t, q, s);
        return;
    }
    const VLMTPoseEntry& tp = TposeOf(character, id);
    const VLMVector4 inverseQ = VLMVector4NegateXYZ(tp.q);
    q = VLMQuatMultiply(q, inverseQ);
    s = VLMScaleThroughRotation(inverseQ, VLMVector4Div(s, tp.s));
}

void VLMNodeLocalStateFromApiFrame(const VLMCharacter* character, int id, VLMStateRow* row)
{
    if (id == VLM_NODE_REFERENCE) {
        VLMRootStateFromApiFrame(character, row->localT, row->localQ, row->localS);
        return;
    }
    const VLMTPoseEntry& tp = TposeOf(character, id);
    row->localQ = VLMQuatMultiply(row->localQ, VLMVector4NegateXYZ(tp.q));
    row->localS = VLMVector4Div(row->localS, tp.s);
}

void VLMRootRowToApiFrame(const VLMCharacter* character, VLMStateRow* outRows, const VLMStateRow* inRows)
{
    const VLMStateRow& in = RootRow(character, inRows);
    VLMStateRow& out = RootRow(character, outRows);
    VLMRootStateToApiFrame(character, in.globalT, in.globalQ, in.globalS, out.globalT, out.globalQ, out.globalS);
}

void VLMRootRowFromApiFrame(const VLMCharacter* character, VLMStateRow* outRows, const VLMStateRow* inRows)
{
    const VLMStateRow& in = RootRow(character, inRows);
    VLMVector4 t = in.globalT, q = in.globalQ, s = in.globalS;
    VLMRootStateFromApiFrame(character, t, q, s);
    VLMStateRow& out = RootRow(character, outRows);
    out.globalT = t;
    out.globalQ = q;
    out.globalS = s;
}

// --- Stored-frame row operations --------------------------------------------------------

void VLMSetNodeStoredTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                         const float* q, const float* s)
{
    VLMScopedFPGuard guard;
    if (!character || !state)
        return;
    VLMStateRow* row = VLMNodeRow(character, VLMStateFirstRow(state), id);
    row->globalT = VLMVector4ClearW(VLMVector4LoadUnaligned(t));
    row->globalQ = VLMVector4LoadUnaligned(q);
    row->globalS = VLMVector4LoadUnaligned(s);
}

void VLMSetNodeStoredTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                          const double* q, const double* s)
{
    VLMScopedFPGuard guard;
    if (!character || !state)
        return;
    VLMStateRow* row = VLMNodeRow(character, VLMStateFirstRow(state), id);
    row->globalT = VLMVector4ClearW(LoadDoubles(t));
    row->globalQ = LoadDoubles(q);
    row->globalS = LoadDoubles(s);
}

void VLMGetNodeStoredTQSd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* t, double* q,
                          double* s)
{
    VLMScopedFPGuard guard;
    if (!character || !state)
        return;
    const VLMStateRow* row = VLMNodeRow(character, VLMStateFirstRow(state), id);
    VLMVector4ToDoubles(t, row->globalT);
    VLMVector4ToDoubles(q, row->globalQ);
    VLMVector4ToDoubles(s, row->globalS);
}

void VLMSetNodeStoredStatesInternal(const VLMCharacter* character, VLMStateRow* rows, const VLMNodeRecordLayout* layout,
                                    const void* base)
{
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (!local && layout->space != VLM_SPACE_GLOBAL)
        return;
    const unsigned char* record = static_cast<const unsigned char*>(base);
    for (const std::int32_t* id = layout->nodeIds; *id != -2; ++id, record += layout->stride) {
        if (*id == -1)
            continue;
        VLMStateRow* row = VLMNodeRow(character, rows, *id);
        VLMVector4* target = local ? &row->localT : &row->globalT;
        target[0] = VLMVector4ClearW(AlignedAt(record, layout->offsetT));
        target[1] = AlignedAt(record, layout->offsetQ);
        target[2] = AlignedAt(record, layout->offsetS);
    }
    if (local)
        VLMTreeLocalToGlobal(character, rows, VLMCharacterNodeRecords(character));
}

void VLMSetNodeStoredStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                            const void* base)
{
    VLMScopedFPGuard guard;
    if (character && state && layout && layout->nodeIds && base)
        VLMSetNodeStoredStatesInternal(character, VLMStateFirstRow(state), layout, base);
}

void VLMGetNodeStoredStatesInternal(const VLMCharacter* character, VLMStateRow* rows, const VLMNodeRecordLayout* layout,
                                    void* base)
{
    const bool local = layout->space == VLM_SPACE_LOCAL;
    if (!local && layout->space != VLM_SPACE_GLOBAL)
        return;
    if (local)
        VLMTreeGlobalToLocal(character, rows, VLMCharacterNodeRecords(character));
    unsigned char* record = static_cast<unsigned char*>(base);
    for (const std::int32_t* id = layout->nodeIds; *id != -2; ++id, record += layout->stride) {
        if (*id == -1)
            continue;
        const VLMStateRow* row = VLMNodeRow(character, rows, *id);
        const VLMVector4* source = local ? &row->localT : &row->globalT;
        AlignedAt(record, layout->offsetT) = source[0];
        AlignedAt(record, layout->offsetQ) = source[1];
        AlignedAt(record, layout->offsetS) = source[2];
    }
}

void VLMGetNodeStoredStates(const VLMCharacter* character, VLMCharacterState* state, const VLMNodeRecordLayout* layout,
                            void* base)
{
    VLMScopedFPGuard guard;
    if (character && state && layout && layout->nodeIds && base)
        VLMGetNodeStoredStatesInternal(character, VLMStateFirstRow(state), layout, base);
}

void VLMBlendCharacterStatesInternal(const VLMCharacter* character, VLMStateRow* output, VLMStateRow* a, VLMStateRow* b,
                                     float weight)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMTreeGlobalToLocal(character, a, records);
    VLMTreeGlobalToLocal(character, b, records);
    const VLMVector4 w = VLMVector4Splat(weight);
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const std::int32_t k = VLMCharacterCompactIndex(character, id);
        if (k < 0)
            continue;
        const VLMStateRow& ra = a[k];
        const VLMStateRow& rb = b[k];
        const VLMVector4 t = VLMVector4Lerp(ra.localT, rb.localT, w);
        const VLMVector4 s = VLMVector4Lerp(ra.localS, rb.localS, w);
        const VLMVector4 q = VLMQuatNlerp(ra.localQ, rb.localQ, w);
        output[k].localT = t;
        output[k].localS = s;
        output[k].localQ = q;
    }
    VLMTreeLocalToGlobal(character, output, records);
}

void VLMBlendCharacterStates(const VLMCharacter* character, VLMCharacterState* output, VLMCharacterState* a,
                             VLMCharacterState* b, float weight)
{
    VLMScopedFPGuard guard;
    if (character && output && a && b)
        VLMBlendCharacterStatesInternal(character, VLMStateFirstRow(output), VLMStateFirstRow(a), VLMStateFirstRow(b),
                                        weight);
}

void VLMBlendEffectorSetStatesInternal(VLMEffectorSetLayout* output, const VLMEffectorSetLayout* a,
                                       const VLMEffectorSetLayout* b, float weight)
{
    const VLMVector4 w = VLMVector4Splat(weight);
    for (int id = 0; id < VLM_EFFECTOR_COUNT; ++id) {
        const VLMTransformTQS& ea = a->effectors[id];
        const VLMTransformTQS& eb = b->effectors[id];
        const VLMVector4 t = VLMVector4Lerp(ea.t, eb.t, w);
        const VLMVector4 s = VLMVector4Lerp(ea.s, eb.s, w);
        const VLMVector4 lanes = VLMVector4Lerp(a->blend[id], b->blend[id], w);
        const VLMVector4 q = VLMQuatNlerp(ea.q, eb.q, w);
        output->effectors[id].t = t;
        output->effectors[id].q = q;
        output->effectors[id].s = s;
        output->blend[id] = lanes;
    }
}

void VLMBlendEffectorSetStates(VLMEffectorSetState* output, const VLMEffectorSetState* a, const VLMEffectorSetState* b,
                               float weight)
{
    VLMScopedFPGuard guard;
    if (output && a && b)
        VLMBlendEffectorSetStatesInternal(VLMEffectorSetLayoutOf(output), VLMEffectorSetLayoutOf(a),
                                          VLMEffectorSetLayoutOf(b), weight);
}

void VLMDampLocalEulerAnglesInternal(const VLMCharacter* character, VLMStateRow* rows, float a, float b, float c)
{
    const VLMNodeRecord* records = VLMCharacterNodeRecords(character);
    VLMTreeGlobalToLocal(character, rows, records);
    const VLMVector4 keep = {1.0f - a, 1.0f - b, 1.0f - c, 0.0f};
    for (int id = VLM_NODE_HIPS + 1; id < VLM_NODE_COUNT; ++id) {
        if (TposeOf(character, id).presence == 0)
            continue;
        const VLMRotationPart* part = &VLMCharacterNodeRecord(character, id)->rotation;
        VLMStateRow* row = VLMNodeRow(character, rows, id);
        VLMVector4 angles;
        VLMNodeEulerFromRotation(part, angles, row->localQ);
        VLMNodeRotationFromEuler(part, row->localQ, angles * keep);
    }
    VLMTreeLocalToGlobal(character, rows, records);
}

void VLMDampLocalEulerAngles(const VLMCharacter* character, VLMCharacterState* state, float a, float b, float c)
{
    VLMScopedFPGuard guard;
    if (character && state)
        VLMDampLocalEulerAnglesInternal(character, VLMStateFirstRow(state), a, b, c);
}

#include "rig/solver/vlm_node_state.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/vlm_pose_frame.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

namespace {

using vlm_entry::AlignedAt;
using vlm_entry::LoadDoubles;

void StoreTQS(float* t, float* q, float* s, const VLMVector4& vt, const VLMVector4& vq, const VLMVector4& vs)
{
    VLMVector4StoreUnaligned(t, vt);
    VLMVector4StoreUnaligned(q, vq);
    VLMVector4StoreUnaligned(s, vs);
}

bool Usable(const VLMCharacter* character, const void* state) { return character && state; }

}  // namespace

// --- Internal forms ------------------------------------------------------------------

void VLMSetNodeStateInternal(const VLMCharacter* character, VLMStateRow* rows, int id, const VLMVector4& t,
                             const VLMVector4& q, const VLMVector4& s, bool rotScale)
{
    VLMStateRow* row = VLMNodeRow(character, rows, id);
    row->globalT = VLMVector4ClearW(t);
    row->globalQ = q;
    row->globalS = VLMVector4MergeW(s, VLMConstant::One);
    if (rotScale)
        VLMNodeStateFromApiFrameRotScale(character, id, row->globalT, row->globalQ, row->globalS);
    else
        VLMNodeStateFromApiFrame(character, id, row->globalT, row->globalQ, row->globalS);
}

void VLMGetNodeStateInternal(const VLMCharacter* character, const VLMStateRow* rows, int id, VLMVector4& t,
                             VLMVector4& q, VLMVector4& s, bool rotScale)
{
    const VLMStateRow* row = VLMNodeRow(character, rows, id);
    if (rotScale)
        VLMNodeStateToApiFrameRotScale(character, id, row->globalT, row->globalQ, row->globalS, t, q, s);
    else
        VLMNodeStateToApiFrame(character, id, row->globalT, row->globalQ, row->globalS, t, q, s);
}

VLMMatrix44 VLMReadNodeStateMatrixInternal(const VLMCharacter* character, const VLMStateRow* rows, int id)
{
    VLMVector4 t, q, s;
    VLMGetNodeStateInternal(character, rows, id, t, q, s, false);
    return VLMTQSToMatrix44Normalized(t, q, s);
}

// --- Setters -----------------------------------------------------------------------------

void VLMSetNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t, const float* q,
                        const float* s)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, VLMVector4LoadUnaligned(t),
                                VLMVector4LoadUnaligned(q), VLMVector4LoadUnaligned(s), false);
}

void VLMSetNodeStateTQ(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t, const float* q)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, VLMVector4LoadUnaligned(t),
                                VLMVector4LoadUnaligned(q), VLMConstant::One, false);
}

void VLMSetNodeStateTQSAt(const VLMCharacter* character, VLMCharacterState* state, int id, const void* base,
                          std::int64_t offsetT, std::int64_t offsetQ, std::int64_t offsetS)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state) && base)
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, AlignedAt(base, offsetT),
                                AlignedAt(base, offsetQ), AlignedAt(base, offsetS), false);
}

void VLMSetNodeStateTQAt(const VLMCharacter* character, VLMCharacterState* state, int id, const void* base,
                         std::int64_t offsetT, std::int64_t offsetQ)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state) && base)
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, AlignedAt(base, offsetT),
                                AlignedAt(base, offsetQ), VLMConstant::One, false);
}

void VLMSetNodeStateTQSRotScale(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                const float* q, const float* s)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, VLMVector4LoadUnaligned(t),
                                VLMVector4LoadUnaligned(q), VLMVector4LoadUnaligned(s), true);
}

void VLMSetNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                         const double* q, const double* s)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, LoadDoubles(t), LoadDoubles(q), LoadDoubles(s),
                                false);
}

void VLMWriteNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, int id, const float* matrix)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 t, q, s;
    VLMMatrix44UnalignedToTQS(t, q, s, matrix);
    VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, t, q, s, false);
}

void VLMWriteNodeStateMatrixd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* matrix)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 t, q, s;
    VLMMatrix44DoubleToTQS(t, q, s, matrix);
    VLMSetNodeStateInternal(character, VLMStateFirstRow(state), id, t, q, s, false);
}

// --- Getters -----------------------------------------------------------------------------

void VLMGetNodeStateTQS(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t, float* q,
                        float* s)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 vt, vq, vs;
    VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, vt, vq, vs, false);
    StoreTQS(t, q, s, vt, vq, vs);
}

void VLMGetNodeStateTQ(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t, float* q)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 vt, vq, vs;
    VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, vt, vq, vs, false);
    VLMVector4StoreUnaligned(t, vt);
    VLMVector4StoreUnaligned(q, vq);
}

void VLMGetNodeStateTQSAt(const VLMCharacter* character, const VLMCharacterState* state, int id, void* base,
                          std::int64_t offsetT, std::int64_t offsetQ, std::int64_t offsetS)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state) && base)
        VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, AlignedAt(base, offsetT),
                                AlignedAt(base, offsetQ), AlignedAt(base, offsetS), false);
}

void VLMGetNodeStateTQAt(const VLMCharacter* character, const VLMCharacterState* state, int id, void* base,
                         std::int64_t offsetT, std::int64_t offsetQ)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state) || !base)
        return;
    VLMVector4 s;
    VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, AlignedAt(base, offsetT), AlignedAt(base, offsetQ),
                            s, false);
}

void VLMGetNodeStateTQSRotScale(const VLMCharacter* character, const VLMCharacterState* state, int id, float* t,
                                float* q, float* s)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 vt, vq, vs;
    VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, vt, vq, vs, true);
    StoreTQS(t, q, s, vt, vq, vs);
}

void VLMGetNodeStateTQSd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* t, double* q,
                         double* s)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    VLMVector4 vt, vq, vs;
    VLMGetNodeStateInternal(character, VLMStateFirstRow(state), id, vt, vq, vs, false);
    VLMVector4ToDoubles(t, vt);
    VLMVector4ToDoubles(q, vq);
    VLMVector4ToDoubles(s, vs);
}

void VLMReadNodeStateMatrix(const VLMCharacter* character, const VLMCharacterState* state, int id, float* matrix)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMMatrix44CopyUnaligned(matrix, VLMReadNodeStateMatrixInternal(character, VLMStateFirstRow(state), id));
}

void VLMReadNodeStateMatrixd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* matrix)
{
    VLMScopedFPGuard guard;
    if (Usable(character, state))
        VLMMatrix44ToDoubles(matrix, VLMReadNodeStateMatrixInternal(character, VLMStateFirstRow(state), id));
}

void VLMReadNodeStoredMatrix(const VLMCharacter* character, const VLMCharacterState* state, int id, float* matrix)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    const VLMStateRow* row = VLMNodeRow(character, VLMStateFirstRow(state), id);
    VLMMatrix44CopyUnaligned(matrix, VLMTQSToMatrix44Normalized(row->globalT, row->globalQ, row->globalS));
}

void VLMReadNodeStoredMatrixd(const VLMCharacter* character, const VLMCharacterState* state, int id, double* matrix)
{
    VLMScopedFPGuard guard;
    if (!Usable(character, state))
        return;
    const VLMStateRow* row = VLMNodeRow(character, VLMStateFirstRow(state), id);
    VLMMatrix44ToDoubles(matrix, VLMTQSToMatrix44Normalized(row->globalT, row->globalQ, row->globalS));
}

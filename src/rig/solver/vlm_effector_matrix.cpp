#include "rig/solver/vlm_effector_matrix.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

using vlm_entry::Fits;
using vlm_entry::IsEffector;
using vlm_entry::IsExtremity;
using vlm_entry::LoadDoubles;

namespace {

VLMTransformTQS* EffectorRecord(VLMEffectorSetState* set, int id)
{
    return set && IsEffector(id) ? &VLMEffectorSetLayoutOf(set)->effectors[id] : nullptr;
}
const VLMTransformTQS* EffectorRecord(const VLMEffectorSetState* set, int id)
{
    return set && IsEffector(id) ? &VLMEffectorSetLayoutOf(set)->effectors[id] : nullptr;
}
VLMTransformTQS* ExtremityFrame(VLMEffectorSetState* set, int k)
{
    return set && IsExtremity(k) ? &VLMEffectorSetLayoutOf(set)->extremities[k] : nullptr;
}
const VLMTransformTQS* ExtremityFrame(const VLMEffectorSetState* set, int k)
{
    return set && IsExtremity(k) ? &VLMEffectorSetLayoutOf(set)->extremities[k] : nullptr;
}

VLMMatrix44 MatrixOf(const VLMTransformTQS& x) { return VLMTQSToMatrix44Normalized(x.t, x.q, x.s); }

void Decompose(VLMTransformTQS& x, const float* matrix) { VLMMatrix44UnalignedToTQS(x.t, x.q, x.s, matrix); }
void Decompose(VLMTransformTQS& x, const double* matrix) { VLMMatrix44DoubleToTQS(x.t, x.q, x.s, matrix); }

// rot(Q, S * (p with w 0)): the pivot offset of a frame, Q as it is.
VLMVector4 PivotOffset(const VLMTransformTQS& x, const VLMVector4& pivot)
{
    return VLMQuatRotate(x.q, x.s * VLMVector4ClearW(pivot));
}

void AddPivot(VLMTransformTQS& x, const VLMVector4& pivot) { x.t = x.t + PivotOffset(x, pivot); }

VLMTransformTQS FramePivot(const VLMTransformTQS& record, const VLMVector4& pivot)
{
    VLMTransformTQS frame = record;
    frame.t = record.t - PivotOffset(record, pivot);
    return frame;
}

void SetPivotTQS(VLMTransformTQS* x, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s,
                 const VLMVector4& pivot)
{
    x->t = VLMVector4ClearW(t);
    x->q = q;
    x->s = s;
    AddPivot(*x, pivot);
}

template <class Number>
void WriteMatrix(VLMTransformTQS* x, const Number* matrix)
{
    if (x && matrix)
        Decompose(*x, matrix);
}

template <class Number>
void ReadPoseEffector(const VLMCharacter* character, int id, const VLMCharacterState* state,
                      const VLMPropertySetState* properties, Number* matrix)
{
    if (!Fits(character, state) || !properties || !matrix || !IsEffector(id))
        return;
    VLMTransformTQS x;
    VLMComputeEffectorFromPose(character, x.t, x.q, x.s, VLMStateFirstRow(state), id, properties);
    if constexpr (sizeof(Number) == sizeof(float))
        VLMMatrix44CopyUnaligned(matrix, MatrixOf(x));
    else
        VLMTQSToMatrix44Double(matrix, x.t, x.q, x.s);
}

}  // namespace

// --- Effector records and extremity frames ---------------------------------------------

void VLMReadEffectorMatrix(const VLMEffectorSetState* set, int id, float* matrix)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = EffectorRecord(set, id); x && matrix)
        VLMMatrix44CopyUnaligned(matrix, MatrixOf(*x));
}

void VLMReadEffectorMatrixd(const VLMEffectorSetState* set, int id, double* matrix)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = EffectorRecord(set, id); x && matrix)
        VLMTQSToMatrix44Double(matrix, x->t, x->q, x->s);
}

void VLMWriteEffectorMatrix(VLMEffectorSetState* set, int id, const float* matrix)
{
    VLMScopedFPGuard guard;
    WriteMatrix(EffectorRecord(set, id), matrix);
}

void VLMWriteEffectorMatrixd(VLMEffectorSetState* set, int id, const double* matrix)
{
    VLMScopedFPGuard guard;
    WriteMatrix(EffectorRecord(set, id), matrix);
}

void VLMReadExtremityMatrix(const VLMEffectorSetState* set, int extremity, float* matrix)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = ExtremityFrame(set, extremity); x && matrix)
        VLMMatrix44CopyUnaligned(matrix, MatrixOf(*x));
}

void VLMReadExtremityMatrixd(const VLMEffectorSetState* set, int extremity, double* matrix)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = ExtremityFrame(set, extremity); x && matrix)
        VLMTQSToMatrix44Double(matrix, x->t, x->q, x->s);
}

void VLMWriteExtremityMatrix(VLMEffectorSetState* set, int extremity, const float* matrix)
{
    VLMScopedFPGuard guard;
    WriteMatrix(ExtremityFrame(set, extremity), matrix);
}

void VLMWriteExtremityMatrixd(VLMEffectorSetState* set, int extremity, const double* matrix)
{
    VLMScopedFPGuard guard;
    WriteMatrix(ExtremityFrame(set, extremity), matrix);
}

void VLMReadPoseEffectorMatrix(const VLMCharacter* character, int id, const VLMCharacterState* state,
                               const VLMPropertySetState* properties, float* matrix)
{
    VLMScopedFPGuard guard;
    ReadPoseEffector(character, id, state, properties, matrix);
}

void VLMReadPoseEffectorMatrixd(const VLMCharacter* character, int id, const VLMCharacterState* state,
                                const VLMPropertySetState* properties, double* matrix)
{
    VLMScopedFPGuard guard;
    ReadPoseEffector(character, id, state, properties, matrix);
}

// --- Pivot offsets -----------------------------------------------------------------------

void VLMSetEffectorStatePivotMatrix(VLMEffectorSetState* set, int id, const float* matrix, const float* pivot)
{
    VLMScopedFPGuard guard;
    VLMTransformTQS* x = EffectorRecord(set, id);
    if (!x || !matrix || !pivot)
        return;
    Decompose(*x, matrix);
    AddPivot(*x, VLMVector4LoadUnaligned(pivot));
}

void VLMSetEffectorStatePivotMatrixd(VLMEffectorSetState* set, int id, const double* matrix, const double* pivot)
{
    VLMScopedFPGuard guard;
    VLMTransformTQS* x = EffectorRecord(set, id);
    if (!x || !matrix || !pivot)
        return;
    Decompose(*x, matrix);
    AddPivot(*x, LoadDoubles(pivot));
}

void VLMSetEffectorStatePivotTQS(VLMEffectorSetState* set, int id, const float* t, const float* q, const float* s,
                                 const float* pivot)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = EffectorRecord(set, id); x && t && q && s && pivot)
        SetPivotTQS(x, VLMVector4LoadUnaligned(t), VLMVector4LoadUnaligned(q), VLMVector4LoadUnaligned(s),
                    VLMVector4LoadUnaligned(pivot));
}

void VLMSetEffectorStatePivotTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q, const double* s,
                                  const double* pivot)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = EffectorRecord(set, id); x && t && q && s && pivot)
        SetPivotTQS(x, LoadDoubles(t), LoadDoubles(q), LoadDoubles(s), LoadDoubles(pivot));
}

void VLMGetEffectorStatePivotTQS(const VLMEffectorSetState* set, int id, float* t, float* q, float* s,
                                 const float* pivot)
{
    VLMScopedFPGuard guard;
    const VLMTransformTQS* x = EffectorRecord(set, id);
    if (!x || !t || !q || !s || !pivot)
        return;
    const VLMTransformTQS frame = FramePivot(*x, VLMVector4LoadUnaligned(pivot));
    VLMVector4StoreUnaligned(t, frame.t);
    VLMVector4StoreUnaligned(q, frame.q);
    VLMVector4StoreUnaligned(s, frame.s);
}

void VLMGetEffectorStatePivotTQSd(const VLMEffectorSetState* set, int id, double* t, double* q, double* s,
                                  const double* pivot)
{
    VLMScopedFPGuard guard;
    const VLMTransformTQS* x = EffectorRecord(set, id);
    if (!x || !t || !q || !s || !pivot)
        return;
    const VLMTransformTQS frame = FramePivot(*x, LoadDoubles(pivot));
    VLMVector4ToDoubles(t, frame.t);
    VLMVector4ToDoubles(q, frame.q);
    VLMVector4ToDoubles(s, frame.s);
}

void VLMGetEffectorStatePivotMatrix(const VLMEffectorSetState* set, int id, float* matrix, const float* pivot)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = EffectorRecord(set, id); x && matrix && pivot)
        VLMMatrix44CopyUnaligned(matrix, MatrixOf(FramePivot(*x, VLMVector4LoadUnaligned(pivot))));
}

void VLMGetEffectorStatePivotMatrixd(const VLMEffectorSetState* set, int id, double* matrix, const double* pivot)
{
    VLMScopedFPGuard guard;
    if (const VLMTransformTQS* x = EffectorRecord(set, id); x && matrix && pivot) {
        const VLMTransformTQS frame = FramePivot(*x, LoadDoubles(pivot));
        VLMTQSToMatrix44Double(matrix, frame.t, frame.q, frame.s);
    }
}

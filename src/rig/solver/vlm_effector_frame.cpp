#include "rig/solver/vlm_effector_frame.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

using vlm_entry::AlignedAt;
using vlm_entry::Fits;
using vlm_entry::IsEffector;
using vlm_entry::LoadDoubles;

namespace {

// The T-pose rotation of the effector's node; the identity when the character
// lacks that node.
VLMVector4 TposeRotation(const VLMCharacter* character, int id)
{
    const int node = VLMEffectorNodeIndex(character, id);
    const VLMTPoseEntry* entry = node < 0 ? nullptr : VLMCharacterTPoseEntry(character, node);
    return entry && entry->presence != 0 ? entry->q : VLMConstant::IdentityQuat;
}

VLMTransformTQS* Record(const VLMCharacter* character, VLMEffectorSetState* set, int id)
{
    return character && set && IsEffector(id) ? &VLMEffectorSetLayoutOf(set)->effectors[id] : nullptr;
}
const VLMTransformTQS* Record(const VLMCharacter* character, const VLMEffectorSetState* set, int id)
{
    return character && set && IsEffector(id) ? &VLMEffectorSetLayoutOf(set)->effectors[id] : nullptr;
}

void Store(const VLMCharacter* character, int id, VLMTransformTQS& x, const VLMVector4& t, const VLMVector4& q,
           const VLMVector4& s)
{
    x.t = t;
    x.q = VLMQuatMultiply(q, VLMVector4NegateXYZ(TposeRotation(character, id)));
    x.s = s;
}

// The record in the API frame.
VLMTransformTQS ApiFrame(const VLMCharacter* character, int id, const VLMTransformTQS& x)
{
    return {x.t, VLMQuatMultiply(x.q, TposeRotation(character, id)), x.s};
}

VLMMatrix44 MatrixOf(const VLMTransformTQS& x) { return VLMTQSToMatrix44Normalized(x.t, x.q, x.s); }

void StoreTQS(float* t, float* q, float* s, const VLMTransformTQS& x)
{
    VLMVector4StoreUnaligned(t, x.t);
    VLMVector4StoreUnaligned(q, x.q);
    VLMVector4StoreUnaligned(s, x.s);
}
void StoreTQS(double* t, double* q, double* s, const VLMTransformTQS& x)
{
    VLMVector4ToDoubles(t, x.t);
    VLMVector4ToDoubles(q, x.q);
    VLMVector4ToDoubles(s, x.s);
}
void StoreMatrix(float* matrix, const VLMTransformTQS& x) { VLMMatrix44CopyUnaligned(matrix, MatrixOf(x)); }
void StoreMatrix(double* matrix, const VLMTransformTQS& x) { VLMTQSToMatrix44Double(matrix, x.t, x.q, x.s); }

template <class Number>
void SetMatrix(const VLMCharacter* character, int id, VLMEffectorSetState* set, const Number* matrix)
{
    VLMTransformTQS* x = Record(character, set, id);
    if (!x || !matrix)
        return;
    VLMVector4 t, q, s;
    if constexpr (sizeof(Number) == sizeof(float))
        VLMMatrix44UnalignedToTQS(t, q, s, matrix);
    else
        VLMMatrix44DoubleToTQS(t, q, s, matrix);
    Store(character, id, *x, t, q, s);
}

template <class Number>
void GetTQS(const VLMCharacter* character, int id, const VLMEffectorSetState* set, Number* t, Number* q, Number* s)
{
    if (const VLMTransformTQS* x = Record(character, set, id); x && t && q && s)
        StoreTQS(t, q, s, ApiFrame(character, id, *x));
}

template <class Number>
void GetMatrix(const VLMCharacter* character, int id, const VLMEffectorSetState* set, Number* matrix)
{
    if (const VLMTransformTQS* x = Record(character, set, id); x && matrix)
        StoreMatrix(matrix, ApiFrame(character, id, *x));
}

// The pose's effector in the API frame; false when the arguments give none.
bool PoseEffector(int id, const VLMCharacter* character, const VLMStateRow* rows, const VLMPropertySetState* properties,
                  VLMTransformTQS& x)
{
    if (!character || !rows || !properties || !IsEffector(id))
        return false;
    VLMComputeEffectorFromPose(character, x.t, x.q, x.s, rows, id, properties);
    x.q = VLMQuatMultiply(x.q, TposeRotation(character, id));
    return true;
}

const VLMStateRow* RowsOf(const VLMCharacter* character, const VLMCharacterState* state)
{
    return Fits(character, state) ? VLMStateFirstRow(state) : nullptr;
}

template <class Number>
void PoseTQS(int id, const VLMCharacter* character, const VLMCharacterState* state,
             const VLMPropertySetState* properties, Number* t, Number* q, Number* s)
{
    VLMTransformTQS x;
    if (t && q && s && PoseEffector(id, character, RowsOf(character, state), properties, x))
        StoreTQS(t, q, s, x);
}

template <class Number>
void PoseMatrix(int id, const VLMCharacter* character, const VLMCharacterState* state,
                const VLMPropertySetState* properties, Number* matrix)
{
    VLMTransformTQS x;
    if (matrix && PoseEffector(id, character, RowsOf(character, state), properties, x))
        StoreMatrix(matrix, x);
}

// Walks an effector list: f(id, record address) for every entry naming an
// effector; -2 ends the list and the address advances after every entry.
template <class Byte, class F>
void ForEachListed(const VLMEffectorRecordLayout* layout, Byte* base, F f)
{
    if (!layout || !layout->effectorIds || !base)
        return;
    for (const std::int32_t* id = layout->effectorIds; *id != VLM_LIST_END; ++id, base += layout->stride)
        if (IsEffector(*id))
            f(*id, base);
}

}  // namespace

// --- Effector targets of a set ------------------------------------------------------

void VLMSetEffectorTQS(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* t, const float* q,
                       const float* s)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = Record(character, set, id); x && t && q && s)
        Store(character, id, *x, VLMVector4ClearW(VLMVector4LoadUnaligned(t)), VLMVector4LoadUnaligned(q),
              VLMVector4LoadUnaligned(s));
}

void VLMSetEffectorTQSd(const VLMCharacter* character, int id, VLMEffectorSetState* set, const double* t,
                        const double* q, const double* s)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = Record(character, set, id); x && t && q && s)
        Store(character, id, *x, VLMVector4ClearW(LoadDoubles(t)), LoadDoubles(q), LoadDoubles(s));
}

void VLMSetEffectorTQ(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* t, const float* q)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = Record(character, set, id); x && t && q)
        Store(character, id, *x, VLMVector4ClearW(VLMVector4LoadUnaligned(t)), VLMVector4LoadUnaligned(q),
              VLMConstant::One);
}

void VLMSetEffectorTQSAligned(const VLMCharacter* character, int id, VLMEffectorSetState* set, const VLMVector4* t,
                              const VLMVector4* q, const VLMVector4* s)
{
    VLMScopedFPGuard guard;
    if (VLMTransformTQS* x = Record(character, set, id); x && t && q && s)
        Store(character, id, *x, *t, *q, *s);
}

void VLMSetEffectorMatrix(const VLMCharacter* character, int id, VLMEffectorSetState* set, const float* matrix)
{
    VLMScopedFPGuard guard;
    SetMatrix(character, id, set, matrix);
}

void VLMSetEffectorMatrixd(const VLMCharacter* character, int id, VLMEffectorSetState* set, const double* matrix)
{
    VLMScopedFPGuard guard;
    SetMatrix(character, id, set, matrix);
}

void VLMGetEffectorTQS(const VLMCharacter* character, int id, const VLMEffectorSetState* set, float* t, float* q,
                       float* s)
{
    VLMScopedFPGuard guard;
    GetTQS(character, id, set, t, q, s);
}

void VLMGetEffectorTQSd(const VLMCharacter* character, int id, const VLMEffectorSetState* set, double* t, double* q,
                        double* s)
{
    VLMScopedFPGuard guard;
    GetTQS(character, id, set, t, q, s);
}

void VLMGetEffectorMatrix(const VLMCharacter* character, int id, const VLMEffectorSetState* set, float* matrix)
{
    VLMScopedFPGuard guard;
    GetMatrix(character, id, set, matrix);
}

void VLMGetEffectorMatrixd(const VLMCharacter* character, int id, const VLMEffectorSetState* set, double* matrix)
{
    VLMScopedFPGuard guard;
    GetMatrix(character, id, set, matrix);
}

void VLMSetEffectors(const VLMCharacter* character, VLMEffectorSetState* set, const VLMEffectorRecordLayout* layout,
                     const void* base)
{
    VLMScopedFPGuard guard;
    if (!character || !set)
        return;
    VLMEffectorSetLayout* effectors = VLMEffectorSetLayoutOf(set);
    ForEachListed(layout, static_cast<const unsigned char*>(base), [&](int id, const unsigned char* r) {
        effectors->blend[id] = VLMVector4Clamp01(AlignedAt(r, layout->offsetLanes));
        Store(character, id, effectors->effectors[id], VLMVector4ClearW(AlignedAt(r, layout->offsetT)),
              AlignedAt(r, layout->offsetQ), VLMConstant::One);
    });
}

void VLMGetEffectors(const VLMCharacter* character, const VLMEffectorSetState* set,
                     const VLMEffectorRecordLayout* layout, void* base)
{
    VLMScopedFPGuard guard;
    if (!character || !set)
        return;
    const VLMEffectorSetLayout* effectors = VLMEffectorSetLayoutOf(set);
    ForEachListed(layout, static_cast<unsigned char*>(base), [&](int id, unsigned char* r) {
        const VLMTransformTQS x = ApiFrame(character, id, effectors->effectors[id]);
        AlignedAt(r, layout->offsetT) = x.t;
        AlignedAt(r, layout->offsetQ) = x.q;
        AlignedAt(r, layout->offsetLanes) = effectors->blend[id];
    });
}

// --- Effectors computed from a pose ---------------------------------------------------

void VLMGetPoseEffectorTQS(int id, const VLMCharacter* character, const VLMCharacterState* state,
                           const VLMPropertySetState* properties, float* t, float* q, float* s)
{
    VLMScopedFPGuard guard;
    PoseTQS(id, character, state, properties, t, q, s);
}

void VLMGetPoseEffectorTQSd(int id, const VLMCharacter* character, const VLMCharacterState* state,
                            const VLMPropertySetState* properties, double* t, double* q, double* s)
{
    VLMScopedFPGuard guard;
    PoseTQS(id, character, state, properties, t, q, s);
}

void VLMGetPoseEffectorMatrix(int id, const VLMCharacter* character, const VLMCharacterState* state,
                              const VLMPropertySetState* properties, float* matrix)
{
    VLMScopedFPGuard guard;
    PoseMatrix(id, character, state, properties, matrix);
}

void VLMGetPoseEffectorMatrixd(int id, const VLMCharacter* character, const VLMCharacterState* state,
                               const VLMPropertySetState* properties, double* matrix)
{
    VLMScopedFPGuard guard;
    PoseMatrix(id, character, state, properties, matrix);
}

void VLMGetPoseEffectorTQSRows(VLMVector4* t, VLMVector4* q, VLMVector4* s, int id, const VLMCharacter* character,
                               const VLMStateRow* rows, const VLMPropertySetState* properties)
{
    VLMScopedFPGuard guard;
    VLMTransformTQS x;
    if (t && q && s && PoseEffector(id, character, rows, properties, x)) {
        *t = x.t;
        *q = x.q;
        *s = x.s;
    }
}

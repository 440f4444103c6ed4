#include "rig/solver/vlm_compose.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

#include <cmath>
#include <initializer_list>
#include <xmmintrin.h>

using vlm_entry::Fits;
using vlm_entry::IsEffector;
using vlm_entry::LoadDoubles;

namespace {

struct Given {
    VLMVector4 t, q, s;
};

// r (2 - s r), r the processor's reciprocal estimate of s, lane by lane.
VLMVector4 Reciprocal(const VLMVector4& s)
{
    const __m128 v = _mm_load_ps(&s.x);
    const __m128 r = _mm_rcp_ps(v);
    VLMVector4 out;
    _mm_store_ps(&out.x, _mm_mul_ps(r, _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(v, r))));
    return out;
}

void Invert(VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    s = Reciprocal(s);
    q = VLMVector4NegateXYZ(q);
    t = VLMQuatRotate(q, VLMVector4Negate(t * s));
}

// |scale * axis| over x, y and z.
float Stretched(const VLMVector4& scale, const VLMVector4& axis)
{
    const float x = scale.x * axis.x, y = scale.y * axis.y, z = scale.z * axis.z;
    return std::sqrt(x * x + y * y + z * z);
}

void PostMultiply(VLMTransformTQS& x, const Given& g)
{
    const VLMMatrix44 axes = VLMQuatToMatrix44(g.q);
    const VLMVector4 lengths = {Stretched(x.s, axes.r[0]), Stretched(x.s, axes.r[1]), Stretched(x.s, axes.r[2]), 1.0f};
    x.s = g.s * lengths;
    x.q = VLMQuatMultiply(x.q, g.q);
    x.t = x.t + VLMQuatRotate(x.q, x.s * g.t);
}

// The node keeps its own axes: axis j, of length S0_j, is stretched by the
// given scale along its present direction (the direction of rot(Q0, e_j) taken
// as a unit vector, so an identity scale keeps S0 exactly).
void PreMultiply(VLMTransformTQS& x, const Given& g)
{
    const VLMMatrix44 axes = VLMQuatToMatrix44(x.q);
    const VLMVector4 one = VLMConstant::One;
    float factor[3];
    for (int j = 0; j < 3; ++j)
        factor[j] = Stretched(g.s, axes.r[j]) / Stretched(one, axes.r[j]);
    const VLMVector4 scale = {x.s.x * factor[0], x.s.y * factor[1], x.s.z * factor[2], g.s.w};
    const VLMVector4 t = g.t + VLMQuatRotate(g.q, g.s * x.t);
    x.s = scale;
    x.t = t;
    x.q = VLMQuatMultiply(g.q, x.q);
}

Given FromVectors(const float* t, const float* q, const float* s)
{
    return {VLMVector4ClearW(VLMVector4LoadUnaligned(t)), VLMVector4LoadUnaligned(q), VLMVector4LoadUnaligned(s)};
}
Given FromVectors(const double* t, const double* q, const double* s)
{
    return {VLMVector4ClearW(LoadDoubles(t)), LoadDoubles(q), LoadDoubles(s)};
}

// The decomposition of a matrix; false when an axis has a zero or non-finite
// length, which gives no rotation to compose with.
template <class Number>
bool FromMatrix(const Number* matrix, Given& g)
{
    if constexpr (sizeof(Number) == sizeof(float))
        VLMMatrix44UnalignedToTQS(g.t, g.q, g.s, matrix);
    else
        VLMMatrix44DoubleToTQS(g.t, g.q, g.s, matrix);
    for (float length : {g.s.x, g.s.y, g.s.z})
        if (!(length > 0.0f && length <= 3.4028235e38f))
            return false;
    return true;
}

template <class Rule>
void Compose(VLMTransformTQS& x, Given g, int invertFlag, Rule rule)
{
    if (invertFlag != 0)
        Invert(g.t, g.q, g.s);
    rule(x, g);
}

VLMTransformTQS& GlobalOf(VLMStateRow* row) { return *reinterpret_cast<VLMTransformTQS*>(&row->globalT); }

template <class Number, class Rule>
void OnNode(const VLMCharacter* character, VLMCharacterState* state, int id, const Number* t, const Number* q,
            const Number* s, int invertFlag, Rule rule)
{
    if (Fits(character, state) && t && q && s)
        Compose(GlobalOf(VLMNodeRow(character, VLMStateFirstRow(state), id)), FromVectors(t, q, s), invertFlag, rule);
}

template <class Number>
void OnNodeMatrix(const VLMCharacter* character, VLMCharacterState* state, int id, const Number* matrix, int invertFlag)
{
    Given g;
    if (Fits(character, state) && matrix && FromMatrix(matrix, g))
        Compose(GlobalOf(VLMNodeRow(character, VLMStateFirstRow(state), id)), g, invertFlag, PostMultiply);
}

template <class Number>
void OnCharacter(const VLMCharacter* character, VLMCharacterState* state, const Number* t, const Number* q,
                 const Number* s, int invertFlag)
{
    if (!Fits(character, state) || !t || !q || !s)
        return;
    VLMStateRow* rows = VLMStateFirstRow(state);
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        if (VLMCharacterTPoseEntry(character, id)->presence != 0)
            Compose(GlobalOf(VLMNodeRow(character, rows, id)), FromVectors(t, q, s), invertFlag, PreMultiply);
}

VLMTransformTQS* EffectorRecord(VLMEffectorSetState* set, int id)
{
    return set && IsEffector(id) ? &VLMEffectorSetLayoutOf(set)->effectors[id] : nullptr;
}

template <class Number>
void OnEffector(VLMEffectorSetState* set, int id, const Number* t, const Number* q, const Number* s, int invertFlag)
{
    if (VLMTransformTQS* x = EffectorRecord(set, id); x && t && q && s)
        Compose(*x, FromVectors(t, q, s), invertFlag, PostMultiply);
}

template <class Number>
void OnEffectorMatrix(VLMEffectorSetState* set, int id, const Number* matrix, int invertFlag)
{
    Given g;
    if (VLMTransformTQS* x = EffectorRecord(set, id); x && matrix && FromMatrix(matrix, g))
        Compose(*x, g, invertFlag, PostMultiply);
}

template <class Rule>
void RecordPair(VLMTransformTQS* record, VLMVector4* t, VLMVector4* q, VLMVector4* s, int invertFlag, Rule rule)
{
    if (!record || !t || !q || !s)
        return;
    if (invertFlag != 0)
        Invert(*t, *q, *s);
    rule(*record, Given{*t, *q, *s});
}

}  // namespace

void VLMTQSPostMultiply(VLMTransformTQS* record, VLMVector4* t, VLMVector4* q, VLMVector4* s, int invert)
{
    RecordPair(record, t, q, s, invert, PostMultiply);
}

void VLMTQSPreMultiply(VLMTransformTQS* record, VLMVector4* t, VLMVector4* q, VLMVector4* s, int invert)
{
    RecordPair(record, t, q, s, invert, PreMultiply);
}

void VLMPostMultiplyNodeStateMatrix(const VLMCharacter* character, VLMCharacterState* state, int id,
                                    const float* matrix, int invert)
{
    VLMScopedFPGuard guard;
    OnNodeMatrix(character, state, id, matrix, invert);
}

void VLMPostMultiplyNodeStateMatrixd(const VLMCharacter* character, VLMCharacterState* state, int id,
                                     const double* matrix, int invert)
{
    VLMScopedFPGuard guard;
    OnNodeMatrix(character, state, id, matrix, invert);
}

void VLMPostMultiplyNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                 const float* q, const float* s, int invert)
{
    VLMScopedFPGuard guard;
    OnNode(character, state, id, t, q, s, invert, PostMultiply);
}

void VLMPostMultiplyNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                                  const double* q, const double* s, int invert)
{
    VLMScopedFPGuard guard;
    OnNode(character, state, id, t, q, s, invert, PostMultiply);
}

void VLMPreMultiplyNodeStateTQS(const VLMCharacter* character, VLMCharacterState* state, int id, const float* t,
                                const float* q, const float* s, int invert)
{
    VLMScopedFPGuard guard;
    OnNode(character, state, id, t, q, s, invert, PreMultiply);
}

void VLMPreMultiplyNodeStateTQSd(const VLMCharacter* character, VLMCharacterState* state, int id, const double* t,
                                 const double* q, const double* s, int invert)
{
    VLMScopedFPGuard guard;
    OnNode(character, state, id, t, q, s, invert, PreMultiply);
}

void VLMPreMultiplyCharacterStateTQS(const VLMCharacter* character, VLMCharacterState* state, const float* t,
                                     const float* q, const float* s, int invert)
{
    VLMScopedFPGuard guard;
    OnCharacter(character, state, t, q, s, invert);
}

void VLMPreMultiplyCharacterStateTQSd(const VLMCharacter* character, VLMCharacterState* state, const double* t,
                                      const double* q, const double* s, int invert)
{
    VLMScopedFPGuard guard;
    OnCharacter(character, state, t, q, s, invert);
}

void VLMPostMultiplyEffectorStateMatrix(VLMEffectorSetState* set, int id, const float* matrix, int invert)
{
    VLMScopedFPGuard guard;
    OnEffectorMatrix(set, id, matrix, invert);
}

void VLMPostMultiplyEffectorStateMatrixd(VLMEffectorSetState* set, int id, const double* matrix, int invert)
{
    VLMScopedFPGuard guard;
    OnEffectorMatrix(set, id, matrix, invert);
}

void VLMPostMultiplyEffectorStateTQS(VLMEffectorSetState* set, int id, const float* t, const float* q, const float* s,
                                     int invert)
{
    VLMScopedFPGuard guard;
    OnEffector(set, id, t, q, s, invert);
}

void VLMPostMultiplyEffectorStateTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q,
                                      const double* s, int invert)
{
    VLMScopedFPGuard guard;
    OnEffector(set, id, t, q, s, invert);
}

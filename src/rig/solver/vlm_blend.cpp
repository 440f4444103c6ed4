#include "rig/solver/vlm_blend.h"

#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

#include <algorithm>

using vlm_entry::IsEffector;
using vlm_entry::LoadDoubles;

namespace {

VLMVector4 Load(const float* v) { return VLMVector4LoadUnaligned(v); }
VLMVector4 Load(const double* v) { return LoadDoubles(v); }

// Candidates given as T, Q and S vectors.
template <class Number>
struct VectorCandidates {
    const Number *t, *q, *s;
    bool given() const { return t && q && s; }
    void frame(int k, VLMTransformTQS& x) const
    {
        x.t = Load(t + 4 * k);
        x.q = Load(q + 4 * k);
        x.s = Load(s + 4 * k);
    }
    // Candidate 0's T and Q for the fallbacks, the identity where not given.
    void first(VLMVector4& firstT, VLMVector4& firstQ) const
    {
        firstT = t ? Load(t) : VLMVector4Zero();
        firstQ = q ? Load(q) : VLMConstant::IdentityQuat;
    }
};

// Candidates given as matrices.
template <class Number>
struct MatrixCandidates {
    const Number* m;
    bool given() const { return m != nullptr; }
    void frame(int k, VLMTransformTQS& x) const
    {
        if constexpr (sizeof(Number) == sizeof(float))
            VLMMatrix44UnalignedToTQS(x.t, x.q, x.s, m + 16 * k);
        else
            VLMMatrix44DoubleToTQS(x.t, x.q, x.s, m + 16 * k);
    }
    void first(VLMVector4& firstT, VLMVector4& firstQ) const
    {
        VLMTransformTQS x = {VLMVector4Zero(), VLMConstant::IdentityQuat, VLMConstant::One};
        if (m)
            frame(0, x);
        firstT = x.t;
        firstQ = x.q;
    }
};

template <class Number, class Candidates>
void Blend(VLMEffectorSetState* set, int id, const Candidates& candidates, const Number* pivots, const Number* weightsT,
           const Number* weightsR, int n)
{
    if (!set || !IsEffector(id))
        return;
    if (n > 0 && !(candidates.given() && pivots && weightsT && weightsR))
        return;
    VLMEffectorSetLayout* layout = VLMEffectorSetLayoutOf(set);
    VLMTransformTQS& x = layout->effectors[id];
    x = {VLMVector4Zero(), VLMConstant::IdentityQuat, VLMConstant::One};
    VLMVector4 a = VLMVector4Zero(), b = VLMVector4Zero();
    float sumT = 0.0f, sumR = 0.0f, maxT = 0.0f, maxR = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float wT = float(weightsT[k]), wR = float(weightsR[k]);
        if (!(wT > 0.0f || wR > 0.0f))
            continue;
        VLMTransformTQS c;
        candidates.frame(k, c);
        const VLMVector4 s = VLMVector4MergeW(c.s, VLMConstant::One);
        const VLMVector4 o = VLMVector4ClearW(Load(pivots + 4 * k));
        const VLMVector4 point = VLMVector4ClearW(c.t) + VLMQuatRotate(c.q, s * o);
        a = a + wT * point;
        const float sign = VLMVector4GetX(VLMVector4Dot4(c.q, b)) < 0.0f ? -1.0f : 1.0f;
        b = b + (sign * wR) * c.q;
        if (k == 0)
            x.s = s;
        sumT += wT;
        sumR += wR;
        maxT = std::max(maxT, wT);
        maxR = std::max(maxR, wR);
    }
    VLMVector4 firstT, firstQ;
    if (!(sumT > 0.0f && sumR > 0.0f))
        candidates.first(firstT, firstQ);
    x.t = sumT > 0.0f ? a * VLMVector4Recip(VLMVector4Splat(sumT)) : VLMVector4ClearW(firstT);
    x.q = sumR > 0.0f ? VLMQuatNormalize(b) : firstQ;
    layout->blend[id].x = maxT;
    layout->blend[id].y = maxR;
}

}  // namespace

void VLMBlendEffectorStateTQS(VLMEffectorSetState* set, int id, const float* t, const float* q, const float* s,
                              const float* pivots, const float* weightsT, const float* weightsR, int n)
{
    VLMScopedFPGuard guard;
    Blend(set, id, VectorCandidates<float>{t, q, s}, pivots, weightsT, weightsR, n);
}

void VLMBlendEffectorStateTQSd(VLMEffectorSetState* set, int id, const double* t, const double* q, const double* s,
                               const double* pivots, const double* weightsT, const double* weightsR, int n)
{
    VLMScopedFPGuard guard;
    Blend(set, id, VectorCandidates<double>{t, q, s}, pivots, weightsT, weightsR, n);
}

void VLMBlendEffectorStateMatrix(VLMEffectorSetState* set, int id, const float* matrices, const float* pivots,
                                 const float* weightsT, const float* weightsR, int n)
{
    VLMScopedFPGuard guard;
    Blend(set, id, MatrixCandidates<float>{matrices}, pivots, weightsT, weightsR, n);
}

void VLMBlendEffectorStateMatrixd(VLMEffectorSetState* set, int id, const double* matrices, const double* pivots,
                                  const double* weightsT, const double* weightsR, int n)
{
    VLMScopedFPGuard guard;
    Blend(set, id, MatrixCandidates<double>{matrices}, pivots, weightsT, weightsR, n);
}

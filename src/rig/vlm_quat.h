// Velmora rig library: quaternion, matrix and transform conversions.
//
// Conventions that all of the library's geometry shares:
//   - a quaternion is a VLMVector4 (x, y, z, w), w the scalar part, identity
//     (0, 0, 0, 1); q and -q are the same rotation;
//   - products are Hamilton products and the right factor acts first:
//     rot(a (x) b, v) = rot(a, rot(b, v)); a child's global rotation is
//     parent global (x) child local;
//   - q rotates v as q (v, 0) q*;
//   - a VLMMatrix44 holds in rows 0..2 the images of the x, y and z axes (the
//     rotation's rows, each scaled by its scale factor, w 0) and in row 3 the
//     translation with w 1: a point p maps to p.x r0 + p.y r1 + p.z r2 + r3.
//
// Kernels come in the calling forms of vlm_vector.h: a value form returning the
// result and an object form writing it into a caller's storage given first.
// Everything is single precision on four lanes; the double forms narrow their
// inputs or widen their results at the edge. Normalisations use the reciprocal
// square root estimate refined by one Newton step (VLMQuatNormalize);
// decomposition lengths use exact square roots and divisions. Nothing is
// validated: zero lengths and zero quaternions give infinities or NaN.
//
// Orders of evaluation that the formulas leave open are fixed here as the
// library's rules and noted at each kernel.
#ifndef VLM_QUAT_H
#define VLM_QUAT_H

#include "vlm_base.h"
#include "vlm_constants.h"
#include "vlm_vector.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#define VLM_PERMUTE(P, v) vlm_detail::Permute<vlm_detail::PatternImmediate(#P)>(v)

namespace vlm_detail {

// The product kernel: from four permuted lane products,
//   t := zxyw(b) a - ywzx(xwyz(a) b) - wyxz(wxzy(a) b) - zwxy(wyxz(b) a)
// (subtracted left to right), then zxyw(t), which is conj(a (x) b).
inline __m128 QuatProductConjugated(__m128 a, __m128 b)
{
    __m128 t = _mm_mul_ps(VLM_PERMUTE(ZXYW, b), a);
    t = _mm_sub_ps(t, VLM_PERMUTE(YWZX, _mm_mul_ps(VLM_PERMUTE(XWYZ, a), b)));
    t = _mm_sub_ps(t, VLM_PERMUTE(WYXZ, _mm_mul_ps(VLM_PERMUTE(WXZY, a), b)));
    t = _mm_sub_ps(t, VLM_PERMUTE(ZWXY, _mm_mul_ps(VLM_PERMUTE(WYXZ, b), a)));
    return VLM_PERMUTE(ZXYW, t);
}

// Sign bits of x, y and z flipped: the conjugate.
inline __m128 FlipXYZ(__m128 v) { return _mm_xor_ps(v, Const(VLMConstant::SignMaskXYZ)); }

inline __m128 QuatMultiply(__m128 a, __m128 b) { return FlipXYZ(QuatProductConjugated(a, b)); }

// zxyw(zxyw(a) b - zxyw(b) a), the cross product of VLMVector4Cross.
inline __m128 Cross(__m128 a, __m128 b)
{
    return VLM_PERMUTE(ZXYW, _mm_sub_ps(_mm_mul_ps(VLM_PERMUTE(ZXYW, a), b), _mm_mul_ps(VLM_PERMUTE(ZXYW, b), a)));
}

// v rotated by q: with u the x, y, z of q, w its scalar and t = 2v (w cleared),
// v' = ((u . t) u + w (w t + u x t)) - v, u . t summed as (y + x) + z. The w
// lane of v passes through.
inline __m128 QuatRotate(__m128 q, __m128 v)
{
    const __m128 t = _mm_and_ps(_mm_add_ps(v, v), Const(VLMConstant::MaskXYZ));
    const __m128 ut = HorizontalSum3(_mm_mul_ps(q, t));
    const __m128 w = VLM_PERMUTE(WWWW, q);
    const __m128 inner = _mm_add_ps(_mm_mul_ps(w, t), Cross(q, t));
    const __m128 r = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(ut, q), _mm_mul_ps(w, inner)), v);
    return Blend(Const(VLMConstant::MaskW), v, r);
}

} // namespace vlm_detail

// a (x) b, the Hamilton product: (aw bx + ax bw + ay bz - az by,
// aw by - ax bz + ay bw + az bx, aw bz + ax by - ay bx + az bw,
// aw bw - ax bx - ay by - az bz); b acts first.
VLM_VALUE VLMVector4 VLMQuatMultiply(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(QuatMultiply(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMQuatMultiply)

// v rotated by q (q (v, 0) q* for a unit q; q is not normalised first), the w
// lane of v passed through.
VLM_VALUE VLMVector4 VLMQuatRotate(const VLMVector4& q, const VLMVector4& v)
{
    using namespace vlm_detail;
    return Out(QuatRotate(In(q), In(v)));
}
VLM_OBJECT_FORM2(VLMQuatRotate)

#undef VLM_PERMUTE

#endif

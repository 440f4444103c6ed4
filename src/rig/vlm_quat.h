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

#include "rig/vlm_base.h"
#include "rig/vlm_constants.h"
#include "rig/vlm_vector.h"

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

}  // namespace vlm_detail

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

namespace vlm_detail {

// h := w q - (0, 0, 0, 0.5) = (w x, w y, w z, w w - 0.5).
inline __m128 HalfAngleTerms(__m128 q)
{
    return _mm_sub_ps(_mm_mul_ps(VLM_PERMUTE(WWWW, q), q), Const(VLMConstant::HalfW));
}

// The rotation rows of q, each 2 (c q + P(h) signs) for the component c of its
// axis: the image of the x axis (2(xx + ww) - 1, 2(xy + wz), 2(xz - wy), 0),
// of the y axis (2(xy - wz), 2(yy + ww) - 1, 2(yz + wx), 0) and of the z axis
// (2(xz + wy), 2(yz - wx), 2(zz + ww) - 1, 0). The diagonal comes from
// w w - 0.5, so a quaternion that is not of unit length gives rows that are
// not orthonormal.
inline __m128 QuatRowX(__m128 q, __m128 h)
{
    const __m128 s = _mm_add_ps(_mm_mul_ps(VLM_PERMUTE(XXXX, q), q),
                                _mm_mul_ps(VLM_PERMUTE(WZYX, h), Const(VLMConstant::QuatSignsA)));
    return _mm_add_ps(s, s);
}
inline __m128 QuatRowY(__m128 q, __m128 h)
{
    const __m128 s = _mm_add_ps(_mm_mul_ps(VLM_PERMUTE(YYYY, q), q),
                                _mm_mul_ps(VLM_PERMUTE(ZWXY, h), Const(VLMConstant::QuatSignsB)));
    return _mm_add_ps(s, s);
}
inline __m128 QuatRowZ(__m128 q, __m128 h)
{
    const __m128 s = _mm_add_ps(_mm_mul_ps(VLM_PERMUTE(ZZZZ, q), q),
                                _mm_mul_ps(VLM_PERMUTE(YXWZ, h), Const(VLMConstant::QuatSignsC)));
    return _mm_add_ps(s, s);
}

inline void StoreRows(VLMMatrix44& m, __m128 r0, __m128 r1, __m128 r2, __m128 r3)
{
    _mm_store_ps(&m.r[0].x, r0);
    _mm_store_ps(&m.r[1].x, r1);
    _mm_store_ps(&m.r[2].x, r2);
    _mm_store_ps(&m.r[3].x, r3);
}

inline VLMMatrix44 TQSToMatrix(__m128 t, __m128 q, __m128 s)
{
    const __m128 h = HalfAngleTerms(q);
    VLMMatrix44 m;
    StoreRows(m, _mm_mul_ps(QuatRowX(q, h), VLM_PERMUTE(XXXX, s)), _mm_mul_ps(QuatRowY(q, h), VLM_PERMUTE(YYYY, s)),
              _mm_mul_ps(QuatRowZ(q, h), VLM_PERMUTE(ZZZZ, s)), _mm_add_ps(t, Const(VLMConstant::IdentityQuat)));
    return m;
}

// The quaternion of three rotation rows (m_ij lane j of row i), branching on
// signs so that the pivot component is at least 1 before the normalisation.
// Every test has the form 0 <= value: -0 takes the first alternative, NaN the
// second. Sums are formed left to right as written.
inline __m128 QuatFromRows(const VLMVector4& r0, const VLMVector4& r1, const VLMVector4& r2)
{
    const float m00 = r0.x, m01 = r0.y, m02 = r0.z;
    const float m10 = r1.x, m11 = r1.y, m12 = r1.z;
    const float m20 = r2.x, m21 = r2.y, m22 = r2.z;
    float x, y, z, w;
    if (0.0f <= m00) {
        if (0.0f <= m11 + m22) {
            x = m12 - m21;
            y = m20 - m02;
            z = m01 - m10;
            w = ((1.0f + m00) + m11) + m22;
        } else {
            x = ((1.0f + m00) - m11) - m22;
            y = m01 + m10;
            z = m02 + m20;
            w = m12 - m21;
        }
    } else {
        if (0.0f <= m11 - m22) {
            x = m01 + m10;
            y = ((1.0f - m00) + m11) - m22;
            z = m12 + m21;
            w = m20 - m02;
        } else {
            x = m02 + m20;
            y = m12 + m21;
            z = ((1.0f - m00) - m11) + m22;
            w = m01 - m10;
        }
    }
    return Normalize4(_mm_setr_ps(x, y, z, w));
}

// (|r0|, |r1|, |r2|, 1): each length the exact square root of the row's
// four-lane Dot4, read from lane x.
inline __m128 RowLengths(__m128 r0, __m128 r1, __m128 r2)
{
    const __m128 squares = GatherX(HorizontalSum(_mm_mul_ps(r0, r0)), HorizontalSum(_mm_mul_ps(r1, r1)),
                                   HorizontalSum(_mm_mul_ps(r2, r2)), Const(VLMConstant::One));
    return _mm_sqrt_ps(squares);
}

// T, Q, S of a matrix: S := the row lengths; the rotation rows are the rows
// divided by their lengths (exact divisions); Q := QuatFromRows of those;
// T := row 3 with w cleared.
inline void MatrixToTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s, __m128 r0, __m128 r1, __m128 r2, __m128 r3)
{
    const __m128 lengths = RowLengths(r0, r1, r2);
    const VLMVector4 n0 = Out(_mm_div_ps(r0, VLM_PERMUTE(XXXX, lengths)));
    const VLMVector4 n1 = Out(_mm_div_ps(r1, VLM_PERMUTE(YYYY, lengths)));
    const VLMVector4 n2 = Out(_mm_div_ps(r2, VLM_PERMUTE(ZZZZ, lengths)));
    const __m128 rotation = QuatFromRows(n0, n1, n2);
    _mm_store_ps(&t.x, _mm_and_ps(r3, Const(VLMConstant::MaskXYZ)));
    _mm_store_ps(&q.x, rotation);
    _mm_store_ps(&s.x, lengths);
}

// r0 v.x + r1 v.y + r2 v.z + r3 v.w, the library's order:
// ((r1 v.y + r0 v.x) + r2 v.z) + r3 v.w.
inline __m128 MatrixMulVector(__m128 r0, __m128 r1, __m128 r2, __m128 r3, __m128 v)
{
    __m128 sum = _mm_add_ps(_mm_mul_ps(r1, VLM_PERMUTE(YYYY, v)), _mm_mul_ps(r0, VLM_PERMUTE(XXXX, v)));
    sum = _mm_add_ps(sum, _mm_mul_ps(r2, VLM_PERMUTE(ZZZZ, v)));
    return _mm_add_ps(sum, _mm_mul_ps(r3, VLM_PERMUTE(WWWW, v)));
}

}  // namespace vlm_detail

// The rotation matrix of q (not normalised first); row 3 is (0, 0, 0, 1).
// The identity quaternion gives the identity exactly; (0, 0, 0, 0) gives
// minus the identity in rows 0..2.
VLM_VALUE VLMMatrix44 VLMQuatToMatrix44(const VLMVector4& q)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    const __m128 h = HalfAngleTerms(vq);
    VLMMatrix44 m;
    StoreRows(m, QuatRowX(vq, h), QuatRowY(vq, h), QuatRowZ(vq, h), Const(VLMConstant::IdentityQuat));
    return m;
}
inline VLMMatrix44& VLMQuatToMatrix44(VLMMatrix44& result, const VLMVector4& q)
{
    result = VLMQuatToMatrix44(q);
    return result;
}

// The transform matrix of T, Q, S: the rotation rows of Q (not normalised
// first), row i scaled by lane i of S, row 3 = T + (0, 0, 0, 1). Scale acts
// along the node's own axes before the rotation; the translation is not scaled.
VLM_VALUE VLMMatrix44 VLMTQSToMatrix44(const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    using namespace vlm_detail;
    return TQSToMatrix(In(t), In(q), In(s));
}
inline VLMMatrix44& VLMTQSToMatrix44(VLMMatrix44& result, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    result = VLMTQSToMatrix44(t, q, s);
    return result;
}

// VLMTQSToMatrix44 after Q := VLMQuatNormalize(Q).
VLM_VALUE VLMMatrix44 VLMTQSToMatrix44Normalized(const VLMVector4& t, const VLMVector4& q, const VLMVector4& s)
{
    using namespace vlm_detail;
    return TQSToMatrix(In(t), Normalize4(In(q)), In(s));
}
inline VLMMatrix44& VLMTQSToMatrix44Normalized(VLMMatrix44& result, const VLMVector4& t, const VLMVector4& q,
                                               const VLMVector4& s)
{
    result = VLMTQSToMatrix44Normalized(t, q, s);
    return result;
}

// The quaternion of three rotation rows (not normalised first), normalised by
// VLMQuatNormalize. Its pivot component comes out positive, so a matrix always
// gives the same one of q and -q.
VLM_VALUE VLMVector4 VLMQuatFromRotationRows(const VLMVector4& r0, const VLMVector4& r1, const VLMVector4& r2)
{
    using namespace vlm_detail;
    return Out(QuatFromRows(r0, r1, r2));
}
VLM_OBJECT_FORM3(VLMQuatFromRotationRows)

// The decomposition of a transform matrix (16-byte aligned): S := the row
// lengths (|r0|, |r1|, |r2|, 1) by exact square roots, Q := the quaternion of
// the rows divided by those lengths, T := row 3 with w cleared. No determinant
// is examined: scales are always positive, and a mirroring matrix gives the
// quaternion of rows that are not a rotation.
inline void VLMMatrix44ToTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s, const VLMMatrix44& m)
{
    using namespace vlm_detail;
    MatrixToTQS(t, q, s, In(m.r[0]), In(m.r[1]), In(m.r[2]), In(m.r[3]));
}

// The same for sixteen floats at any address.
inline void VLMMatrix44UnalignedToTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s, const void* matrix)
{
    using namespace vlm_detail;
    const float* f = static_cast<const float*>(matrix);
    MatrixToTQS(t, q, s, _mm_loadu_ps(f), _mm_loadu_ps(f + 4), _mm_loadu_ps(f + 8), _mm_loadu_ps(f + 12));
}

// The same after narrowing sixteen doubles (row by row) to floats.
VLM_API void VLMMatrix44DoubleToTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s, const double* matrix);

// (|r0|, |r1|, |r2|, 1) by exact square roots.
VLM_VALUE VLMVector4 VLMMatrix44RowLengths(const VLMMatrix44& m)
{
    using namespace vlm_detail;
    return Out(RowLengths(In(m.r[0]), In(m.r[1]), In(m.r[2])));
}
inline VLMVector4& VLMMatrix44RowLengths(VLMVector4& result, const VLMMatrix44& m)
{
    result = VLMMatrix44RowLengths(m);
    return result;
}

// The stretch that a scale S, given along the parent's axes, causes along each
// axis rotated by Q: with r0, r1, r2 the rotation rows of Q (not normalised),
// w_i := S r_i lane-wise and e_i := (r0 . w_i, r1 . w_i, r2 . w_i, w_i.w), the
// result is (|e_0|, |e_1|, |e_2|, 1). The dot products are three-lane sums
// ((y + x) + z; the rows' w lanes are 0), the lengths exact square roots.
VLM_VALUE VLMVector4 VLMScaleThroughRotation(const VLMVector4& q, const VLMVector4& s)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    const __m128 vs = In(s);
    const __m128 h = HalfAngleTerms(vq);
    const __m128 r[3] = {QuatRowX(vq, h), QuatRowY(vq, h), QuatRowZ(vq, h)};
    __m128 squares[3];
    for (int i = 0; i < 3; ++i) {
        const __m128 w = _mm_mul_ps(vs, r[i]);
        const __m128 e = GatherX(HorizontalSum3(_mm_mul_ps(r[0], w)), HorizontalSum3(_mm_mul_ps(r[1], w)),
                                 HorizontalSum3(_mm_mul_ps(r[2], w)), VLM_PERMUTE(WWWW, w));
        squares[i] = HorizontalSum(_mm_mul_ps(e, e));
    }
    return Out(_mm_sqrt_ps(GatherX(squares[0], squares[1], squares[2], Const(VLMConstant::One))));
}
VLM_OBJECT_FORM2(VLMScaleThroughRotation)

// The transform that applies B first and then A: row i of the result is
// B[i].x A.r0 + B[i].y A.r1 + B[i].z A.r2 + B[i].w A.r3, summed as the
// matrix-vector product of A with row i of B:
// ((A.r1 B[i].y + A.r0 B[i].x) + A.r2 B[i].z) + A.r3 B[i].w.
VLM_VALUE VLMMatrix44 VLMMatrix44Multiply(const VLMMatrix44& a, const VLMMatrix44& b)
{
    using namespace vlm_detail;
    const __m128 a0 = In(a.r[0]), a1 = In(a.r[1]), a2 = In(a.r[2]), a3 = In(a.r[3]);
    VLMMatrix44 m;
    StoreRows(m, MatrixMulVector(a0, a1, a2, a3, In(b.r[0])), MatrixMulVector(a0, a1, a2, a3, In(b.r[1])),
              MatrixMulVector(a0, a1, a2, a3, In(b.r[2])), MatrixMulVector(a0, a1, a2, a3, In(b.r[3])));
    return m;
}
inline VLMMatrix44& VLMMatrix44Multiply(VLMMatrix44& result, const VLMMatrix44& a, const VLMMatrix44& b)
{
    result = VLMMatrix44Multiply(a, b);
    return result;
}

// The sign-corrected normalised blend: d := Dot4(a, b); s := -1 when the sign
// bit of d is set (d = -0 included), else +1; result VLMQuatNormalize(
// a + t (s b - a)), t lane by lane. The sign is read from lane x of d, so that
// all four lanes of b flip together.
VLM_VALUE VLMVector4 VLMQuatNlerp(const VLMVector4& a, const VLMVector4& b, const VLMVector4& t)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    const __m128 vb = In(b);
    const __m128 d = VLM_PERMUTE(XXXX, HorizontalSum(_mm_mul_ps(va, vb)));
    const __m128 sign = _mm_or_ps(_mm_and_ps(d, Const(VLMConstant::SignMask)), Const(VLMConstant::One));
    const __m128 target = _mm_mul_ps(sign, vb);
    return Out(Normalize4(_mm_add_ps(va, _mm_mul_ps(_mm_sub_ps(target, va), In(t)))));
}
VLM_OBJECT_FORM3(VLMQuatNlerp)

// Widening to double precision.
inline void VLMVector4ToDoubles(double* out, const VLMVector4& v)
{
    const __m128 f = vlm_detail::In(v);
    _mm_storeu_pd(out, _mm_cvtps_pd(f));
    _mm_storeu_pd(out + 2, _mm_cvtps_pd(_mm_movehl_ps(f, f)));
}

// Sixteen doubles, row by row.
inline void VLMMatrix44ToDoubles(double* out, const VLMMatrix44& m)
{
    for (int i = 0; i < 4; ++i)
        VLMVector4ToDoubles(out + 4 * i, m.r[i]);
}

// VLMTQSToMatrix44Normalized widened to sixteen doubles.
VLM_API void VLMTQSToMatrix44Double(double* out, const VLMVector4& t, const VLMVector4& q, const VLMVector4& s);

// Four transforms from their lane block: T_k = (tx[k], ty[k], tz[k], 0),
// Q_k = (qx[k], qy[k], qz[k], qw[k]), S_k = (sx[k], sy[k], sz[k], 1), where
// translation holds the x, y and z lane vectors of T0..T3, rotation the x, y,
// z and w lane vectors of Q0..Q3 and scale the x, y and z lane vectors of
// S0..S3.
VLM_API void VLMTQS4Unpack(VLMVector4& t0, VLMVector4& q0, VLMVector4& s0, VLMVector4& t1, VLMVector4& q1,
                           VLMVector4& s1, VLMVector4& t2, VLMVector4& q2, VLMVector4& s2, VLMVector4& t3,
                           VLMVector4& q3, VLMVector4& s3, const VLMVector4 translation[3],
                           const VLMVector4 rotation[4], const VLMVector4 scale[3]);

// The reverse: the lane block of four transforms; the w lanes of the T and S
// inputs are dropped.
VLM_API void VLMTQS4Pack(VLMVector4 translation[3], VLMVector4 rotation[4], VLMVector4 scale[3], const VLMVector4& t0,
                         const VLMVector4& q0, const VLMVector4& s0, const VLMVector4& t1, const VLMVector4& q1,
                         const VLMVector4& s1, const VLMVector4& t2, const VLMVector4& q2, const VLMVector4& s2,
                         const VLMVector4& t3, const VLMVector4& q3, const VLMVector4& s3);

#undef VLM_PERMUTE

#endif

// Velmora rig library: quaternion and transform utilities.
//
// The second layer of small inline operations on quaternions, transforms and
// the records that hold them, built on the conversions of vlm_quat.h and the
// kernels of vlm_kernels.h. Quaternions are (x, y, z, w) with w the scalar
// part; a unit q rotates v as q (v, 0) q*. Calling forms follow vlm_vector.h;
// records are passed by pointer and returned.
#ifndef VLM_QUAT_UTILS_H
#define VLM_QUAT_UTILS_H

#include "rig/vlm_base.h"
#include "rig/vlm_constants.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_vector.h"

#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <xmmintrin.h>

// conj(a) (x) b: a's x, y, z sign bits flipped, the product kernel applied
// (which yields the conjugate of the product), its x, y, z sign bits flipped.
VLM_VALUE VLMVector4 VLMQuatConjugateMul(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(FlipXYZ(QuatProductConjugated(FlipXYZ(In(a)), In(b))));
}
VLM_OBJECT_FORM2(VLMQuatConjugateMul)

// conj(a (x) b) = conj(b) (x) conj(a): the product kernel without its final flip.
VLM_VALUE VLMVector4 VLMQuatMulConjugated(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(QuatProductConjugated(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMQuatMulConjugated)

// ---------------------------------------------------------------------------
// Rotated axes
// ---------------------------------------------------------------------------

// The image of the x axis under a unit q: (2(w^2 + x^2) - 1, 2(xy + wz),
// 2(xz - wy), 0), computed as 2 (wzyx(w q - (0, 0, 0, 0.5)) (1, 1, -1, -1) + x q).
VLM_VALUE VLMVector4 VLMQuatAxisX(const VLMVector4& q)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    return Out(QuatRowX(vq, HalfAngleTerms(vq)));
}
VLM_OBJECT_FORM1(VLMQuatAxisX)

// The image of the z axis: (2(wy + zx), 2(zy - wx), 2(w^2 + z^2) - 1, 0),
// computed as 2 (yxwz(w q - (0, 0, 0, 0.5)) (1, -1, 1, -1) + z q).
VLM_VALUE VLMVector4 VLMQuatAxisZ(const VLMVector4& q)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    return Out(QuatRowZ(vq, HalfAngleTerms(vq)));
}
VLM_OBJECT_FORM1(VLMQuatAxisZ)

// All three rotated axes; the y axis is 2 (zwxy(w q - (0, 0, 0, 0.5))
// (-1, 1, 1, -1) + y q). The outputs may be the argument.
inline void VLMQuatToAxes(const VLMVector4& q, VLMVector4& xAxis, VLMVector4& yAxis, VLMVector4& zAxis)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    const __m128 h = HalfAngleTerms(vq);
    const __m128 x = QuatRowX(vq, h);
    const __m128 y = QuatRowY(vq, h);
    const __m128 z = QuatRowZ(vq, h);
    _mm_store_ps(&xAxis.x, x);
    _mm_store_ps(&yAxis.x, y);
    _mm_store_ps(&zAxis.x, z);
}

// ---------------------------------------------------------------------------
// Rotations from directions, frames and angles
// ---------------------------------------------------------------------------

// The shortest-arc rotation taking the direction of u to that of v (w lanes
// 0): VLMQuatNormalize of (u x v, sqrt(Dot4(u, u) Dot4(v, v)) + Dot4(u, v)),
// the w lane taken from the w lanes of the splatted sums. Equal directions
// give the identity; opposite ones a zero vector, normalised to NaN.
VLM_VALUE VLMVector4 VLMQuatFromTo(const VLMVector4& u, const VLMVector4& v)
{
    using namespace vlm_detail;
    const __m128 vu = In(u);
    const __m128 vv = In(v);
    const __m128 uu = HorizontalSum(_mm_mul_ps(vu, vu));
    const __m128 vvv = HorizontalSum(_mm_mul_ps(vv, vv));
    const __m128 uv = HorizontalSum(_mm_mul_ps(vu, vv));
    const __m128 w = _mm_add_ps(_mm_sqrt_ps(_mm_mul_ps(uu, vvv)), uv);
    return Out(Normalize4(Blend(Const(VLMConstant::MaskW), w, Cross(vu, vv))));
}
VLM_OBJECT_FORM2(VLMQuatFromTo)

// The rotation whose x axis points along a and whose z axis points toward b:
// X := a RSqrt(Dot4(a, a)), Y := the unit direction of b x X, Z := X x Y (the
// direction of b's component orthogonal to X); the result is the quaternion of
// the rotation rows X, Y, Z (the branch rule of VLMQuatFromRotationRows,
// tested on X.x and on Y.y +- Z.z), normalised. A zero a, or a b parallel to
// a, gives the identity.
VLM_VALUE VLMVector4 VLMQuatFromFrame(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    const __m128 la = HorizontalSum(_mm_mul_ps(va, va));
    if (!(_mm_cvtss_f32(la) > 0.0f))
        return VLMConstant::IdentityQuat;
    const __m128 x = _mm_mul_ps(va, RSqrt(la));
    const __m128 c = Cross(In(b), x);
    const __m128 lc = HorizontalSum(_mm_mul_ps(c, c));
    if (!(_mm_cvtss_f32(lc) > 0.0f))
        return VLMConstant::IdentityQuat;
    const __m128 y = _mm_mul_ps(c, RSqrt(lc));
    const __m128 z = Cross(x, y);
    return Out(QuatFromRows(Out(x), Out(y), Out(z)));
}
VLM_OBJECT_FORM2(VLMQuatFromFrame)

// The rotation about x by angles.x, then about y by angles.y, then about z by
// angles.z (w ignored), not renormalised. With (s, c) := VLMFastSinCos(angles
// x 0.5): (sx cy cz - cx sy sz, cx sy cz + sx cy sz, cx cy sz - sx sy cz,
// cx cy cz + sx sy sz). The library's order: each term is (x factor y factor)
// z factor; the second term is multiplied by the signs (-1, 1, -1, 1) and
// added to the first.
VLM_VALUE VLMVector4 VLMQuatFromEulerXYZ(const VLMVector4& angles)
{
    VLMVector4 s, c;
    VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
    const VLMVector4 first =
        VLMVector4Mul(VLMVector4Mul(VLMVector4MergeX(VLMVector4SplatX(c), s), VLMVector4MergeY(VLMVector4SplatY(c), s)),
                      VLMVector4MergeZ(VLMVector4SplatZ(c), s));  // (sx cy cz, cx sy cz, cx cy sz, cx cy cz)
    const VLMVector4 second =
        VLMVector4Mul(VLMVector4Mul(VLMVector4MergeX(VLMVector4SplatX(s), c), VLMVector4MergeY(VLMVector4SplatY(s), c)),
                      VLMVector4MergeZ(VLMVector4SplatZ(s), c));  // (cx sy sz, sx cy sz, sx sy cz, sx sy sz)
    return VLMVector4Add(first, VLMVector4Mul(second, VLMConstant::SignsYW));
}
VLM_OBJECT_FORM1(VLMQuatFromEulerXYZ)

// A twist about x by angles.x followed by a swing whose axis lies in the y-z
// plane: with (s, c) := VLMFastSinCos(angles x 0.5), the product
// (0, sy, sz, cy cz) (x) (sx, 0, 0, cx) = (sx cy cz, sx sz + cx sy,
// cx sz - sx sy, cx cy cz), formed by the product kernel and normalised.
VLM_VALUE VLMVector4 VLMQuatFromSphericXYZ(const VLMVector4& angles)
{
    using namespace vlm_detail;
    VLMVector4 s, c;
    VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
    const __m128 swing = _mm_setr_ps(0.0f, s.y, s.z, c.y * c.z);
    const __m128 twist = _mm_setr_ps(s.x, 0.0f, 0.0f, c.x);
    return Out(Normalize4(QuatMultiply(swing, twist)));
}
VLM_OBJECT_FORM1(VLMQuatFromSphericXYZ)

VLM_VALUE VLMVector4 VLMQuatIdentity() { return VLMConstant::IdentityQuat; }
inline VLMVector4& VLMQuatIdentity(VLMVector4& result) { return VLMVector4Copy(result, VLMConstant::IdentityQuat); }

// ---------------------------------------------------------------------------
// Matrices
// ---------------------------------------------------------------------------

// Rows: the x, y and z axes rotated by the unit Q (w 0), then T + (0, 0, 0, 1).
VLM_VALUE VLMMatrix44 VLMMatrix44FromQuatTranslation(const VLMVector4& t, const VLMVector4& q)
{
    using namespace vlm_detail;
    const __m128 vq = In(q);
    const __m128 h = HalfAngleTerms(vq);
    VLMMatrix44 m;
    StoreRows(m, QuatRowX(vq, h), QuatRowY(vq, h), QuatRowZ(vq, h),
              _mm_add_ps(In(t), Const(VLMConstant::IdentityQuat)));
    return m;
}
inline VLMMatrix44& VLMMatrix44FromQuatTranslation(VLMMatrix44& result, const VLMVector4& t, const VLMVector4& q)
{
    result = VLMMatrix44FromQuatTranslation(t, q);
    return result;
}

// r0 v.x + r1 v.y + r2 v.z + r3 v.w, summed as ((r1 v.y + r0 v.x) + r2 v.z)
// + r3 v.w.
VLM_VALUE VLMVector4 VLMMatrix44MulVector(const VLMMatrix44& m, const VLMVector4& v)
{
    using namespace vlm_detail;
    return Out(MatrixMulVector(In(m.r[0]), In(m.r[1]), In(m.r[2]), In(m.r[3]), In(v)));
}
inline VLMVector4& VLMMatrix44MulVector(VLMVector4& result, const VLMMatrix44& m, const VLMVector4& v)
{
    result = VLMMatrix44MulVector(m, v);
    return result;
}

// ---------------------------------------------------------------------------
// Translation-rotation-scale records
// ---------------------------------------------------------------------------

namespace vlm_detail {
inline void ResetTQS(VLMVector4& t, VLMVector4& q, VLMVector4& s)
{
    _mm_store_ps(&t.x, _mm_setzero_ps());
    _mm_store_ps(&q.x, Const(VLMConstant::IdentityQuat));
    _mm_store_ps(&s.x, Const(VLMConstant::One));
}
}  // namespace vlm_detail

// T = (0, 0, 0, 0), Q = (0, 0, 0, 1), S = (1, 1, 1, 1).
inline VLMTransformTQS* VLMTQSReset(VLMTransformTQS* record)
{
    vlm_detail::ResetTQS(record->t, record->q, record->s);
    return record;
}

// The transform reset and the presence word 0.
inline VLMTPoseEntry* VLMTPoseEntryReset(VLMTPoseEntry* entry)
{
    vlm_detail::ResetTQS(entry->t, entry->q, entry->s);
    entry->presence = 0;
    return entry;
}

// Both the global and the local transform reset.
inline VLMStateRow* VLMStateRowReset(VLMStateRow* row)
{
    vlm_detail::ResetTQS(row->globalT, row->globalQ, row->globalS);
    vlm_detail::ResetTQS(row->localT, row->localQ, row->localS);
    return row;
}

// Resets n consecutive state rows; a null array or n = 0 touches nothing.
inline void VLMConstructStateRows(VLMStateRow* rows, std::uint64_t count)
{
    if (rows == nullptr)
        return;
    for (std::uint64_t i = 0; i < count; ++i)
        VLMStateRowReset(rows + i);
}

// The seven work rows of a limb (parent, upper, upper roll, middle, middle
// roll, end, tip), all reset.
inline void VLMResetLimbWorkRows(VLMStateRow* rows) { VLMConstructStateRows(rows, 7); }

// The 44 effector transforms of an effector set reset and their blend lanes
// (the 704 bytes that follow them) zeroed; the rest of the set is untouched.
inline VLMEffectorSetLayout* VLMResetEffectorRecords(VLMEffectorSetLayout* set)
{
    for (VLMTransformTQS& record : set->effectors)
        VLMTQSReset(&record);
    std::memset(set->blend, 0, sizeof set->blend);
    return set;
}

// ---------------------------------------------------------------------------
// Pair arrays: N entries of {T, Q} at a 48-byte stride (the third 16 bytes of
// an entry are not part of the pair), then one VLMVector4 per entry; the
// 8-entry form ends with two more vectors.
// ---------------------------------------------------------------------------

struct alignas(16) VLMPairEntry {
    VLMVector4 t;
    VLMVector4 q;
    VLMVector4 unused;
};

struct alignas(16) VLMPairArray2 {
    VLMPairEntry entries[2];
    VLMVector4 lanes[2];
};

struct alignas(16) VLMPairArray4 {
    VLMPairEntry entries[4];
    VLMVector4 lanes[4];
};

struct alignas(16) VLMPairArray8 {
    VLMPairEntry entries[8];
    VLMVector4 lanes[8];
    VLMVector4 trailing[2];
};

static_assert(sizeof(VLMPairEntry) == 48, "pair entries are 48 bytes apart");
static_assert(sizeof(VLMPairArray2) == 128 && sizeof(VLMPairArray4) == 256 && sizeof(VLMPairArray8) == 544,
              "pair array layouts");

namespace vlm_detail {
template <int N>
inline void CopyPairs(VLMPairEntry* destination, VLMVector4* destinationLanes, const VLMPairEntry* source,
                      const VLMVector4* sourceLanes)
{
    for (int i = 0; i < N; ++i) {
        VLMVector4Copy(destination[i].t, source[i].t);
        VLMVector4Copy(destination[i].q, source[i].q);
    }
    for (int i = 0; i < N; ++i)
        VLMVector4Copy(destinationLanes[i], sourceLanes[i]);
}
}  // namespace vlm_detail

inline VLMPairArray2* VLMPairArrayCopy2(VLMPairArray2* destination, const VLMPairArray2* source)
{
    vlm_detail::CopyPairs<2>(destination->entries, destination->lanes, source->entries, source->lanes);
    return destination;
}

inline VLMPairArray4* VLMPairArrayCopy4(VLMPairArray4* destination, const VLMPairArray4* source)
{
    vlm_detail::CopyPairs<4>(destination->entries, destination->lanes, source->entries, source->lanes);
    return destination;
}

inline VLMPairArray8* VLMPairArrayCopy8(VLMPairArray8* destination, const VLMPairArray8* source)
{
    vlm_detail::CopyPairs<8>(destination->entries, destination->lanes, source->entries, source->lanes);
    VLMVector4Copy(destination->trailing[0], source->trailing[0]);
    VLMVector4Copy(destination->trailing[1], source->trailing[1]);
    return destination;
}

#endif

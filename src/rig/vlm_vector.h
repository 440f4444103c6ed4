// Velmora rig library: the four-lane vector primitives.
//
// All geometry of the library is written with these small inline operations
// on VLMVector4 (four floats x, y, z, w, 16-byte aligned) and VLMMatrix44.
// Operands live in memory as the plain structs; each primitive loads them
// into SSE registers, works there and stores the result. Only SSE/SSE2
// instructions are used.
//
// Calling forms. A primitive comes in up to three forms that compute the same
// lanes:
//   value form     VLMVector4 VLMVector4Add(const VLMVector4& a, const VLMVector4& b);
//                  operands by const reference, the result returned. Value
//                  forms are [[nodiscard]].
//   object form    VLMVector4& VLMVector4Add(VLMVector4& result, const VLMVector4& a,
//                                             const VLMVector4& b);
//                  the same name with the result vector as an extra first
//                  argument; it is written and a reference to it returned.
//                  Every primitive with a vector result has an object form.
//                  The result may be one of the operands.
//   in-place form  VLMVector4& VLMVector4AddInPlace(VLMVector4& a, const VLMVector4& b);
//                  the name with "InPlace" appended; overwrites its first
//                  operand. Only the operations that are used in place have
//                  one (Add, Mul, the merges, SetZ, RoundLanes, RoundXW,
//                  HorizontalSum); elsewhere the object form with the
//                  operand as result does the same.
// Scalars (float, int, bool) are passed and returned by value. The macros
// VLM_VALUE and VLM_OBJECT_FORM1..4 stay defined so that the kernels built on
// these primitives follow the same convention.
//
// Permutations. VLMVector4Swizzle<P>(a) gives lane i of the result from lane
// P[i] of a, e.g. VLMVector4SwizzleYZWX(a) = (a.y, a.z, a.w, a.x). The fused
// permute-and-combine primitives name the permuted operand by where the word
// "Swizzled<P>" stands:
//   VLMVector4<Op>Swizzled<P>(a, b)             a op P(b)
//   VLMVector4Swizzled<P><Op>(a, b)             P(a) op b
//   VLMVector4Swizzled<P><Op>Swizzled<Q>(a, b)  P(a) op Q(b)
//   VLMVector4Swizzle<P>Of<Op>(a, b)            P(a op b)
// with Op one of Mul, Add, Sub, Div, CmpGT. The patterns that exist are
// listed where they are defined below.
//
// Floating-point environment. Results depend on the SSE control word: the
// library's entry points run them under VLMScopedFPGuard (round to nearest,
// flush-to-zero). Rounding primitives round in the current mode through a
// 32-bit int; no primitive changes the mode. The orders of evaluation written
// below (horizontal sums, Newton steps, products) are part of each
// primitive's definition: results are compared bit for bit elsewhere.
#ifndef VLM_VECTOR_H
#define VLM_VECTOR_H

#include "rig/vlm_base.h"
#include "rig/vlm_constants.h"

#include <cstddef>
#include <cstdint>
#include <emmintrin.h>
#include <xmmintrin.h>

#define VLM_VALUE [[nodiscard]] inline

// Object forms derived from value forms with one to four vector operands.
#define VLM_OBJECT_FORM1(fn)                                       \
    inline VLMVector4& fn(VLMVector4& result, const VLMVector4& a) \
    {                                                              \
        result = fn(a);                                            \
        return result;                                             \
    }
#define VLM_OBJECT_FORM2(fn)                                                            \
    inline VLMVector4& fn(VLMVector4& result, const VLMVector4& a, const VLMVector4& b) \
    {                                                                                   \
        result = fn(a, b);                                                              \
        return result;                                                                  \
    }
#define VLM_OBJECT_FORM3(fn)                                                                                 \
    inline VLMVector4& fn(VLMVector4& result, const VLMVector4& a, const VLMVector4& b, const VLMVector4& c) \
    {                                                                                                        \
        result = fn(a, b, c);                                                                                \
        return result;                                                                                       \
    }
#define VLM_OBJECT_FORM4(fn)                                                                                 \
    inline VLMVector4& fn(VLMVector4& result, const VLMVector4& a, const VLMVector4& b, const VLMVector4& c, \
                          const VLMVector4& d)                                                               \
    {                                                                                                        \
        result = fn(a, b, c, d);                                                                             \
        return result;                                                                                       \
    }

namespace vlm_detail {

inline __m128 In(const VLMVector4& v) { return _mm_load_ps(&v.x); }

inline VLMVector4 Out(__m128 m)
{
    VLMVector4 r;
    _mm_store_ps(&r.x, m);
    return r;
}

constexpr int LaneOf(char c) { return c == 'X' ? 0 : c == 'Y' ? 1 : c == 'Z' ? 2 : c == 'W' ? 3 : -1; }

// The shuffle immediate of a four-letter pattern such as "YZWX".
constexpr int PatternImmediate(const char* p)
{
    return (LaneOf(p[0]) < 0 || LaneOf(p[1]) < 0 || LaneOf(p[2]) < 0 || LaneOf(p[3]) < 0 || p[4] != '\0')
               ? -1
               : LaneOf(p[0]) | (LaneOf(p[1]) << 2) | (LaneOf(p[2]) << 4) | (LaneOf(p[3]) << 6);
}

template <int Immediate>
inline __m128 Permute(__m128 v)
{
    static_assert(Immediate >= 0 && Immediate < 256, "a pattern is four of the letters X, Y, Z, W");
    return _mm_shuffle_ps(v, v, Immediate);
}

// b xor ((a xor b) and m): a where the mask bits are set, b elsewhere, bit by bit.
inline __m128 Blend(__m128 m, __m128 a, __m128 b) { return _mm_xor_ps(b, _mm_and_ps(_mm_xor_ps(a, b), m)); }

inline __m128 Const(const VLMVector4& c) { return _mm_load_ps(&c.x); }

}  // namespace vlm_detail

#define VLM_PERMUTE(P, v) vlm_detail::Permute<vlm_detail::PatternImmediate(#P)>(v)

// ---------------------------------------------------------------------------
// Construction, loads and stores
// ---------------------------------------------------------------------------

// Default construction: the lanes stay as they were.
inline VLMVector4& VLMVector4Construct(VLMVector4& storage) { return storage; }

VLM_VALUE VLMVector4 VLMVector4Load(const VLMVector4* source) { return vlm_detail::Out(_mm_load_ps(&source->x)); }
// The form called through a receiver object: the receiver is not read or written.
VLM_VALUE VLMVector4 VLMVector4Load(const VLMVector4& /*receiver*/, const VLMVector4* source)
{
    return VLMVector4Load(source);
}

inline VLMVector4& VLMVector4Copy(VLMVector4& result, const VLMVector4& a)
{
    _mm_store_ps(&result.x, vlm_detail::In(a));
    return result;
}

VLM_VALUE VLMVector4 VLMVector4LoadUnaligned(const void* source)
{
    return vlm_detail::Out(_mm_loadu_ps(static_cast<const float*>(source)));
}
inline VLMVector4& VLMVector4LoadUnaligned(VLMVector4& result, const void* source)
{
    result = VLMVector4LoadUnaligned(source);
    return result;
}

inline void VLMVector4StoreUnaligned(void* destination, const VLMVector4& a)
{
    _mm_storeu_ps(static_cast<float*>(destination), vlm_detail::In(a));
}

VLM_VALUE VLMVector4 VLMVector4Zero() { return vlm_detail::Out(_mm_setzero_ps()); }
inline VLMVector4& VLMVector4Zero(VLMVector4& result)
{
    result = VLMVector4Zero();
    return result;
}

VLM_VALUE VLMVector4 VLMVector4Splat(float s) { return vlm_detail::Out(_mm_set1_ps(s)); }
inline VLMVector4& VLMVector4Splat(VLMVector4& result, float s)
{
    result = VLMVector4Splat(s);
    return result;
}

// n converted in the current rounding mode (exact below 2^24).
VLM_VALUE VLMVector4 VLMVector4SplatInt(int n) { return vlm_detail::Out(_mm_cvtepi32_ps(_mm_set1_epi32(n))); }
inline VLMVector4& VLMVector4SplatInt(VLMVector4& result, int n)
{
    result = VLMVector4SplatInt(n);
    return result;
}

// Each double narrowed to float in the current rounding mode.
VLM_VALUE VLMVector4 VLMVector4FromDoubles(double x, double y, double z, double w)
{
    const __m128 lo = _mm_cvtpd_ps(_mm_set_pd(y, x));
    const __m128 hi = _mm_cvtpd_ps(_mm_set_pd(w, z));
    return vlm_detail::Out(_mm_movelh_ps(lo, hi));
}
inline VLMVector4& VLMVector4FromDoubles(VLMVector4& result, double x, double y, double z, double w)
{
    result = VLMVector4FromDoubles(x, y, z, w);
    return result;
}

namespace vlm_detail {
// (a.x, b.x, c.x, d.x)
inline __m128 GatherX(__m128 a, __m128 b, __m128 c, __m128 d)
{
    return _mm_movelh_ps(_mm_unpacklo_ps(a, b), _mm_unpacklo_ps(c, d));
}
}  // namespace vlm_detail

VLM_VALUE VLMVector4 VLMVector4GatherXXXX(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c,
                                          const VLMVector4& d)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), In(b), In(c), In(d)));
}
VLM_OBJECT_FORM4(VLMVector4GatherXXXX)

VLM_VALUE VLMVector4 VLMVector4GatherXXX0(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), In(b), In(c), _mm_setzero_ps()));
}
VLM_OBJECT_FORM3(VLMVector4GatherXXX0)

VLM_VALUE VLMVector4 VLMVector4GatherXXX1(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), In(b), In(c), Const(VLMConstant::One)));
}
VLM_OBJECT_FORM3(VLMVector4GatherXXX1)

VLM_VALUE VLMVector4 VLMVector4GatherYXXX(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c,
                                          const VLMVector4& d)
{
    using namespace vlm_detail;
    return Out(GatherX(VLM_PERMUTE(YYYY, In(a)), In(b), In(c), In(d)));
}
VLM_OBJECT_FORM4(VLMVector4GatherYXXX)

VLM_VALUE VLMVector4 VLMVector4GatherXXXY(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c,
                                          const VLMVector4& d)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), In(b), In(c), VLM_PERMUTE(YYYY, In(d))));
}
VLM_OBJECT_FORM4(VLMVector4GatherXXXY)

VLM_VALUE VLMVector4 VLMVector4GatherXXYX(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c,
                                          const VLMVector4& d)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), In(b), VLM_PERMUTE(YYYY, In(c)), In(d)));
}
VLM_OBJECT_FORM4(VLMVector4GatherXXYX)

VLM_VALUE VLMVector4 VLMVector4GatherXYXX(const VLMVector4& a, const VLMVector4& b, const VLMVector4& c,
                                          const VLMVector4& d)
{
    using namespace vlm_detail;
    return Out(GatherX(In(a), VLM_PERMUTE(YYYY, In(b)), In(c), In(d)));
}
VLM_OBJECT_FORM4(VLMVector4GatherXYXX)

VLM_VALUE float VLMVector4GetX(const VLMVector4& a) { return a.x; }
VLM_VALUE float VLMVector4GetY(const VLMVector4& a) { return a.y; }
VLM_VALUE float VLMVector4GetZ(const VLMVector4& a) { return a.z; }
VLM_VALUE float VLMVector4GetW(const VLMVector4& a) { return a.w; }

// Member getter: result receives the VLMVector4 stored ByteOffset bytes into a
// 16-byte aligned record; one instance per place in the record.
template <std::size_t ByteOffset>
inline VLMVector4& VLMVector4GetMember(const void* record, VLMVector4& result)
{
    static_assert(ByteOffset % 16 == 0, "vectors sit on 16-byte boundaries inside records");
    return VLMVector4Copy(result, *reinterpret_cast<const VLMVector4*>(static_cast<const char*>(record) + ByteOffset));
}

// ---------------------------------------------------------------------------
// Lane-wise arithmetic and bit operations
// ---------------------------------------------------------------------------

VLM_VALUE VLMVector4 VLMVector4Add(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_add_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Add)
inline VLMVector4& VLMVector4AddInPlace(VLMVector4& a, const VLMVector4& b) { return VLMVector4Add(a, a, b); }

VLM_VALUE VLMVector4 VLMVector4Sub(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_sub_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Sub)

VLM_VALUE VLMVector4 VLMVector4Mul(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_mul_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Mul)
inline VLMVector4& VLMVector4MulInPlace(VLMVector4& a, const VLMVector4& b) { return VLMVector4Mul(a, a, b); }

// A true division: x/0 gives +-inf, 0/0 NaN.
VLM_VALUE VLMVector4 VLMVector4Div(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_div_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Div)

// a < b ? a : b per lane; the lane of b when either is NaN (minps semantics).
VLM_VALUE VLMVector4 VLMVector4Min(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_min_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Min)

// a > b ? a : b per lane; the lane of b when either is NaN.
VLM_VALUE VLMVector4 VLMVector4Max(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_max_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Max)

VLM_VALUE VLMVector4 VLMVector4And(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_and_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4And)

VLM_VALUE VLMVector4 VLMVector4Or(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_or_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Or)

// Sign bits flipped: -0 becomes +0, NaNs keep their payload.
VLM_VALUE VLMVector4 VLMVector4Negate(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_xor_ps(In(a), Const(VLMConstant::SignMask)));
}
VLM_OBJECT_FORM1(VLMVector4Negate)

// (-x, -y, -z, w): the quaternion conjugate.
VLM_VALUE VLMVector4 VLMVector4NegateXYZ(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_xor_ps(In(a), Const(VLMConstant::SignMaskXYZ)));
}
VLM_OBJECT_FORM1(VLMVector4NegateXYZ)

// (-x, y, -z, w)
VLM_VALUE VLMVector4 VLMVector4NegateXZ(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_xor_ps(In(a), Const(VLMConstant::SignMaskXZ)));
}
VLM_OBJECT_FORM1(VLMVector4NegateXZ)

// (-z, w, -x, y): NegateXZ with the halves swapped afterwards.
VLM_VALUE VLMVector4 VLMVector4NegateXZSwapHalves(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(VLM_PERMUTE(ZWXY, _mm_xor_ps(In(a), Const(VLMConstant::SignMaskXZ))));
}
VLM_OBJECT_FORM1(VLMVector4NegateXZSwapHalves)

VLM_VALUE VLMVector4 VLMVector4Abs(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_andnot_ps(Const(VLMConstant::SignMask), In(a)));
}
VLM_OBJECT_FORM1(VLMVector4Abs)

// +1 or -1 carrying each lane's sign bit: +0 gives +1, -0 gives -1.
VLM_VALUE VLMVector4 VLMVector4Sign(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_or_ps(_mm_and_ps(In(a), Const(VLMConstant::SignMask)), Const(VLMConstant::One)));
}
VLM_OBJECT_FORM1(VLMVector4Sign)

VLM_VALUE VLMVector4 VLMVector4AddOne(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_add_ps(In(a), Const(VLMConstant::One)));
}
VLM_OBJECT_FORM1(VLMVector4AddOne)

// a + (0, 0, 0, 1)
VLM_VALUE VLMVector4 VLMVector4AddUnitW(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_add_ps(In(a), Const(VLMConstant::IdentityQuat)));
}
VLM_OBJECT_FORM1(VLMVector4AddUnitW)

VLM_VALUE VLMVector4 VLMVector4ClearW(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_and_ps(In(a), Const(VLMConstant::MaskXYZ)));
}
VLM_OBJECT_FORM1(VLMVector4ClearW)

// (x, y, z, 1): w cleared, then 1 added.
VLM_VALUE VLMVector4 VLMVector4ToPoint(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_add_ps(_mm_and_ps(In(a), Const(VLMConstant::MaskXYZ)), Const(VLMConstant::IdentityQuat)));
}
VLM_OBJECT_FORM1(VLMVector4ToPoint)

// Adds (1, 1, 1, 1) to a and returns the value a had before.
inline VLMVector4 VLMVector4PostIncrement(VLMVector4& a)
{
    const VLMVector4 previous = a;
    a = VLMVector4AddOne(previous);
    return previous;
}

// a + (b - a) t
VLM_VALUE VLMVector4 VLMVector4Lerp(const VLMVector4& a, const VLMVector4& b, const VLMVector4& t)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    return Out(_mm_add_ps(va, _mm_mul_ps(_mm_sub_ps(In(b), va), In(t))));
}
VLM_OBJECT_FORM3(VLMVector4Lerp)

// min(max(a, 0), 1): NaN gives 0.
VLM_VALUE VLMVector4 VLMVector4Clamp01(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_min_ps(_mm_max_ps(In(a), _mm_setzero_ps()), Const(VLMConstant::One)));
}
VLM_OBJECT_FORM1(VLMVector4Clamp01)

// min(max(a, lo), hi): NaN gives lo; lo > hi gives hi.
VLM_VALUE VLMVector4 VLMVector4Clamp(const VLMVector4& a, const VLMVector4& lo, const VLMVector4& hi)
{
    using namespace vlm_detail;
    return Out(_mm_min_ps(_mm_max_ps(In(a), In(lo)), In(hi)));
}
VLM_OBJECT_FORM3(VLMVector4Clamp)

VLM_VALUE VLMVector4 VLMVector4DegToRad(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_mul_ps(In(a), Const(VLMConstant::DegToRad)));
}
VLM_OBJECT_FORM1(VLMVector4DegToRad)

VLM_VALUE VLMVector4 VLMVector4RadToDeg(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_mul_ps(In(a), Const(VLMConstant::RadToDeg)));
}
VLM_OBJECT_FORM1(VLMVector4RadToDeg)

// ---------------------------------------------------------------------------
// Comparisons and masks. A mask lane is all ones (true) or all zeros; tests
// of masks read only the four sign bits.
// ---------------------------------------------------------------------------

VLM_VALUE VLMVector4 VLMVector4CmpLT(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmplt_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpLT)

VLM_VALUE VLMVector4 VLMVector4CmpGT(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmpgt_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpGT)

VLM_VALUE VLMVector4 VLMVector4CmpLE(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmple_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpLE)

VLM_VALUE VLMVector4 VLMVector4CmpGE(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmpge_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpGE)

VLM_VALUE VLMVector4 VLMVector4CmpEQ(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmpeq_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpEQ)

// True where either lane is NaN.
VLM_VALUE VLMVector4 VLMVector4CmpNE(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_cmpneq_ps(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4CmpNE)

VLM_VALUE VLMVector4 VLMVector4MaskFromBool(bool flag) { return VLMConstant::BoolVectorTable[flag ? 1 : 0]; }
inline VLMVector4& VLMVector4MaskFromBool(VLMVector4& result, bool flag)
{
    result = VLMVector4MaskFromBool(flag);
    return result;
}

// Lane i set when bool i is true.
VLM_VALUE VLMVector4 VLMVector4MaskFromBools(bool x, bool y, bool z, bool w)
{
    using namespace vlm_detail;
    const VLMVector4* table = VLMConstant::BoolVectorTable;
    return Out(GatherX(In(table[x ? 1 : 0]), In(table[y ? 1 : 0]), In(table[z ? 1 : 0]), In(table[w ? 1 : 0])));
}
inline VLMVector4& VLMVector4MaskFromBools(VLMVector4& result, bool x, bool y, bool z, bool w)
{
    result = VLMVector4MaskFromBools(x, y, z, w);
    return result;
}

namespace vlm_detail {
// The four sign bits, lane x in bit 0.
inline int MaskBits(const VLMVector4& m) { return _mm_movemask_ps(In(m)); }
}  // namespace vlm_detail

VLM_VALUE bool VLMVector4AnyLane(const VLMVector4& m) { return vlm_detail::MaskBits(m) != 0; }
VLM_VALUE bool VLMVector4AllLanes(const VLMVector4& m) { return vlm_detail::MaskBits(m) == 0xF; }
VLM_VALUE bool VLMVector4AnyXY(const VLMVector4& m) { return (vlm_detail::MaskBits(m) & 0x3) != 0; }
VLM_VALUE int VLMVector4LaneBitX(const VLMVector4& m) { return vlm_detail::MaskBits(m) & 1; }
VLM_VALUE int VLMVector4LaneBitY(const VLMVector4& m) { return (vlm_detail::MaskBits(m) >> 1) & 1; }
VLM_VALUE int VLMVector4LaneBitZ(const VLMVector4& m) { return (vlm_detail::MaskBits(m) >> 2) & 1; }
VLM_VALUE bool VLMFlagAndAnyLane(bool flag, const VLMVector4& m)
{
    return (static_cast<int>(flag) & static_cast<int>(vlm_detail::MaskBits(m) != 0)) != 0;
}

// ---------------------------------------------------------------------------
// Selecting, merging and partial scaling. All blends are bitwise (b xor
// ((a xor b) and m)), so untouched lanes keep their exact bits, NaN payloads
// and denormals included.
// ---------------------------------------------------------------------------

// Per lane: a where m is set, b elsewhere; a mixed mask selects bit by bit.
VLM_VALUE VLMVector4 VLMVector4Select(const VLMVector4& m, const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(Blend(In(m), In(a), In(b)));
}
VLM_OBJECT_FORM3(VLMVector4Select)

// (b.x, a.y, a.z, a.w)
VLM_VALUE VLMVector4 VLMVector4MergeX(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_move_ss(In(a), In(b)));
}
// (a.x, b.y, a.z, a.w)
VLM_VALUE VLMVector4 VLMVector4MergeY(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    const __m128 t = _mm_shuffle_ps(va, In(b), _MM_SHUFFLE(1, 1, 0, 0));  // (a.x, a.x, b.y, b.y)
    return Out(_mm_shuffle_ps(t, va, _MM_SHUFFLE(3, 2, 2, 0)));
}
// (a.x, a.y, b.z, a.w)
VLM_VALUE VLMVector4 VLMVector4MergeZ(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(Blend(Const(VLMConstant::MaskZ), In(b), In(a)));
}
// (a.x, a.y, a.z, b.w)
VLM_VALUE VLMVector4 VLMVector4MergeW(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(Blend(Const(VLMConstant::MaskW), In(b), In(a)));
}
// (b.x, b.y, a.z, a.w)
VLM_VALUE VLMVector4 VLMVector4MergeXY(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_shuffle_ps(In(b), In(a), _MM_SHUFFLE(3, 2, 1, 0)));
}
// (b.x, b.y, b.z, a.w)
VLM_VALUE VLMVector4 VLMVector4MergeXYZ(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(Blend(Const(VLMConstant::MaskXYZ), In(b), In(a)));
}

#define VLM_MERGE_FORMS(fn) \
    VLM_OBJECT_FORM2(fn)    \
    inline VLMVector4& fn##InPlace(VLMVector4& a, const VLMVector4& b) { return fn(a, a, b); }
VLM_MERGE_FORMS(VLMVector4MergeX)
VLM_MERGE_FORMS(VLMVector4MergeY)
VLM_MERGE_FORMS(VLMVector4MergeZ)
VLM_MERGE_FORMS(VLMVector4MergeW)
VLM_MERGE_FORMS(VLMVector4MergeXY)
VLM_MERGE_FORMS(VLMVector4MergeXYZ)
#undef VLM_MERGE_FORMS

// a.z := s
inline VLMVector4& VLMVector4SetZInPlace(VLMVector4& a, float s)
{
    return VLMVector4MergeZInPlace(a, VLMVector4Splat(s));
}

// (a.x b.x, a.y, a.z, a.w)
VLM_VALUE VLMVector4 VLMVector4ScaleX(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(_mm_mul_ss(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4ScaleX)

// (a.x b.x, a.y b.y, a.z, a.w)
VLM_VALUE VLMVector4 VLMVector4ScaleXY(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    return Out(_mm_shuffle_ps(_mm_mul_ps(va, In(b)), va, _MM_SHUFFLE(3, 2, 1, 0)));
}
VLM_OBJECT_FORM2(VLMVector4ScaleXY)

// (a.x, a.y, a.z b.z, a.w)
VLM_VALUE VLMVector4 VLMVector4ScaleZ(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    return Out(Blend(Const(VLMConstant::MaskZ), _mm_mul_ps(va, In(b)), va));
}
VLM_OBJECT_FORM2(VLMVector4ScaleZ)

// (a.x b.x, a.y b.y, a.z b.z, a.w)
VLM_VALUE VLMVector4 VLMVector4ScaleXYZ(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    return Out(Blend(Const(VLMConstant::MaskXYZ), _mm_mul_ps(va, In(b)), va));
}
VLM_OBJECT_FORM2(VLMVector4ScaleXYZ)

// ---------------------------------------------------------------------------
// Lane permutations: VLMVector4Swizzle<P>(a), value and object forms.
//   XXXX YYYY ZZZZ WWWW (also VLMVector4SplatX .. VLMVector4SplatW)
//   YZWX ZWXY WZYX YXWZ ZXYW YZXW XWYZ YWZX WXZY WYXZ WXYZ
//   YYYX WWZZ WWWZ WWZW ZXXZ WWYY
// ---------------------------------------------------------------------------

#define VLM_SWIZZLE(P)                                             \
    VLM_VALUE VLMVector4 VLMVector4Swizzle##P(const VLMVector4& a) \
    {                                                              \
        return vlm_detail::Out(VLM_PERMUTE(P, vlm_detail::In(a))); \
    }                                                              \
    VLM_OBJECT_FORM1(VLMVector4Swizzle##P)

VLM_SWIZZLE(XXXX)
VLM_SWIZZLE(YYYY)
VLM_SWIZZLE(ZZZZ)
VLM_SWIZZLE(WWWW)
VLM_SWIZZLE(YZWX)
VLM_SWIZZLE(ZWXY)
VLM_SWIZZLE(WZYX)
VLM_SWIZZLE(YXWZ)
VLM_SWIZZLE(ZXYW)
VLM_SWIZZLE(YZXW)
VLM_SWIZZLE(XWYZ)
VLM_SWIZZLE(YWZX)
VLM_SWIZZLE(WXZY)
VLM_SWIZZLE(WYXZ)
VLM_SWIZZLE(WXYZ)
VLM_SWIZZLE(YYYX)
VLM_SWIZZLE(WWZZ)
VLM_SWIZZLE(WWWZ)
VLM_SWIZZLE(WWZW)
VLM_SWIZZLE(ZXXZ)
VLM_SWIZZLE(WWYY)
#undef VLM_SWIZZLE

VLM_VALUE VLMVector4 VLMVector4SplatX(const VLMVector4& a) { return VLMVector4SwizzleXXXX(a); }
VLM_VALUE VLMVector4 VLMVector4SplatY(const VLMVector4& a) { return VLMVector4SwizzleYYYY(a); }
VLM_VALUE VLMVector4 VLMVector4SplatZ(const VLMVector4& a) { return VLMVector4SwizzleZZZZ(a); }
VLM_VALUE VLMVector4 VLMVector4SplatW(const VLMVector4& a) { return VLMVector4SwizzleWWWW(a); }
VLM_OBJECT_FORM1(VLMVector4SplatX)
VLM_OBJECT_FORM1(VLMVector4SplatY)
VLM_OBJECT_FORM1(VLMVector4SplatZ)
VLM_OBJECT_FORM1(VLMVector4SplatW)

// ---------------------------------------------------------------------------
// Fused permute-and-combine primitives, value and object forms.
//   a x P(b)   VLMVector4MulSwizzled<P>:  XXXX YYYY ZZZZ WWWW ZWXY WZYX YXWZ ZXYW WYXZ WWZW
//   P(a) x b   VLMVector4Swizzled<P>Mul:  XXXX YYYY ZZZZ WWWW ZXYW XWYZ WXZY ZWXY YXWZ WXYZ YZWX
//   P(a) x Q(b) VLMVector4Swizzled<P>MulSwizzled<Q>: (WWWZ, WWZZ) (ZXXZ, WWYY) (WWYY, ZXXZ)
//   a + P(b)   VLMVector4AddSwizzled<P>:  ZWXY WZYX ZXYW YZXW YXWZ
//   P(a) + b   VLMVector4Swizzled<P>Add:  YXWZ WZYX
//   a - P(b)   VLMVector4SubSwizzled<P>:  ZWXY WZYX YWZX WYXZ YXWZ
//   P(a) - b   VLMVector4Swizzled<P>Sub:  WZYX YXWZ WXYZ
//   a / P(b)   VLMVector4DivSwizzled<P>:  WZYX
//   P(a - b)   VLMVector4SwizzleZXYWOfSub
//   P(a) > b   VLMVector4SwizzledWWZZCmpGT (a lane mask)
// The operand order of each operation is as written (a first).
// ---------------------------------------------------------------------------

#define VLM_FUSED_RIGHT(Op, intrinsic, P)                                                      \
    VLM_VALUE VLMVector4 VLMVector4##Op##Swizzled##P(const VLMVector4& a, const VLMVector4& b) \
    {                                                                                          \
        using namespace vlm_detail;                                                            \
        return Out(intrinsic(In(a), VLM_PERMUTE(P, In(b))));                                   \
    }                                                                                          \
    VLM_OBJECT_FORM2(VLMVector4##Op##Swizzled##P)
#define VLM_FUSED_LEFT(Op, intrinsic, P)                                                     \
    VLM_VALUE VLMVector4 VLMVector4Swizzled##P##Op(const VLMVector4& a, const VLMVector4& b) \
    {                                                                                        \
        using namespace vlm_detail;                                                          \
        return Out(intrinsic(VLM_PERMUTE(P, In(a)), In(b)));                                 \
    }                                                                                        \
    VLM_OBJECT_FORM2(VLMVector4Swizzled##P##Op)
#define VLM_FUSED_BOTH(Op, intrinsic, P, Q)                                                               \
    VLM_VALUE VLMVector4 VLMVector4Swizzled##P##Op##Swizzled##Q(const VLMVector4& a, const VLMVector4& b) \
    {                                                                                                     \
        using namespace vlm_detail;                                                                       \
        return Out(intrinsic(VLM_PERMUTE(P, In(a)), VLM_PERMUTE(Q, In(b))));                              \
    }                                                                                                     \
    VLM_OBJECT_FORM2(VLMVector4Swizzled##P##Op##Swizzled##Q)

VLM_FUSED_RIGHT(Mul, _mm_mul_ps, XXXX)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, YYYY)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, ZZZZ)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, WWWW)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, ZWXY)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, WZYX)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, YXWZ)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, ZXYW)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, WYXZ)
VLM_FUSED_RIGHT(Mul, _mm_mul_ps, WWZW)

VLM_FUSED_LEFT(Mul, _mm_mul_ps, XXXX)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, YYYY)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, ZZZZ)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, WWWW)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, ZXYW)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, XWYZ)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, WXZY)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, ZWXY)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, YXWZ)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, WXYZ)
VLM_FUSED_LEFT(Mul, _mm_mul_ps, YZWX)

VLM_FUSED_BOTH(Mul, _mm_mul_ps, WWWZ, WWZZ)
VLM_FUSED_BOTH(Mul, _mm_mul_ps, ZXXZ, WWYY)
VLM_FUSED_BOTH(Mul, _mm_mul_ps, WWYY, ZXXZ)

VLM_FUSED_RIGHT(Add, _mm_add_ps, ZWXY)
VLM_FUSED_RIGHT(Add, _mm_add_ps, WZYX)
VLM_FUSED_RIGHT(Add, _mm_add_ps, ZXYW)
VLM_FUSED_RIGHT(Add, _mm_add_ps, YZXW)
VLM_FUSED_RIGHT(Add, _mm_add_ps, YXWZ)

VLM_FUSED_LEFT(Add, _mm_add_ps, YXWZ)
VLM_FUSED_LEFT(Add, _mm_add_ps, WZYX)

VLM_FUSED_RIGHT(Sub, _mm_sub_ps, ZWXY)
VLM_FUSED_RIGHT(Sub, _mm_sub_ps, WZYX)
VLM_FUSED_RIGHT(Sub, _mm_sub_ps, YWZX)
VLM_FUSED_RIGHT(Sub, _mm_sub_ps, WYXZ)
VLM_FUSED_RIGHT(Sub, _mm_sub_ps, YXWZ)

VLM_FUSED_LEFT(Sub, _mm_sub_ps, WZYX)
VLM_FUSED_LEFT(Sub, _mm_sub_ps, YXWZ)
VLM_FUSED_LEFT(Sub, _mm_sub_ps, WXYZ)

VLM_FUSED_RIGHT(Div, _mm_div_ps, WZYX)

VLM_FUSED_LEFT(CmpGT, _mm_cmpgt_ps, WWZZ)

#undef VLM_FUSED_RIGHT
#undef VLM_FUSED_LEFT
#undef VLM_FUSED_BOTH

// zxyw(a - b): the difference permuted afterwards.
VLM_VALUE VLMVector4 VLMVector4SwizzleZXYWOfSub(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(VLM_PERMUTE(ZXYW, _mm_sub_ps(In(a), In(b))));
}
VLM_OBJECT_FORM2(VLMVector4SwizzleZXYWOfSub)

// ---------------------------------------------------------------------------
// Horizontal operations, lengths and products. The sums are formed in the
// stated order; the four-lane sum is *not* uniform across lanes: lanes x and z
// hold (x + y) + (z + w), lanes y and w hold (y + z) + (w + x).
// ---------------------------------------------------------------------------

namespace vlm_detail {
// u := v + yzwx(v) = (x + y, y + z, z + w, w + x); then u + zwxy(u).
inline __m128 PartialSums(__m128 v) { return _mm_add_ps(v, VLM_PERMUTE(YZWX, v)); }
inline __m128 HorizontalSum(__m128 v)
{
    const __m128 u = PartialSums(v);
    return _mm_add_ps(u, VLM_PERMUTE(ZWXY, u));
}
// (y + x) + z in every lane.
inline __m128 HorizontalSum3(__m128 v)
{
    return _mm_add_ps(_mm_add_ps(VLM_PERMUTE(YYYY, v), VLM_PERMUTE(XXXX, v)), VLM_PERMUTE(ZZZZ, v));
}
}  // namespace vlm_detail

VLM_VALUE VLMVector4 VLMVector4HorizontalSum(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(HorizontalSum(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4HorizontalSum)

// Returns the sum; a is left holding the partial sums (x + y, y + z, z + w, w + x).
inline VLMVector4 VLMVector4HorizontalSumInPlace(VLMVector4& a)
{
    using namespace vlm_detail;
    const __m128 u = PartialSums(In(a));
    _mm_store_ps(&a.x, u);
    return Out(_mm_add_ps(u, VLM_PERMUTE(ZWXY, u)));
}

VLM_VALUE VLMVector4 VLMVector4HorizontalSum3(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(HorizontalSum3(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4HorizontalSum3)

VLM_VALUE VLMVector4 VLMVector4Dot4(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(HorizontalSum(_mm_mul_ps(In(a), In(b))));
}
VLM_OBJECT_FORM2(VLMVector4Dot4)

VLM_VALUE VLMVector4 VLMVector4Dot3(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(HorizontalSum3(_mm_mul_ps(In(a), In(b))));
}
VLM_OBJECT_FORM2(VLMVector4Dot3)

VLM_VALUE VLMVector4 VLMVector4LengthSq4(const VLMVector4& a) { return VLMVector4Dot4(a, a); }
VLM_OBJECT_FORM1(VLMVector4LengthSq4)
VLM_VALUE VLMVector4 VLMVector4LengthSq3(const VLMVector4& a) { return VLMVector4Dot3(a, a); }
VLM_OBJECT_FORM1(VLMVector4LengthSq3)

VLM_VALUE VLMVector4 VLMVector4Length4(const VLMVector4& a)
{
    return vlm_detail::Out(_mm_sqrt_ps(vlm_detail::In(VLMVector4Dot4(a, a))));
}
VLM_OBJECT_FORM1(VLMVector4Length4)
VLM_VALUE VLMVector4 VLMVector4Length3(const VLMVector4& a)
{
    return vlm_detail::Out(_mm_sqrt_ps(vlm_detail::In(VLMVector4Dot3(a, a))));
}
VLM_OBJECT_FORM1(VLMVector4Length3)

VLM_VALUE VLMVector4 VLMVector4Distance4(const VLMVector4& a, const VLMVector4& b)
{
    return VLMVector4Length4(VLMVector4Sub(a, b));
}
VLM_OBJECT_FORM2(VLMVector4Distance4)

// b - Dot4(a, b) a: the part of b orthogonal to a unit a.
VLM_VALUE VLMVector4 VLMVector4RejectFrom(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    const __m128 vb = In(b);
    return Out(_mm_sub_ps(vb, _mm_mul_ps(HorizontalSum(_mm_mul_ps(va, vb)), va)));
}
VLM_OBJECT_FORM2(VLMVector4RejectFrom)

// zxyw(zxyw(a) b - zxyw(b) a) = (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x,
// a.w b.w - b.w a.w); the w lane is 0 for finite inputs.
namespace vlm_detail {
inline __m128 Cross(__m128 a, __m128 b)
{
    return VLM_PERMUTE(ZXYW, _mm_sub_ps(_mm_mul_ps(VLM_PERMUTE(ZXYW, a), b), _mm_mul_ps(VLM_PERMUTE(ZXYW, b), a)));
}
}  // namespace vlm_detail

VLM_VALUE VLMVector4 VLMVector4Cross(const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    return Out(Cross(In(a), In(b)));
}
VLM_OBJECT_FORM2(VLMVector4Cross)

// ---------------------------------------------------------------------------
// Roots, reciprocals and normalisation. The reciprocal forms refine the
// hardware 12-bit estimate by exactly one Newton step with no special cases.
// ---------------------------------------------------------------------------

VLM_VALUE VLMVector4 VLMVector4Sqrt(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(_mm_sqrt_ps(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4Sqrt)

namespace vlm_detail {
// ((3 - (y0 y0) a) y0) 0.5, y0 the estimate of 1/sqrt(a). 0 gives NaN
// (inf times 0), negative and +inf inputs give NaN.
inline __m128 RSqrt(__m128 a)
{
    const __m128 y0 = _mm_rsqrt_ps(a);
    const __m128 e = _mm_sub_ps(Const(VLMConstant::Three), _mm_mul_ps(_mm_mul_ps(y0, y0), a));
    return _mm_mul_ps(_mm_mul_ps(e, y0), Const(VLMConstant::Half));
}
// (y0 + y0) - (y0 y0) a, y0 the estimate of 1/a. 0 and +-inf give NaN.
inline __m128 Recip(__m128 a)
{
    const __m128 y0 = _mm_rcp_ps(a);
    return _mm_sub_ps(_mm_add_ps(y0, y0), _mm_mul_ps(_mm_mul_ps(y0, y0), a));
}
// v RSqrt(Dot4(v, v)); a zero vector gives NaN in every lane.
inline __m128 Normalize4(__m128 v) { return _mm_mul_ps(v, RSqrt(HorizontalSum(_mm_mul_ps(v, v)))); }
}  // namespace vlm_detail

VLM_VALUE VLMVector4 VLMVector4RSqrt(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(RSqrt(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4RSqrt)

VLM_VALUE VLMVector4 VLMVector4Recip(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Recip(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4Recip)

// a RSqrt(Dot4(a, a)).
VLM_VALUE VLMVector4 VLMQuatNormalize(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Normalize4(In(a)));
}
VLM_OBJECT_FORM1(VLMQuatNormalize)

// The unit direction of (x, y, z) with w = 0.
VLM_VALUE VLMVector4 VLMVector4Normalize3(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Normalize4(_mm_and_ps(In(a), Const(VLMConstant::MaskXYZ))));
}
VLM_OBJECT_FORM1(VLMVector4Normalize3)

// The normalised conjugate: NegateXYZ(a), then normalised.
VLM_VALUE VLMVector4 VLMQuatNormalizedConjugate(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Normalize4(_mm_xor_ps(In(a), Const(VLMConstant::SignMaskXYZ))));
}
VLM_OBJECT_FORM1(VLMQuatNormalizedConjugate)

// ---------------------------------------------------------------------------
// Rounding and conversions. Rounding goes through a 32-bit int in the
// current mode (cvtps2dq / cvtss2si): values beyond the int range and NaN
// become -2^31.
// ---------------------------------------------------------------------------

namespace vlm_detail {
inline __m128 RoundLanes(__m128 v) { return _mm_cvtepi32_ps(_mm_cvtps_epi32(v)); }
}  // namespace vlm_detail

VLM_VALUE VLMVector4 VLMVector4RoundLanes(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(RoundLanes(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4RoundLanes)
inline VLMVector4& VLMVector4RoundLanesInPlace(VLMVector4& a) { return VLMVector4RoundLanes(a, a); }

// (round x, round x, round x, round w): only lanes x and w are rounded.
VLM_VALUE VLMVector4 VLMVector4RoundXW(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(RoundLanes(VLM_PERMUTE(XXXW, In(a))));
}
VLM_OBJECT_FORM1(VLMVector4RoundXW)

// Returns (round x, round x, round x, round w) and leaves a holding
// (round w, round x, a.y, a.z).
inline VLMVector4 VLMVector4RoundXWInPlace(VLMVector4& a)
{
    using namespace vlm_detail;
    const __m128 v = In(a);
    const __m128 rounded = RoundLanes(VLM_PERMUTE(XXXW, v));                      // (rx, rx, rx, rw)
    const __m128 lo = _mm_shuffle_ps(rounded, rounded, _MM_SHUFFLE(0, 0, 0, 3));  // (rw, rx, ..)
    _mm_store_ps(&a.x, _mm_shuffle_ps(lo, v, _MM_SHUFFLE(2, 1, 1, 0)));           // (rw, rx, y, z)
    return Out(rounded);
}

VLM_VALUE int VLMFloatToIntRound(float f) { return _mm_cvtss_si32(_mm_set_ss(f)); }
VLM_VALUE int VLMFloatToIntTrunc(const float* f) { return _mm_cvttss_si32(_mm_load_ss(f)); }
VLM_VALUE float VLMDegToRad(float f) { return f * VLMConstant::DegToRad.x; }

// ---------------------------------------------------------------------------
// Scalar operations
// ---------------------------------------------------------------------------

namespace vlm_detail {
// Two's-complement wrapping arithmetic on the bit patterns of ints.
inline std::uint32_t U(int v) { return static_cast<std::uint32_t>(v); }
inline int I(std::uint32_t v) { return static_cast<int>(v); }
}  // namespace vlm_detail

// b + ((a > b ? 0 : -1) and (a - b)); the subtraction wraps.
VLM_VALUE int VLMMinInt(int a, int b)
{
    using namespace vlm_detail;
    const std::uint32_t keepA = U(a > b) - 1u;
    return I(U(b) + (keepA & (U(a) - U(b))));
}
// b + ((a < b ? 0 : -1) and (a - b))
VLM_VALUE int VLMMaxInt(int a, int b)
{
    using namespace vlm_detail;
    const std::uint32_t keepA = U(a < b) - 1u;
    return I(U(b) + (keepA & (U(a) - U(b))));
}
VLM_VALUE int VLMClampInt(int v, int lo, int hi) { return VLMMinInt(VLMMaxInt(v, lo), hi); }
// b + ((-flag) and (a - b))
VLM_VALUE int VLMSelectInt(bool flag, int a, int b)
{
    using namespace vlm_detail;
    return I(U(b) + ((0u - static_cast<std::uint32_t>(flag)) & (U(a) - U(b))));
}
VLM_VALUE float VLMSelectFloat(bool flag, float a, float b) { return flag ? a : b; }
// a < b ? a : b and a > b ? a : b: the second operand when either is NaN.
// Written as comparisons (compiled to minss/maxss): g++ folds the scalar
// min/max intrinsics on constant operands without their NaN rule.
VLM_VALUE float VLMMinFloat(float a, float b) { return a < b ? a : b; }
VLM_VALUE float VLMMaxFloat(float a, float b) { return a > b ? a : b; }
VLM_VALUE float VLMClampFloat(float v, float lo, float hi) { return VLMMinFloat(VLMMaxFloat(v, lo), hi); }
VLM_VALUE float VLMClamp01Float(float v) { return VLMMinFloat(VLMMaxFloat(v, 0.0f), 1.0f); }
VLM_VALUE float VLMFloatLoad(const float* p) { return *p; }

// ---------------------------------------------------------------------------
// Matrix operations
// ---------------------------------------------------------------------------

inline VLMMatrix44& VLMMatrix44Copy(VLMMatrix44& result, const VLMMatrix44& m)
{
    for (int i = 0; i < 4; ++i)
        VLMVector4Copy(result.r[i], m.r[i]);
    return result;
}

// The destination may lie at any address.
inline void VLMMatrix44CopyUnaligned(void* destination, const VLMMatrix44& m)
{
    float* out = static_cast<float*>(destination);
    for (int i = 0; i < 4; ++i)
        VLMVector4StoreUnaligned(out + 4 * i, m.r[i]);
}

VLM_VALUE VLMMatrix44 VLMMatrix44LoadUnaligned(const void* source)
{
    const float* in = static_cast<const float*>(source);
    VLMMatrix44 m;
    for (int i = 0; i < 4; ++i)
        m.r[i] = VLMVector4LoadUnaligned(in + 4 * i);
    return m;
}
inline VLMMatrix44& VLMMatrix44LoadUnaligned(VLMMatrix44& result, const void* source)
{
    result = VLMMatrix44LoadUnaligned(source);
    return result;
}

VLM_VALUE VLMMatrix44 VLMMatrix44FromRows(const VLMVector4& r0, const VLMVector4& r1, const VLMVector4& r2,
                                          const VLMVector4& r3)
{
    return VLMMatrix44{{r0, r1, r2, r3}};
}
inline VLMMatrix44& VLMMatrix44FromRows(VLMMatrix44& result, const VLMVector4& r0, const VLMVector4& r1,
                                        const VLMVector4& r2, const VLMVector4& r3)
{
    result = VLMMatrix44FromRows(r0, r1, r2, r3);
    return result;
}

// Sixteen doubles, row by row, each narrowed to float.
VLM_VALUE VLMMatrix44 VLMMatrix44FromDoubles(const double* values)
{
    VLMMatrix44 m;
    for (int i = 0; i < 4; ++i) {
        const double* row = values + 4 * i;
        m.r[i] = VLMVector4FromDoubles(row[0], row[1], row[2], row[3]);
    }
    return m;
}
inline VLMMatrix44& VLMMatrix44FromDoubles(VLMMatrix44& result, const double* values)
{
    result = VLMMatrix44FromDoubles(values);
    return result;
}

// Four rows in, four columns out; the outputs may be the inputs.
inline void VLMMatrix44Transpose(const VLMVector4& r0, const VLMVector4& r1, const VLMVector4& r2, const VLMVector4& r3,
                                 VLMVector4& c0, VLMVector4& c1, VLMVector4& c2, VLMVector4& c3)
{
    using namespace vlm_detail;
    const __m128 t0 = _mm_movelh_ps(In(r0), In(r1));  // (r0.x, r0.y, r1.x, r1.y)
    const __m128 t1 = _mm_movehl_ps(In(r1), In(r0));  // (r0.z, r0.w, r1.z, r1.w)
    const __m128 t2 = _mm_movelh_ps(In(r2), In(r3));
    const __m128 t3 = _mm_movehl_ps(In(r3), In(r2));
    _mm_store_ps(&c0.x, _mm_shuffle_ps(t0, t2, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_store_ps(&c1.x, _mm_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 1, 3, 1)));
    _mm_store_ps(&c2.x, _mm_shuffle_ps(t1, t3, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_store_ps(&c3.x, _mm_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 1, 3, 1)));
}

VLM_VALUE VLMMatrix44 VLMMatrix44Transpose(const VLMMatrix44& m)
{
    VLMMatrix44 t;
    VLMMatrix44Transpose(m.r[0], m.r[1], m.r[2], m.r[3], t.r[0], t.r[1], t.r[2], t.r[3]);
    return t;
}
inline VLMMatrix44& VLMMatrix44Transpose(VLMMatrix44& result, const VLMMatrix44& m)
{
    VLMMatrix44Transpose(m.r[0], m.r[1], m.r[2], m.r[3], result.r[0], result.r[1], result.r[2], result.r[3]);
    return result;
}

// Each row multiplied lane-wise by v.
VLM_VALUE VLMMatrix44 VLMMatrix44ScaleRows(const VLMMatrix44& m, const VLMVector4& v)
{
    VLMMatrix44 r;
    for (int i = 0; i < 4; ++i)
        r.r[i] = VLMVector4Mul(m.r[i], v);
    return r;
}
inline VLMMatrix44& VLMMatrix44ScaleRows(VLMMatrix44& result, const VLMMatrix44& m, const VLMVector4& v)
{
    result = VLMMatrix44ScaleRows(m, v);
    return result;
}

// Each row multiplied by (1, 1, 1, 1) / v: one true division, four products.
VLM_VALUE VLMMatrix44 VLMMatrix44DivRows(const VLMMatrix44& m, const VLMVector4& v)
{
    return VLMMatrix44ScaleRows(m, VLMVector4Div(VLMConstant::One, v));
}
inline VLMMatrix44& VLMMatrix44DivRows(VLMMatrix44& result, const VLMMatrix44& m, const VLMVector4& v)
{
    result = VLMMatrix44DivRows(m, v);
    return result;
}

#undef VLM_PERMUTE

#endif

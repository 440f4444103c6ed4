// Velmora rig library: the scalar and vector kernels.
//
// The library evaluates its transcendental functions with short polynomials
// and rational functions of its own, never with the maths library: sine and
// cosine, arc sine and arc cosine, arc tangent, base-2 exponential and
// logarithm, the power built from them, and three interpolation kernels.
// They follow the calling forms of vlm_vector.h (value forms returning the
// vector, object forms writing a caller's result first), allocate nothing and
// never fail.
//
// Evaluation orders are part of each kernel's definition; results are compared
// bit for bit against scalar transcriptions elsewhere:
//   - every polynomial is evaluated by Horner's rule in the order written next
//     to it, with v^2 formed once;
//   - range reduction rounds through a 32-bit int in the current rounding mode
//     (cvtps2dq / cvtss2si): under the library's control word that is round to
//     nearest, ties to even. Period counts beyond the int range (about 2^31
//     turns) give meaningless results;
//   - sign branches test 0 <= value, so -0 takes the non-negative side.
//
// Lane conventions. Angles are radians unless a kernel takes turns (1 turn =
// 2 pi). "Lane x" kernels read only lane x of their vector arguments and return
// their result splatted into all four lanes.
#ifndef VLM_KERNELS_H
#define VLM_KERNELS_H

#include "rig/vlm_base.h"
#include "rig/vlm_constants.h"
#include "rig/vlm_vector.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <xmmintrin.h>

#define VLM_PERMUTE(P, v) vlm_detail::Permute<vlm_detail::PatternImmediate(#P)>(v)

namespace vlm_detail {

inline std::uint32_t FloatBits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float BitsFloat(std::uint32_t b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// ---------------------------------------------------------------------------
// Sine and cosine
// ---------------------------------------------------------------------------

// S(v) = v (((c7 v^2 + c5) v^2 + c3) v^2 + c1), close to sin(2 pi v) on
// [-1/4, 1/4] (absolute error about 1.4e-6).
inline __m128 SinPoly(__m128 v)
{
    const __m128 v2 = _mm_mul_ps(v, v);
    __m128 p = _mm_mul_ps(Const(VLMConstant::SinCoef7), v2);
    p = _mm_add_ps(p, Const(VLMConstant::SinCoef5));
    p = _mm_mul_ps(p, v2);
    p = _mm_add_ps(p, Const(VLMConstant::SinCoef3));
    p = _mm_mul_ps(p, v2);
    p = _mm_add_ps(p, Const(VLMConstant::SinCoef1));
    return _mm_mul_ps(v, p);
}

// cos(2 pi t) from t and its period counts k: u := t - k, v := 0.25 - |u|,
// then S(v) = sin(2 pi (1/4 - |u|)) = cos(2 pi u).
inline __m128 CosTurnsReduced(__m128 t, __m128 k)
{
    const __m128 u = _mm_sub_ps(t, k);
    const __m128 v = _mm_sub_ps(Const(VLMConstant::Quarter), _mm_andnot_ps(Const(VLMConstant::SignMask), u));
    return SinPoly(v);
}

// Each lane reduced by its own period count.
inline __m128 CosTurns(__m128 t) { return CosTurnsReduced(t, RoundLanes(t)); }

inline __m128 Turns(__m128 radians) { return _mm_mul_ps(radians, Const(VLMConstant::InvTwoPi)); }

// A sine is the cosine a quarter turn later: t - 0.25, written as t + (-0.25).
inline __m128 SinTurns(__m128 t) { return CosTurns(_mm_add_ps(t, Const(VLMConstant::MinusQuarter))); }

// Sines in x, y, z and a cosine in w of turns t whose x, y, z lanes hold the
// same value: only lanes x and w are rounded, lane x's count serves x, y, z.
inline __m128 SinXYZCosWTurns(__m128 t)
{
    const __m128 shifted = _mm_add_ps(t, Const(VLMConstant::MinusQuarterXYZ));
    return CosTurnsReduced(shifted, RoundLanes(VLM_PERMUTE(XXXW, shifted)));
}

// ---------------------------------------------------------------------------
// Arc sine
// ---------------------------------------------------------------------------

// r := sqrt(2u) (((d4 u + d3) u + d2) u + d1) u + 1) with u = 1 - |a|, close
// to arccos |a|; the arc sine is (pi/2 - r) carrying the sign bit of a.
// |a| > 1 gives NaN (square root of a negative).
inline __m128 Asin(__m128 a)
{
    const __m128 sign = _mm_or_ps(_mm_and_ps(a, Const(VLMConstant::SignMask)), Const(VLMConstant::One));
    const __m128 m = _mm_andnot_ps(Const(VLMConstant::SignMask), a);
    const __m128 u = _mm_sub_ps(Const(VLMConstant::One), m);
    __m128 p = _mm_mul_ps(Const(VLMConstant::AcosCoef4), u);
    p = _mm_add_ps(p, Const(VLMConstant::AcosCoef3));
    p = _mm_mul_ps(p, u);
    p = _mm_add_ps(p, Const(VLMConstant::AcosCoef2));
    p = _mm_mul_ps(p, u);
    p = _mm_add_ps(p, Const(VLMConstant::AcosCoef1));
    p = _mm_mul_ps(p, u);
    p = _mm_add_ps(p, Const(VLMConstant::One));
    const __m128 r = _mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(u, u)), p);
    return _mm_mul_ps(_mm_sub_ps(Const(VLMConstant::HalfPi), r), sign);
}

inline __m128 Acos(__m128 a) { return _mm_sub_ps(Const(VLMConstant::HalfPi), Asin(a)); }

// ---------------------------------------------------------------------------
// Arc tangent
// ---------------------------------------------------------------------------

// R(t) = (t + n3 t^3) / (1 + d2 t^2 + d4 t^4), odd in t, close to atan t on
// [-1, 1] (absolute error about 6.4e-6). The library's order: t^2 = t t once,
// t^3 = t^2 t, t^4 = t^2 t^2; numerator t + n3 t^3; denominator
// (1 + d2 t^2) + d4 t^4; one true division.
inline float AtanRational(float t)
{
    const float t2 = t * t;
    const float numerator = t + VLMConstant::FloatAtanNum3 * (t2 * t);
    const float denominator =
        (VLMConstant::FloatOne + VLMConstant::FloatAtanDen2 * t2) + VLMConstant::FloatAtanDen4 * (t2 * t2);
    return numerator / denominator;
}

// |x| through a double and the double absolute-value mask (exact).
inline float AbsThroughDouble(float x)
{
    const __m128d wide = _mm_cvtss_sd(_mm_setzero_pd(), _mm_set_ss(x));
    const __m128d mask = _mm_load_pd(reinterpret_cast<const double*>(VLMConstant::DoubleAbsMask.lanes));
    return _mm_cvtss_f32(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_and_pd(wide, mask)));
}

// ---------------------------------------------------------------------------
// Exponent arithmetic
// ---------------------------------------------------------------------------

constexpr std::uint32_t kExponentField = 0x7F800000u;
constexpr std::uint32_t kMagnitudeBits = 0x7FFFFFFFu;
constexpr std::uint32_t kSmallestNormal = 0x00800000u;
constexpr float kTwoTo24 = 16777216.0f;
constexpr float kTwoToMinus64 = 5.42101086e-20f;
static_assert(kTwoToMinus64 * 18446744073709551616.0f == 1.0f, "exactly 2^-64");

// The mantissa m (|m| in [0.5, 1), sign of v) and exponent e with v = m 2^e,
// read from the bits of a normal v. A zero or denormal v comes back unchanged
// with e = 0; so does an infinity or NaN, which has no such decomposition.
inline float Frexp(float v, int& e)
{
    const std::uint32_t b = FloatBits(v);
    const std::uint32_t field = b & kExponentField;
    if (field == 0 || field == kExponentField) {
        e = 0;
        return v;
    }
    e = static_cast<int>(field >> 23) - 126;
    return BitsFloat(b - field + 0x3F000000u);
}

// v 2^n by adding n to the exponent field, computed wide enough never to wrap
// however large |n| is: an overflow gives a signed infinity. A result below
// the normal range is v 2^(n + 64), still normal, times 2^-64, rounded once in
// the current mode (a correct denormal, or a signed zero under flush-to-zero);
// below 2^-190 it is a signed zero. A zero, infinity or NaN v is returned
// unchanged; a denormal v is first scaled to a normal one by 2^24 (exact).
inline float Ldexp(float v, int n)
{
    std::uint32_t b = FloatBits(v);
    std::int64_t shift = n;
    const std::uint32_t magnitude = b & kMagnitudeBits;
    if (magnitude == 0 || magnitude >= kExponentField)
        return v;
    if (magnitude < kSmallestNormal) {
        b = FloatBits(v * kTwoTo24);  // zero when the caller's word treats denormals as zero
        if ((b & kMagnitudeBits) == 0)
            return BitsFloat(b);
        shift -= 24;
    }
    const std::uint32_t sign = b & 0x80000000u;
    const std::int64_t r = static_cast<std::int64_t>(b & kMagnitudeBits) + shift * (std::int64_t(1) << 23);
    if (r >= static_cast<std::int64_t>(kExponentField))
        return BitsFloat(sign | kExponentField);
    if (r >= static_cast<std::int64_t>(kSmallestNormal))
        return BitsFloat(sign | static_cast<std::uint32_t>(r));
    const std::int64_t lifted = r + (std::int64_t(64) << 23);
    if (lifted < static_cast<std::int64_t>(kSmallestNormal))
        return BitsFloat(sign);
    return BitsFloat(sign | static_cast<std::uint32_t>(lifted)) * kTwoToMinus64;
}

// p := (((e4 f + e3) f + e2) f + e1) f + 1, close to 2^f for f in (-1, 1).
inline float Exp2Poly(float f)
{
    float p = VLMConstant::Exp2Coef4.x * f;
    p = p + VLMConstant::Exp2Coef3.x;
    p = p * f;
    p = p + VLMConstant::Exp2Coef2.x;
    p = p * f;
    p = p + VLMConstant::Exp2Coef1.x;
    p = p * f;
    return p + VLMConstant::FloatOne;
}

// 2^v = Ldexp(Exp2Poly(f), n) with n := v truncated toward zero (cvttss2si)
// and f := v - n. For |v| < 125 the result is normal, and Ldexp adds n to
// the exponent field of p. Other arguments take Exp2Edges, which clamps
// v to [-160, 160] first: that changes no result (beyond +-150 every result
// is already an infinity or a zero) but keeps a huge or infinite argument from
// saturating the int conversion, which would turn +inf into 0. NaN gives its
// NaN back.
VLM_API float Exp2Edges(float v);

inline float Exp2(float v)
{
    if (!(std::fabs(v) < 125.0f))  // NaN included
        return Exp2Edges(v);
    const int n = VLMFloatToIntTrunc(&v);
    const float p = Exp2Poly(v - static_cast<float>(n));
    return BitsFloat(FloatBits(p) + (static_cast<std::uint32_t>(n) << 23));
}

// log2 v = e + P(m) - offset with (m, e) the mantissa in [0.5, 1) and the
// exponent of v (v = m 2^e) and P(m) = m (c1 + m (c2 + m (c3 - c4 m))).
// The library's order of the final sum: (P(m) - offset) + e. P(m) lies in
// [2.57, 3.58] for m in [0.5, 1), within a factor of two of the offset, so
// the subtraction is exact and the result is rounded once.
inline float Log2Poly(float m, float e)
{
    float p = VLMConstant::Log2Coef3.x - VLMConstant::Log2Coef4.x * m;
    p = VLMConstant::Log2Coef2.x + m * p;
    p = VLMConstant::Log2Coef1.x + m * p;
    p = m * p;
    return (p - VLMConstant::Log2Offset.x) + e;
}

// Positive normal arguments are read directly from their bits; the others
// take Log2Edges: zero and negative arguments give -inf, +inf gives +inf, NaN
// its NaN, and a positive denormal is scaled by 2^24 first and gets its true
// logarithm (-inf when the caller's word treats denormal inputs as zero).
VLM_API float Log2Edges(float v);

inline float Log2(float v)
{
    const std::uint32_t b = FloatBits(v);
    if (b - kSmallestNormal >= kExponentField - kSmallestNormal)  // not positive, normal and finite
        return Log2Edges(v);
    const float m = BitsFloat((b & 0x007FFFFFu) | 0x3F000000u);
    return Log2Poly(m, static_cast<float>(static_cast<int>(b >> 23) - 126));
}

}  // namespace vlm_detail

// ---------------------------------------------------------------------------
// Sine and cosine family
// ---------------------------------------------------------------------------

// Lane-wise sin a.
VLM_VALUE VLMVector4 VLMVector4Sin(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(SinTurns(Turns(In(a))));
}
VLM_OBJECT_FORM1(VLMVector4Sin)

// Lane-wise cos a.
VLM_VALUE VLMVector4 VLMVector4Cos(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(CosTurns(Turns(In(a))));
}
VLM_OBJECT_FORM1(VLMVector4Cos)

// Lane-wise sine (first output) and cosine (second output) of a; each is
// reduced with its own period count. The outputs may be the argument.
inline void VLMFastSinCos(const VLMVector4& a, VLMVector4& sine, VLMVector4& cosine)
{
    using namespace vlm_detail;
    const __m128 t = Turns(In(a));
    const __m128 s = SinTurns(t);
    const __m128 c = CosTurns(t);
    _mm_store_ps(&sine.x, s);
    _mm_store_ps(&cosine.x, c);
}

// Lane-wise cos(2 pi a) of an angle in turns.
VLM_VALUE VLMVector4 VLMVector4CosTurns(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(CosTurns(In(a)));
}
VLM_OBJECT_FORM1(VLMVector4CosTurns)

// (sin a.x, sin a.x, sin a.x, cos a.w): the argument must hold one angle in
// lanes x, y and z (lane x's period count serves all three).
VLM_VALUE VLMVector4 VLMVector4SinXYZCosW(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(SinXYZCosWTurns(Turns(In(a))));
}
VLM_OBJECT_FORM1(VLMVector4SinXYZCosW)

// The rotation by `angle` (splatted, at least over x, y, z and w) about the
// unit axis (x, y, z, 0): (axis.xyz sin h, (axis.w + 1) cos h), h = angle / 2.
VLM_VALUE VLMVector4 VLMQuatFromAxisAngle(const VLMVector4& angle, const VLMVector4& axis)
{
    using namespace vlm_detail;
    const __m128 turns = Turns(_mm_mul_ps(In(angle), Const(VLMConstant::Half)));
    const __m128 sc = SinXYZCosWTurns(turns);
    return Out(_mm_mul_ps(sc, _mm_add_ps(In(axis), Const(VLMConstant::IdentityQuat))));
}
VLM_OBJECT_FORM2(VLMQuatFromAxisAngle)

// ---------------------------------------------------------------------------
// Inverse trigonometric family
// ---------------------------------------------------------------------------

// Lane-wise arc sine (absolute error about 2.2e-5); |a| > 1 gives NaN.
VLM_VALUE VLMVector4 VLMFastAsin(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Asin(In(a)));
}
VLM_OBJECT_FORM1(VLMFastAsin)

// Lane-wise arc cosine: pi/2 - VLMFastAsin(a).
VLM_VALUE VLMVector4 VLMFastAcos(const VLMVector4& a)
{
    using namespace vlm_detail;
    return Out(Acos(In(a)));
}
VLM_OBJECT_FORM1(VLMFastAcos)

// The angle between sides a and b of a triangle whose third side is c, by the
// law of cosines: c' := min(c, a + b); cos := ((b b + a a) - c' c') / ((b + b) a),
// clamped to [-1, 1] (max first, so a NaN cosine, as from a zero side, becomes
// -1 and the angle pi); result VLMFastAcos(cos).
VLM_VALUE VLMVector4 VLMTriangleAngle(const VLMVector4& c, const VLMVector4& a, const VLMVector4& b)
{
    using namespace vlm_detail;
    const __m128 va = In(a);
    const __m128 vb = In(b);
    const __m128 side = _mm_min_ps(In(c), _mm_add_ps(va, vb));
    const __m128 numerator = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(vb, vb), _mm_mul_ps(va, va)), _mm_mul_ps(side, side));
    const __m128 denominator = _mm_mul_ps(_mm_add_ps(vb, vb), va);
    __m128 cosine = _mm_div_ps(numerator, denominator);
    cosine = _mm_min_ps(_mm_max_ps(cosine, Const(VLMConstant::MinusOne)), Const(VLMConstant::One));
    return Out(Acos(cosine));
}
VLM_OBJECT_FORM3(VLMTriangleAngle)

// atan x: R(|x|) below 1, pi/2 - R(1/|x|) from 1 on, negated for x < 0
// (-0 gives +0). NaN gives NaN.
VLM_VALUE float VLMFastAtan(float x)
{
    using namespace vlm_detail;
    const float m = AbsThroughDouble(x);
    const float r = m < 1.0f ? AtanRational(m) : VLMConstant::FloatHalfPi - AtanRational(1.0f / m);
    return 0.0f <= x ? r : -r;
}

// The angle of (x, y) in (-pi, pi]. With q := y / x: when |q| < 1, R(q), moved
// by +pi (y >= 0, -0 included) or -pi (y < 0) when x < 0; otherwise
// pi/2 - R(x / y), less pi when y < 0. The library's rule for the second branch
// divides x by y afresh (one rounding) instead of taking the reciprocal of q.
// x = 0 with y != 0 gives +-pi/2, x = y = 0 gives NaN, so do two infinities.
VLM_VALUE float VLMFastAtan2(float y, float x)
{
    using namespace vlm_detail;
    const float q = y / x;
    float r;
    if (AbsThroughDouble(q) < 1.0f) {
        r = AtanRational(q);
        if (x < 0.0f)
            r = 0.0f <= y ? r + VLMConstant::FloatPi : r - VLMConstant::FloatPi;
    } else {
        r = VLMConstant::FloatHalfPi - AtanRational(x / y);
        if (y < 0.0f)
            r = r - VLMConstant::FloatPi;
    }
    return r;
}

// Lane x: VLMFastAtan(y.x), splatted.
VLM_VALUE VLMVector4 VLMVector4Atan(const VLMVector4& y) { return VLMVector4Splat(VLMFastAtan(y.x)); }
VLM_OBJECT_FORM1(VLMVector4Atan)

// Lane x: VLMFastAtan2(y.x, x.x), splatted.
VLM_VALUE VLMVector4 VLMVector4Atan2(const VLMVector4& y, const VLMVector4& x)
{
    return VLMVector4Splat(VLMFastAtan2(y.x, x.x));
}
VLM_OBJECT_FORM2(VLMVector4Atan2)

// ---------------------------------------------------------------------------
// Exponential family (lane x)
// ---------------------------------------------------------------------------

// Mantissa of v.x (magnitude in [0.5, 1), sign of v) splatted, e with
// v = m 2^e. Zero, denormal, infinite and NaN values come back unchanged with
// e = 0.
VLM_VALUE VLMVector4 VLMFrexp(const VLMVector4& v, int& e) { return VLMVector4Splat(vlm_detail::Frexp(v.x, e)); }
inline VLMVector4& VLMFrexp(VLMVector4& result, const VLMVector4& v, int& e)
{
    result = VLMFrexp(v, e);
    return result;
}

// VLMFrexp with the exponent splatted as a float.
VLM_VALUE VLMVector4 VLMFrexpVector(const VLMVector4& v, VLMVector4& e)
{
    int exponent = 0;
    const VLMVector4 m = VLMFrexp(v, exponent);
    e = VLMVector4SplatInt(exponent);
    return m;
}
inline VLMVector4& VLMFrexpVector(VLMVector4& result, const VLMVector4& v, VLMVector4& e)
{
    result = VLMFrexpVector(v, e);
    return result;
}

// v.x 2^n by exponent arithmetic, splatted: an overflow gives a signed
// infinity and an underflow a signed zero (or a correct denormal outside
// flush-to-zero), however large |n| is.
VLM_VALUE VLMVector4 VLMLdexp(const VLMVector4& v, int n) { return VLMVector4Splat(vlm_detail::Ldexp(v.x, n)); }
inline VLMVector4& VLMLdexp(VLMVector4& result, const VLMVector4& v, int n)
{
    result = VLMLdexp(v, n);
    return result;
}

// 2^v.x splatted (relative error about 1.6e-4 above an integer, 2.4e-4 below).
// +inf and arguments from 128 up give +inf, -inf and arguments far below give
// 0, NaN gives NaN.
VLM_VALUE VLMVector4 VLMExp2(const VLMVector4& v) { return VLMVector4Splat(vlm_detail::Exp2(v.x)); }
VLM_OBJECT_FORM1(VLMExp2)

// log2 v.x splatted (absolute error about 6.8e-4 on normal arguments). Zero and
// negative arguments give -inf, +inf gives +inf, NaN gives NaN.
VLM_VALUE VLMVector4 VLMLog2(const VLMVector4& v) { return VLMVector4Splat(vlm_detail::Log2(v.x)); }
VLM_OBJECT_FORM1(VLMLog2)

// x^y = 2^(y log2 x) on lane x, splatted. When x is zero in every lane the
// result is 1 if any lane of y is zero, else 0 (so 0^0 = 1 and 0 to a negative
// power is 0). A NaN lane counts as non-zero. A negative base has the
// logarithm -inf: the result is 0 for y > 0, +inf for y < 0 and NaN for y = 0.
VLM_VALUE VLMVector4 VLMPow(const VLMVector4& x, const VLMVector4& y)
{
    using namespace vlm_detail;
    const __m128 zero = _mm_setzero_ps();
    if (_mm_movemask_ps(_mm_cmpneq_ps(In(x), zero)) != 0)
        return VLMVector4Splat(Exp2(Log2(x.x) * y.x));
    const bool anyZeroExponent = _mm_movemask_ps(_mm_cmpeq_ps(In(y), zero)) != 0;
    return VLMVector4Splat(anyZeroExponent ? VLMConstant::FloatOne : VLMConstant::FloatZero);
}
VLM_OBJECT_FORM2(VLMPow)

// ---------------------------------------------------------------------------
// Interpolation kernels
// ---------------------------------------------------------------------------

// Lane-wise t^2 (3 - 2t) with t = clamp((x - e0) / (e1 - e0), 0, 1). The
// library's grouping: (t t) (3 - (t + t)). With e0 = e1 the ratio is NaN (x at
// the edge, clamped to 0) or +-inf (clamped to 1 or 0).
VLM_VALUE VLMVector4 VLMVector4SmoothStep(const VLMVector4& e0, const VLMVector4& e1, const VLMVector4& x)
{
    using namespace vlm_detail;
    const __m128 lo = In(e0);
    const __m128 ratio = _mm_div_ps(_mm_sub_ps(In(x), lo), _mm_sub_ps(In(e1), lo));
    const __m128 t = _mm_min_ps(_mm_max_ps(ratio, _mm_setzero_ps()), Const(VLMConstant::One));
    return Out(_mm_mul_ps(_mm_mul_ps(t, t), _mm_sub_ps(Const(VLMConstant::Three), _mm_add_ps(t, t))));
}
VLM_OBJECT_FORM3(VLMVector4SmoothStep)

// Lane-wise cubic Bezier point at t by repeated linear interpolation
// (a + (b - a) t at every step).
VLM_VALUE VLMVector4 VLMVector4Bezier3(const VLMVector4& t, const VLMVector4& p0, const VLMVector4& p1,
                                       const VLMVector4& p2, const VLMVector4& p3)
{
    using namespace vlm_detail;
    const __m128 vt = In(t);
    const auto lerp = [vt](__m128 a, __m128 b) { return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), vt)); };
    const __m128 a = lerp(In(p0), In(p1));
    const __m128 b = lerp(In(p1), In(p2));
    const __m128 c = lerp(In(p2), In(p3));
    const __m128 d = lerp(a, b);
    const __m128 e = lerp(b, c);
    return Out(lerp(d, e));
}
inline VLMVector4& VLMVector4Bezier3(VLMVector4& result, const VLMVector4& t, const VLMVector4& p0,
                                     const VLMVector4& p1, const VLMVector4& p2, const VLMVector4& p3)
{
    result = VLMVector4Bezier3(t, p0, p1, p2, p3);
    return result;
}

// On splatted values (a test holds when it holds in any lane): x itself inside
// [lowStart, highStart]; beyond lowStart a value that approaches lowLimit as x
// goes to -inf, beyond highStart one that approaches highLimit. The side is
// chosen by the sign of x, so lowStart <= 0 <= highStart is expected:
//   y := ref + span (x - ref) / (|x - ref| + s)
// with ref, span, s = lowStart, lowStart - lowLimit, (-lowLimit if lowLimit < 0
// else 1) for x < 0, and highStart, highLimit - highStart, (highLimit if
// highLimit > 0 else 1) otherwise.
VLM_VALUE VLMVector4 VLMSoftLimit(const VLMVector4& lowStart, const VLMVector4& lowLimit, const VLMVector4& highStart,
                                  const VLMVector4& highLimit, const VLMVector4& x)
{
    using namespace vlm_detail;
    const __m128 zero = _mm_setzero_ps();
    const __m128 vx = In(x);
    const __m128 a = In(lowStart);
    const __m128 b = In(lowLimit);
    const __m128 c = In(highStart);
    const __m128 d = In(highLimit);
    const auto any = [](__m128 mask) { return _mm_movemask_ps(mask) != 0; };
    __m128 ref, span, s;
    if (any(_mm_cmplt_ps(vx, zero))) {
        ref = a;
        span = _mm_sub_ps(a, b);
        s = any(_mm_cmplt_ps(b, zero)) ? _mm_xor_ps(b, Const(VLMConstant::SignMask)) : Const(VLMConstant::One);
    } else {
        ref = c;
        span = _mm_sub_ps(d, c);
        s = any(_mm_cmpgt_ps(d, zero)) ? d : Const(VLMConstant::One);
    }
    const __m128 offset = _mm_sub_ps(vx, ref);
    const __m128 distance = _mm_andnot_ps(Const(VLMConstant::SignMask), offset);
    const __m128 y = _mm_add_ps(ref, _mm_div_ps(_mm_mul_ps(span, offset), _mm_add_ps(distance, s)));
    const bool outside = any(_mm_cmplt_ps(vx, a)) || any(_mm_cmpgt_ps(vx, c));
    return outside ? Out(y) : x;
}
inline VLMVector4& VLMSoftLimit(VLMVector4& result, const VLMVector4& lowStart, const VLMVector4& lowLimit,
                                const VLMVector4& highStart, const VLMVector4& highLimit, const VLMVector4& x)
{
    result = VLMSoftLimit(lowStart, lowLimit, highStart, highLimit, x);
    return result;
}

// -1 when x < 0 or x is NaN, else +1 (+1 for -0).
VLM_VALUE float VLMSignFloat(float x) { return 0.0f <= x ? VLMConstant::FloatOne : VLMConstant::FloatMinusOne; }

// 1 / x by a true division.
VLM_VALUE float VLMRecipFloat(float x) { return VLMConstant::FloatOne / x; }

#undef VLM_PERMUTE

#endif

#include "vlm_kernels.h"

namespace vlm_detail {
namespace {

__m128 Splat(float v) { return _mm_set1_ps(v); }
__m128i SplatInt(std::int32_t v) { return _mm_set1_epi32(v); }

// The lane-wise forms of Exp2Poly and Log2Poly, operation for operation.
__m128 Exp2PolyLanes(__m128 f)
{
    __m128 p = _mm_mul_ps(Const(VLMConstant::Exp2Coef4), f);
    p = _mm_add_ps(p, Const(VLMConstant::Exp2Coef3));
    p = _mm_mul_ps(p, f);
    p = _mm_add_ps(p, Const(VLMConstant::Exp2Coef2));
    p = _mm_mul_ps(p, f);
    p = _mm_add_ps(p, Const(VLMConstant::Exp2Coef1));
    p = _mm_mul_ps(p, f);
    return _mm_add_ps(p, Const(VLMConstant::One));
}

__m128 Log2PolyLanes(__m128 m, __m128 e)
{
    __m128 p = _mm_sub_ps(Const(VLMConstant::Log2Coef3), _mm_mul_ps(Const(VLMConstant::Log2Coef4), m));
    p = _mm_add_ps(Const(VLMConstant::Log2Coef2), _mm_mul_ps(m, p));
    p = _mm_add_ps(Const(VLMConstant::Log2Coef1), _mm_mul_ps(m, p));
    p = _mm_mul_ps(m, p);
    return _mm_add_ps(_mm_sub_ps(p, Const(VLMConstant::Log2Offset)), e);
}

// 2^n for n in [-126, 127], built in the exponent field.
__m128 PowerOfTwo(__m128i n) { return _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(n, SplatInt(127)), 23)); }

} // namespace

__m128 Exp2Edges(__m128 v)
{
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, Splat(-160.0f)), Splat(160.0f));
    const __m128i n = _mm_cvttps_epi32(clamped);
    const __m128 p = Exp2PolyLanes(_mm_sub_ps(clamped, _mm_cvtepi32_ps(n)));
    const __m128i half = _mm_srai_epi32(n, 1);
    const __m128 r = _mm_mul_ps(_mm_mul_ps(p, PowerOfTwo(_mm_sub_epi32(n, half))), PowerOfTwo(half));
    return Blend(_mm_cmpunord_ps(v, v), v, r);
}

__m128 Log2Edges(__m128 v)
{
    const __m128i b = _mm_castps_si128(v);
    const __m128i denormal =
        _mm_and_si128(_mm_cmpgt_epi32(b, _mm_setzero_si128()), _mm_cmpgt_epi32(SplatInt(0x00800000), b));
    const __m128 scaled = Blend(_mm_castsi128_ps(denormal), _mm_mul_ps(v, Splat(kTwoTo24)), v);
    const __m128i bits = _mm_castps_si128(scaled);
    const __m128 m = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, SplatInt(0x007FFFFF)), SplatInt(0x3F000000)));
    const __m128i exponent = _mm_add_epi32(_mm_sub_epi32(_mm_srli_epi32(_mm_and_si128(bits, SplatInt(0x7FFFFFFF)), 23),
                                                         SplatInt(126)),
                                           _mm_and_si128(denormal, SplatInt(-24)));
    __m128 r = Log2PolyLanes(m, _mm_cvtepi32_ps(exponent));
    r = Blend(_mm_cmpnlt_ps(_mm_setzero_ps(), scaled), Const(VLMConstant::MinusInf), r);  // !(scaled > 0)
    r = Blend(_mm_cmpeq_ps(v, Splat(VLMConstant::kInfinity)), v, r);
    return Blend(_mm_cmpunord_ps(v, v), v, r);
}

} // namespace vlm_detail

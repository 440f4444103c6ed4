#include "rig/vlm_kernels.h"

// Out of line: the edges are rare, and the ordinary paths keep their registers.

float vlm_detail::Exp2Edges(float v)
{
    if (std::isnan(v))
        return v;
    const float clamped = VLMMinFloat(VLMMaxFloat(v, -160.0f), 160.0f);
    const int n = VLMFloatToIntTrunc(&clamped);
    return Ldexp(Exp2Poly(clamped - static_cast<float>(n)), n);
}

float vlm_detail::Log2Edges(float v)
{
    std::uint32_t b = FloatBits(v);
    if (std::isnan(v) || b == kExponentField)
        return v;
    if (b - 1u >= kSmallestNormal - 1u)  // zero or negative
        return VLMConstant::MinusInf.x;
    b = FloatBits(v * kTwoTo24);  // a positive denormal, now normal
    if (b == 0)
        return VLMConstant::MinusInf.x;
    const float m = BitsFloat((b & 0x007FFFFFu) | 0x3F000000u);
    return Log2Poly(m, static_cast<float>(static_cast<int>(b >> 23) - 126 - 24));
}

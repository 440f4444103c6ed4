#include "vlm_kernels.h"

// Out of line: the edges are rare, and the ordinary path keeps its registers.
float vlm_detail::Exp2Edges(float v)
{
    if (std::isnan(v))
        return v;
    const float clamped = VLMMinFloat(VLMMaxFloat(v, -160.0f), 160.0f);
    const int n = VLMFloatToIntTrunc(&clamped);
    return Ldexp(Exp2Poly(clamped - static_cast<float>(n)), n);
}

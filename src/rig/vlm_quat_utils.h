// Velmora rig library: quaternion and transform utilities.
//
// The second layer of small inline operations on quaternions, transforms and
// the records that hold them, built on the conversions of vlm_quat.h and the
// kernels of vlm_kernels.h. Quaternions are (x, y, z, w) with w the scalar
// part; a unit q rotates v as q (v, 0) q*. Calling forms follow vlm_vector.h;
// records are passed by pointer and returned.
#ifndef VLM_QUAT_UTILS_H
#define VLM_QUAT_UTILS_H

#include "vlm_base.h"
#include "vlm_constants.h"
#include "vlm_kernels.h"
#include "vlm_quat.h"
#include "vlm_vector.h"

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

#endif

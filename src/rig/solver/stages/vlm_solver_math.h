// Solver, internal: the small rotation and direction helpers that the stages
// share. They are written on the library's four-lane primitives, so that a
// result computed here is the one a stage computing the same expression in
// place would get, and they add the guards the stages need against the
// degenerate geometry of skeletons with coincident joints: a shortest arc
// between opposite or zero vectors is the identity, a zero vector has no
// direction. Input that is not degenerate gives the bits the plain primitive
// gives.
#ifndef VLM_SOLVER_MATH_H
#define VLM_SOLVER_MATH_H

#include "rig/solver/stages/vlm_vector_ops.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cmath>
#include <cstring>

// Lane x of the four-lane dot product.
inline float VLMDotFloat(const VLMVector4& a, const VLMVector4& b) { return VLMVector4Dot4(a, b).x; }

// |v| over x, y and z.
inline float VLMLengthFloat(const VLMVector4& v) { return VLMVector4Length3(v).x; }

// v, scaled down to `length` when it is longer; otherwise v itself (a NaN
// length or |v| keeps v).
inline VLMVector4 VLMShortenTo(const VLMVector4& v, float length)
{
    const float s = VLMLengthFloat(v);
    return s > length ? v * (length / s) : v;
}

// v shortened smoothly toward `length`: v / (1 + (|v| / length)^6)^(1/6).
// A short v stays nearly whole (over 99% of it at half the length, 97% at
// three quarters) and a long one nears the length without reaching it; a
// length of 0 (or less) leaves nothing.
inline VLMVector4 VLMSoftShorten(const VLMVector4& v, float length)
{
    const float s = VLMLengthFloat(v);
    if (!(s > 0.0f && length > 0.0f))
        return s > 0.0f ? VLMVector4Zero() : v;
    const float r = s / length, r2 = r * r;
    return v * (1.0f / std::pow(1.0f + r2 * r2 * r2, 1.0f / 6.0f));
}

// d with its part along -u dropped; a d that does not point against u comes
// back as it is (so does any d when u is zero).
inline VLMVector4 VLMWithoutInward(VLMVector4 d, const VLMVector4& u)
{
    const float inward = VLMVector4Dot3(d, u).x;
    if (inward < 0.0f)
        d = d - u * (inward / VLMVector4Dot3(u, u).x);
    return d;
}

// Whether q holds exactly the bits of the identity rotation (0, 0, 0, 1).
inline bool VLMIsIdentityQuat(const VLMVector4& q)
{
    return std::memcmp(&q, &VLMConstant::IdentityQuat, sizeof q) == 0;
}

// The unit direction of (x, y, z), w 0; the zero vector when |v|^2 is not
// positive (a zero or non-finite v).
inline VLMVector4 VLMSafeDirection(const VLMVector4& v)
{
    const VLMVector4 d = VLMVector4ClearW(v);
    if (!(VLMDotFloat(d, d) > 0.0f))
        return VLMVector4Zero();
    return VLMQuatNormalize(d);
}

// The shortest-arc rotation taking the direction of u to that of v, as
// VLMQuatFromTo forms it (on x, y, z; the w lanes of u and v are not read).
// Opposite or zero vectors, whose unnormalised arc is zero, give the identity.
inline VLMVector4 VLMShortestArc(const VLMVector4& u, const VLMVector4& v)
{
    const VLMVector4 a = VLMVector4ClearW(u);
    const VLMVector4 b = VLMVector4ClearW(v);
    const VLMVector4 w = VLMVector4Sqrt(VLMVector4Dot4(a, a) * VLMVector4Dot4(b, b)) + VLMVector4Dot4(a, b);
    const VLMVector4 arc = VLMVector4MergeW(VLMVector4Cross(a, b), w);
    if (!(VLMDotFloat(arc, arc) > 0.0f))
        return VLMConstant::IdentityQuat;
    return VLMQuatNormalize(arc);
}

// t, or -t when Dot4(q, t) < 0: the goal in q's hemisphere (a zero dot keeps t).
inline VLMVector4 VLMQuatToHemisphere(const VLMVector4& q, const VLMVector4& t)
{
    return VLMDotFloat(q, t) >= 0.0f ? t : VLMVector4Negate(t);
}

// The reach blend of a rotation: normalise(q + w (t' - q)), t' = t in q's
// hemisphere.
inline VLMVector4 VLMQuatReachToward(const VLMVector4& q, const VLMVector4& t, float w)
{
    const VLMVector4 target = VLMQuatToHemisphere(q, t);
    return VLMQuatNormalize(q + w * (target - q));
}

// The turn by `angle` radians about a unit axis (w 0), through the polynomial
// sine and cosine of the half angle.
inline VLMVector4 VLMQuatAboutAxis(const VLMVector4& axis, float angle)
{
    return VLMQuatFromAxisAngle(VLMVector4Splat(angle), VLMVector4ClearW(axis));
}

// q's vector part scaled by s and the result renormalised.
inline VLMVector4 VLMQuatScaleVectorPart(const VLMVector4& q, float s)
{
    return VLMQuatNormalize(VLMVector4ScaleXYZ(q, VLMVector4Splat(s)));
}

// The one-sided arc cosine for x in [0, 1] (x clamped first):
// sqrt(2 (1 - x)) (1 + (((c4 u + c3) u + c2) u + c1) u), u = 1 - x.
inline float VLMFastAcosUnit(float x)
{
    const float u = 1.0f - VLMClamp01Float(x);
    float p = VLMConstant::AcosCoef4.x * u;
    p = (p + VLMConstant::AcosCoef3.x) * u;
    p = (p + VLMConstant::AcosCoef2.x) * u;
    p = (p + VLMConstant::AcosCoef1.x) * u;
    return std::sqrt(u + u) * (p + 1.0f);
}

// The correction of a spreading step: false (nothing to spread) when the
// vector part's squared length is 1e-6 or less; otherwise the unit axis of c
// taken with w >= 0 and its half angle acos(w).
inline bool VLMSpreadAxisAngle(const VLMVector4& c, VLMVector4& axis, float& halfAngle)
{
    const VLMVector4 v = VLMVector4ClearW(c);
    if (!(VLMDotFloat(v, v) > 1e-6f))
        return false;
    const float sign = VLMSignFloat(c.w);
    axis = VLMQuatNormalize(v * sign);
    halfAngle = VLMFastAcosUnit(c.w * sign);
    return true;
}

#endif

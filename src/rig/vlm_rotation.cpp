#include "rig/vlm_rotation.h"

#include "rig/vlm_constants.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include <cmath>
#include <cstring>

namespace {

// Axis triples (0 x, 1 y, 2 z) by Euler code; each odd code uses the row of
// the even code before it.
const std::int32_t kAxisTriples[12][3] = {
    {0, 1, 2}, {0, 1, 2}, {0, 2, 1}, {0, 2, 1}, {1, 2, 0}, {1, 2, 0},
    {1, 0, 2}, {1, 0, 2}, {2, 0, 1}, {2, 0, 1}, {2, 1, 0}, {2, 1, 0},
};

// Any lane differs from (0, 0, 0, 1) as floats: -0 equals 0, NaN differs.
bool DiffersFromIdentity(const VLMVector4& q) { return q.x != 0.0f || q.y != 0.0f || q.z != 0.0f || q.w != 1.0f; }

bool AnyLaneNonZero(const VLMVector4& v) { return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f || v.w != 0.0f; }

// The images of the x, y and z axes under q, each 2 (... - 1/2 ...) with the
// sums in the written order; w lanes 0. Exact for the identity.
VLMVector4 AxisX(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * ((x * x + w * w) - 0.5f), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f};
}
VLMVector4 AxisY(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * (x * y - w * z), 2.0f * ((y * y + w * w) - 0.5f), 2.0f * (y * z + w * x), 0.0f};
}
VLMVector4 AxisZ(const VLMVector4& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return VLMVector4{2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 2.0f * ((z * z + w * w) - 0.5f), 0.0f};
}

void StorePostRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;  // q may live inside the part
    VLMVector4Copy(part->postAxes[0], AxisX(value));
    VLMVector4Copy(part->postAxes[1], AxisY(value));
    VLMVector4Copy(part->postAxes[2], AxisZ(value));
    VLMVector4Copy(part->postRotation, value);
}

}  // namespace

const std::int32_t* VLMRotationOrderAxes(VLMRotationOrder order)
{
    return order < VLM_ROTATION_SPHERIC_XYZ ? kAxisTriples[order] : nullptr;
}

void VLMRotationPartCopy(VLMRotationPart* destination, const VLMRotationPart* source)
{
    if (destination == source)
        return;
    VLMVector4Copy(destination->preRotation, source->preRotation);
    VLMVector4Copy(destination->postRotation, source->postRotation);
    for (int i = 0; i < 3; ++i)
        VLMVector4Copy(destination->postAxes[i], source->postAxes[i]);
    destination->rotationOrder = source->rotationOrder;
    static_assert(offsetof(VLMRotationPart, flags) + sizeof(std::uint32_t) - offsetof(VLMRotationPart, minLimit) == 28,
                  "limits and flags form one 28-byte block");
    std::memcpy(destination->minLimit, source->minLimit, 28);
}

void VLMSetPreRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;
    VLMRotationFlagSet(part, VLM_ROTFLAG_PRE_ROTATION, DiffersFromIdentity(value));
    VLMVector4Copy(part->preRotation, value);
}

void VLMSetPostRotation(VLMRotationPart* part, const VLMVector4& q)
{
    const VLMVector4 value = q;
    VLMRotationFlagSet(part, VLM_ROTFLAG_POST_ROTATION, DiffersFromIdentity(value));
    StorePostRotation(part, value);
}

VLMVector4& VLMClampToRotationLimits(const VLMRotationPart* part, const VLMVector4& angles, VLMVector4& out)
{
    VLMVector4 a = angles;
    const std::uint32_t flags = part->flags;
    if ((flags & VLM_ROTFLAG_LIMITS) != 0) {
        float* lane = &a.x;
        for (int i = 0; i < 3; ++i) {
            // max(minimum, a) and min(maximum, a) return a when a is NaN.
            if ((flags & (VLM_ROTFLAG_MIN_X << i)) != 0)
                lane[i] = VLMMaxFloat(part->minLimit[i], lane[i]);
            if ((flags & (VLM_ROTFLAG_MAX_X << i)) != 0)
                lane[i] = VLMMinFloat(part->maxLimit[i], lane[i]);
        }
    }
    return VLMVector4Copy(out, a);
}

// ---------------------------------------------------------------------------
// Euler angles to quaternion
// ---------------------------------------------------------------------------

namespace {

// Sines and cosines of the half angles.
void HalfAngleSinCos(const VLMVector4& angles, VLMVector4& s, VLMVector4& c)
{
    VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
}

// Code 0 in closed form, each product formed left to right:
// (sx cy cz - cx sy sz, cx sy cz + sx cy sz, cx cy sz - sx sy cz, cx cy cz + sx sy sz).
VLMVector4 EulerXYZFromHalfAngles(const VLMVector4& s, const VLMVector4& c)
{
    return VLMVector4{s.x * c.y * c.z - c.x * s.y * s.z, c.x * s.y * c.z + s.x * c.y * s.z,
                      c.x * c.y * s.z - s.x * s.y * c.z, c.x * c.y * c.z + s.x * s.y * s.z};
}

// q_c (x) q_b (x) q_a of the single-axis quaternions, formed as (q_c q_b) q_a,
// one case per axis triple.
VLMVector4 EulerProductFromHalfAngles(std::uint32_t code, const VLMVector4& s, const VLMVector4& c)
{
    // (s.x, 0, 0, c.x) and its kind, built with lane merges rather than from
    // scalars (which would stall the vector loads that follow).
    const VLMVector4 zero = VLMVector4Zero();
    const VLMVector4 qx = VLMVector4MergeW(VLMVector4MergeX(zero, s), VLMVector4SplatX(c));
    const VLMVector4 qy = VLMVector4MergeW(VLMVector4MergeY(zero, s), VLMVector4SplatY(c));
    const VLMVector4 qz = VLMVector4MergeW(VLMVector4MergeZ(zero, s), VLMVector4SplatZ(c));
    switch (code >> 1) {
    case 0:  // x, y, z
        return VLMQuatMultiply(VLMQuatMultiply(qz, qy), qx);
    case 1:  // x, z, y
        return VLMQuatMultiply(VLMQuatMultiply(qy, qz), qx);
    case 2:  // y, z, x
        return VLMQuatMultiply(VLMQuatMultiply(qx, qz), qy);
    case 3:  // y, x, z
        return VLMQuatMultiply(VLMQuatMultiply(qz, qx), qy);
    case 4:  // z, x, y
        return VLMQuatMultiply(VLMQuatMultiply(qy, qx), qz);
    default:  // z, y, x
        return VLMQuatMultiply(VLMQuatMultiply(qx, qy), qz);
    }
}

// Twist about x, then a swing about an axis in the y-z plane:
// (0, sy, sz, cy cz) (x) (sx, 0, 0, cx), normalised.
VLMVector4 SphericFromHalfAngles(const VLMVector4& s, const VLMVector4& c)
{
    const VLMVector4 q{s.x * c.y * c.z, c.x * s.y + s.x * s.z, c.x * s.z - s.x * s.y, c.x * c.y * c.z};
    return VLMQuatNormalize(q);
}

VLMVector4 EulerToQuatValue(VLMRotationOrder order, const VLMVector4& angles)
{
    if (order > VLM_ROTATION_SPHERIC_XYZ)
        return VLMConstant::IdentityQuat;
    VLMVector4 s, c;
    HalfAngleSinCos(angles, s, c);
    if (order == VLM_ROTATION_SPHERIC_XYZ)
        return SphericFromHalfAngles(s, c);
    // Odd codes share the even code's triple, and with it its quaternion.
    if (order <= VLM_ROTATION_EULER_XYX)
        return EulerXYZFromHalfAngles(s, c);
    return EulerProductFromHalfAngles(order, s, c);
}

}  // namespace

VLMVector4& VLMEulerToQuat(VLMRotationOrder order, VLMVector4& q, const VLMVector4& angles)
{
    return VLMVector4Copy(q, EulerToQuatValue(order, angles));
}

VLMVector4& VLMEulerToQuatByValue(VLMVector4& q, const VLMVector4& angles, VLMRotationOrder order)
{
    return VLMEulerToQuat(order, q, angles);
}

// ---------------------------------------------------------------------------
// Quaternion to Euler angles
// ---------------------------------------------------------------------------
//
// For an even code with triple (a, b, c), q_a, q_b, q_c are the quaternion's
// components along those axes and e is +1 for the cyclic triples (codes 0, 4,
// 8) and -1 for the others. The sine term g = w q_b - e q_a q_c is half the
// sine of the middle angle.
//
// Poles. When |g| reaches VLMConstPoleLimit the middle angle is taken as
// sigma pi/2 (sigma the sign of g), and the two outer rotations act about one
// axis: one outer angle is set to 0 and the other carries their combination.
// Codes 0 and 10 keep the first angle (q = B A), the others keep the third
// (q = C B). Removing the middle quarter turn B = (sigma e_b, 1)/sqrt 2 from a
// pole quaternion and reading the angle left over gives, for the kept angle
// about axis a or c,
//   first:  atan2(q_a w - e q_b q_c, sigma (w q_b + e q_a q_c))
//   third:  atan2(q_c w - e q_a q_b, sigma (w q_b + e q_a q_c))
// (both pairs have length 1/2 at the pole). Code 0 at the negative pole, code
// 2 at both poles and code 4 at the positive pole use the library's own forms
// of the same angle, equal to these at an exact pole; code 4 at the negative
// pole mirrors its positive form.

namespace {

struct PoleAngles {
    float combined;   // angle of the outer axis that is kept
    bool keepsFirst;  // true: lane a carries it and lane c is 0; false: the reverse
};

PoleAngles PoleAngle(std::uint32_t code, bool positive, float x, float y, float z, float w)
{
    switch (code) {
    case VLM_ROTATION_EULER_XYZ:  // middle y, x kept, z 0
        return {positive ? VLMFastAtan2(x * w - y * z, x * z + y * w) : VLMFastAtan2(x * w - y * z, -(x * z + y * w)),
                true};
    case VLM_ROTATION_EULER_XZY:  // middle z, y kept, x 0
        return {positive ? 2.0f * VLMFastAtan2(x, w) : -2.0f * VLMFastAtan2(x, w), false};
    case VLM_ROTATION_EULER_YZX:  // middle z, x kept, y 0
        return {positive ? VLMFastAtan2(z * x - y * w, x * y + z * w) : VLMFastAtan2(y * w - z * x, -(x * y + z * w)),
                false};
    case VLM_ROTATION_EULER_YXZ:  // middle x, z kept, y 0 (a = y, b = x, c = z, e = -1)
        return {positive ? VLMFastAtan2(z * w + y * x, w * x - y * z) : VLMFastAtan2(z * w + y * x, -(w * x - y * z)),
                false};
    case VLM_ROTATION_EULER_ZXY:  // middle x, y kept, z 0 (a = z, b = x, c = y, e = +1)
        return {positive ? VLMFastAtan2(y * w - z * x, w * x + z * y) : VLMFastAtan2(y * w - z * x, -(w * x + z * y)),
                false};
    default:  // VLM_ROTATION_EULER_ZYX: middle y, z kept, x 0 (a = z, b = y, c = x, e = -1)
        return {positive ? VLMFastAtan2(z * w + y * x, w * y - z * x) : VLMFastAtan2(z * w + y * x, -(w * y - z * x)),
                true};
    }
}

VLMVector4 EulerFromQuat(std::uint32_t code, const VLMVector4& q)
{
    const std::int32_t* triple = kAxisTriples[code];
    const int a = triple[0], b = triple[1], c = triple[2];
    const float* component = &q.x;
    const float qa = component[a], qb = component[b], qc = component[c], w = q.w;
    const bool cyclic =
        code == VLM_ROTATION_EULER_XYZ || code == VLM_ROTATION_EULER_YZX || code == VLM_ROTATION_EULER_ZXY;

    // e enters only as a sign: w q_b - (-1) q_a q_c is w q_b + q_a q_c exactly.
    const float g = cyclic ? w * qb - qa * qc : w * qb + qa * qc;

    float out[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float limit = VLMConstant::PoleLimit.x;
    if (g >= limit || g <= -limit) {
        const bool positive = g >= limit;
        const PoleAngles pole = PoleAngle(code, positive, q.x, q.y, q.z, w);
        out[b] = positive ? VLMConstant::HalfPi.x : -VLMConstant::HalfPi.x;
        out[pole.keepsFirst ? a : c] = pole.combined;
        return VLMVector4{out[0], out[1], out[2], out[3]};
    }

    out[b] = VLMFastAsin(VLMVector4Splat(g + g)).x;
    const float sinA = cyclic ? w * qa + qb * qc : w * qa - qb * qc;
    const float sinC = cyclic ? w * qc + qa * qb : w * qc - qa * qb;
    out[a] = VLMFastAtan2(sinA, 0.5f - (qa * qa + qb * qb));
    out[c] = VLMFastAtan2(sinC, (w * w + qa * qa) - 0.5f);
    return VLMVector4{out[0], out[1], out[2], out[3]};
}

// An arc-sine argument pulled back into [-1, 1] where rounding pushed it out;
// NaN passes.
float ClampUnit(float v) { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }

// The inverse of the spheric quaternion: the swing p is the shortest arc from
// the x axis to its image X; the twist is read from the input's x and w.
VLMVector4 SphericFromQuat(const VLMVector4& q)
{
    const VLMVector4 n = VLMQuatNormalize(q);
    const VLMVector4 axisX = AxisX(n);
    const VLMVector4 p = VLMQuatNormalize(VLMVector4{0.0f, -axisX.z, axisX.y, 1.0f + axisX.x});

    // p = (0, sy, sz, cy cz) / N with N^2 = 1 + sy^2 sz^2, so f = N lies in
    // [1, sqrt 2] and p.y f, p.z f are the half-angle sines. With k = p.y^2 p.z^2,
    // N^2 is the smaller root of k N^4 - N^2 + 1 = 0, (1 - r) / (2k) with
    // r = sqrt(1 - 4k); it is evaluated as 2 / (1 + r), the same value without
    // the cancellation of 1 - r (which costs about 1.5% of f at k = 1e-6).
    // f is not clamped to [0, 1]: that would pin it at 1 and the swing angles
    // would no longer invert the forward conversion.
    const float k = (p.y * p.y) * (p.z * p.z);
    float f = 1.0f;
    if (k > VLMConstant::Epsilon.x) {
        const float root = std::sqrt(VLMMaxFloat(0.0f, 1.0f - 4.0f * k));
        f = std::sqrt(2.0f / (1.0f + root));
    }

    const float hx = std::fabs(q.w) <= VLMConstant::Epsilon.x ? VLMConstant::HalfPi.x : VLMFastAtan(q.x / q.w);
    const VLMVector4 halfSwing = VLMFastAsin(VLMVector4{ClampUnit(p.y * f), ClampUnit(p.z * f), 0.0f, 0.0f});
    return VLMVector4{2.0f * hx, 2.0f * halfSwing.x, 2.0f * halfSwing.y, 0.0f};
}

VLMVector4 QuatToEulerValue(VLMRotationOrder order, const VLMVector4& q)
{
    if (order == VLM_ROTATION_SPHERIC_XYZ)
        return SphericFromQuat(q);
    // Repeated-axis codes and unknown codes have no angles of their own.
    if (order > VLM_ROTATION_SPHERIC_XYZ || (order & 1u) != 0)
        return VLMVector4{0.0f, 0.0f, 0.0f, 0.0f};
    return EulerFromQuat(order, q);
}

}  // namespace

VLMVector4& VLMQuatToEuler(VLMRotationOrder order, VLMVector4& angles, const VLMVector4& q)
{
    return VLMVector4Copy(angles, QuatToEulerValue(order, q));
}

VLMVector4& VLMQuatToEulerByValue(VLMVector4& angles, const VLMVector4& q, VLMRotationOrder order)
{
    return VLMQuatToEuler(order, angles, q);
}

VLMVector4& VLMQuatToSpheric(VLMVector4& angles, const VLMVector4& q)
{
    return VLMVector4Copy(angles, SphericFromQuat(q));
}

VLMVector4& VLMQuatToEulerXYZ(VLMVector4& angles, const VLMVector4& q)
{
    return VLMVector4Copy(angles, EulerFromQuat(VLM_ROTATION_EULER_XYZ, q));
}

// ---------------------------------------------------------------------------
// Rotation definitions from Euler angles, and a joint's local rotation
// ---------------------------------------------------------------------------

void VLMSetPreRotationFromEuler(VLMRotationPart* part, const VLMVector4& degrees, VLMRotationOrder order)
{
    const VLMVector4 radians = VLMVector4DegToRad(degrees);
    VLMRotationFlagSet(part, VLM_ROTFLAG_PRE_ROTATION, AnyLaneNonZero(degrees));
    VLMVector4Copy(part->preRotation, EulerToQuatValue(order, radians));
}

void VLMSetPostRotationFromEuler(VLMRotationPart* part, const VLMVector4& degrees, VLMRotationOrder order)
{
    const VLMVector4 radians = VLMVector4DegToRad(degrees);
    VLMRotationFlagSet(part, VLM_ROTFLAG_POST_ROTATION, AnyLaneNonZero(degrees));
    StorePostRotation(part, EulerToQuatValue(order, radians));
}

VLMVector4& VLMNodeRotationFromEuler(const VLMRotationPart* part, VLMVector4& q, const VLMVector4& angles)
{
    VLMVector4 r = EulerToQuatValue(VLMRotationOrder(part->rotationOrder), angles);
    if ((part->flags & VLM_ROTFLAG_PRE_ROTATION) != 0)
        r = VLMQuatMultiply(part->preRotation, r);
    if ((part->flags & VLM_ROTFLAG_POST_ROTATION) != 0)
        r = VLMQuatMultiply(r, VLMQuatNormalizedConjugate(part->postRotation));
    return VLMVector4Copy(q, r);
}

VLMVector4& VLMNodeEulerFromRotation(const VLMRotationPart* part, VLMVector4& angles, const VLMVector4& q)
{
    VLMVector4 r = q;
    if ((part->flags & VLM_ROTFLAG_PRE_ROTATION) != 0)
        r = VLMQuatConjugateMul(part->preRotation, r);
    if ((part->flags & VLM_ROTFLAG_POST_ROTATION) != 0)
        r = VLMQuatMultiply(r, part->postRotation);
    return VLMVector4Copy(angles, QuatToEulerValue(VLMRotationOrder(part->rotationOrder), r));
}

#include "vlm_constants.h"
#include "vlm_kernels.h"
#include "vlm_node_record.h"
#include "vlm_quat.h"
#include "vlm_records.h"
#include "vlm_rotation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace {

VLMVector4 V(float x, float y, float z, float w) { return VLMVector4{x, y, z, w}; }
float Lane(const VLMVector4& v, int i) { return (&v.x)[i]; }

std::uint32_t Bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

::testing::AssertionResult SameBits(const VLMVector4& got, const VLMVector4& want)
{
    for (int i = 0; i < 4; ++i)
        if (Bits(Lane(got, i)) != Bits(Lane(want, i)))
            return ::testing::AssertionFailure() << "lane " << i << ": got " << Lane(got, i) << ", want "
                                                 << Lane(want, i);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const VLMVector4& got, const VLMVector4& want, double tolerance)
{
    for (int i = 0; i < 4; ++i)
        if (!(std::fabs(double(Lane(got, i)) - Lane(want, i)) <= tolerance))
            return ::testing::AssertionFailure() << "lane " << i << ": got " << Lane(got, i) << ", want "
                                                 << Lane(want, i) << " (tolerance " << tolerance << ")";
    return ::testing::AssertionSuccess();
}

// A rotation part as a fresh record has it.
VLMRotationPart FreshPart()
{
    VLMRotationPart part;
    std::memset(&part, 0xCD, sizeof part);
    VLMRotationRecordInit(&part);
    return part;
}

// --- Double-precision references ------------------------------------------------

using Quat = std::array<double, 4>;  // x, y, z, w
const double kPi = 3.14159265358979323846;
const int kTriples[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

Quat Mul(const Quat& a, const Quat& b)
{
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

Quat AxisQuat(int axis, double angle)
{
    Quat q{0, 0, 0, std::cos(angle / 2)};
    q[axis] = std::sin(angle / 2);
    return q;
}

Quat Normalized(const Quat& q)
{
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    return {q[0] / n, q[1] / n, q[2] / n, q[3] / n};
}

Quat ToQuat(const VLMVector4& v) { return {v.x, v.y, v.z, v.w}; }
VLMVector4 ToVector(const Quat& q) { return V(float(q[0]), float(q[1]), float(q[2]), float(q[3])); }

// The rotation of angles (lane x about x ...) in an even code's order, or spheric.
Quat ReferenceEuler(std::uint32_t code, const VLMVector4& angles)
{
    const double lane[3] = {angles.x, angles.y, angles.z};
    if (code == VLM_ROTATION_SPHERIC_XYZ) {
        const double sy = std::sin(lane[1] / 2), sz = std::sin(lane[2] / 2);
        const Quat swing{0, sy, sz, std::cos(lane[1] / 2) * std::cos(lane[2] / 2)};
        return Normalized(Mul(swing, AxisQuat(0, lane[0])));
    }
    const int* t = kTriples[code / 2];
    return Mul(Mul(AxisQuat(t[2], lane[t[2]]), AxisQuat(t[1], lane[t[1]])), AxisQuat(t[0], lane[t[0]]));
}

// Rows of the rotation matrix of a unit quaternion.
void ReferenceAxes(const VLMVector4& q, VLMVector4 axes[3])
{
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    axes[0] = V(float(1 - 2 * (y * y + z * z)), float(2 * (x * y + w * z)), float(2 * (x * z - w * y)), 0);
    axes[1] = V(float(2 * (x * y - w * z)), float(1 - 2 * (x * x + z * z)), float(2 * (y * z + w * x)), 0);
    axes[2] = V(float(2 * (x * z + w * y)), float(2 * (y * z - w * x)), float(1 - 2 * (x * x + y * y)), 0);
}

// Equal as rotations: q or -q within the tolerance in every lane.
::testing::AssertionResult SameRotation(const VLMVector4& got, const Quat& want, double tolerance)
{
    double plus = 0, minus = 0;
    for (int i = 0; i < 4; ++i) {
        plus = std::max(plus, std::fabs(Lane(got, i) - want[i]));
        minus = std::max(minus, std::fabs(Lane(got, i) + want[i]));
    }
    if (std::min(plus, minus) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << ", " << got.w
                                         << "), want +-(" << want[0] << ", " << want[1] << ", " << want[2] << ", "
                                         << want[3] << "), off by " << std::min(plus, minus);
}

VLMVector4 RandomUnitQuat(std::mt19937& rng)
{
    std::normal_distribution<double> lane(0.0, 1.0);
    return ToVector(Normalized({lane(rng), lane(rng), lane(rng), lane(rng)}));
}

// Angles in the range that an even code (or the spheric code) gives back:
// outer angles in (-pi, pi), the middle one inside (-pi/2, pi/2).
VLMVector4 CanonicalAngles(std::uint32_t code, std::mt19937& rng, float middleLimit = 1.5f)
{
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f), middle(-middleLimit, middleLimit);
    std::uniform_real_distribution<float> swing(-2.5f, 2.5f);
    if (code == VLM_ROTATION_SPHERIC_XYZ)
        return V(outer(rng), swing(rng), swing(rng), 0);
    float lane[4] = {0, 0, 0, 0};
    const int* t = kTriples[code / 2];
    lane[t[0]] = outer(rng);
    lane[t[1]] = middle(rng);
    lane[t[2]] = outer(rng);
    return V(lane[0], lane[1], lane[2], 0);
}

} // namespace

// --- Records, setters and flags ---------------------------------------------------

TEST(RotationRecord, ConstructZeroesTheLeadAndInitialisesThePart)
{
    VLMRotationRecord record;
    std::memset(&record, 0xCD, sizeof record);
    EXPECT_EQ(VLMRotationRecordConstruct(&record), &record);
    EXPECT_TRUE(SameBits(record.lead, V(0, 0, 0, 0)));
    EXPECT_TRUE(SameBits(record.part.preRotation, V(0, 0, 0, 1)));
    EXPECT_TRUE(SameBits(record.part.postRotation, V(0, 0, 0, 1)));
    for (const VLMVector4& axis : record.part.postAxes)
        EXPECT_TRUE(SameBits(axis, V(0, 0, 0, 0)));
    EXPECT_EQ(record.part.rotationOrder, 0u);
    EXPECT_EQ(record.part.flags, 0u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Bits(record.part.minLimit[i]) | Bits(record.part.maxLimit[i]), 0u);
}

TEST(RotationRecord, PreRotationFlagFollowsTheIdentityTestOfTheLastValue)
{
    VLMRotationPart part = FreshPart();
    part.flags = VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_MAX_Y | VLM_ROTFLAG_POST_ROTATION;
    const std::uint32_t others = part.flags;
    VLMSetPreRotation(&part, V(0, 0, 0, -1));  // the same rotation, but not the identity value
    EXPECT_EQ(part.flags, others | VLM_ROTFLAG_PRE_ROTATION);
    VLMSetPreRotation(&part, V(-0.0f, 0, -0.0f, 1));
    EXPECT_EQ(part.flags, others);
    EXPECT_TRUE(SameBits(part.preRotation, V(-0.0f, 0, -0.0f, 1)));  // stored as given
    VLMSetPreRotation(&part, V(0.5f, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(part.flags, others | VLM_ROTFLAG_PRE_ROTATION);
    VLMSetPreRotation(&part, V(0, 0, 0, 1));
    EXPECT_EQ(part.flags, others);
    VLMSetPreRotation(&part, V(0, std::nanf(""), 0, 1));
    EXPECT_EQ(part.flags, others | VLM_ROTFLAG_PRE_ROTATION);
    EXPECT_TRUE(SameBits(part.postRotation, V(0, 0, 0, 1)));
}

TEST(RotationRecord, PostRotationStoresItsAxesAndFlag)
{
    VLMRotationPart part = FreshPart();
    VLMSetPostRotation(&part, V(0.6f, 0, 0, 0.8f));
    VLMSetPostRotation(&part, V(-0.0f, -0.0f, 0, 1));
    EXPECT_EQ(part.flags, 0u);
    VLMSetPostRotation(&part, V(0, 0, 0, 1));
    EXPECT_TRUE(SameBits(part.postAxes[0], V(1, 0, 0, 0)));  // exact for the identity
    EXPECT_TRUE(SameBits(part.postAxes[1], V(0, 1, 0, 0)));
    EXPECT_TRUE(SameBits(part.postAxes[2], V(0, 0, 1, 0)));

    std::mt19937 rng(99u);
    for (int n = 0; n < 200; ++n) {
        const VLMVector4 q = RandomUnitQuat(rng);
        VLMSetPostRotation(&part, q);
        ASSERT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_POST_ROTATION));
        ASSERT_TRUE(SameBits(part.postRotation, q));
        VLMVector4 axes[3];
        ReferenceAxes(q, axes);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(Near(part.postAxes[i], axes[i], 2e-6)) << "axis " << i;
    }
    // An argument inside the part itself is read before the part is written.
    part.preRotation = V(0, 0, 0.6f, 0.8f);
    VLMSetPostRotation(&part, part.preRotation);
    VLMVector4 axes[3];
    ReferenceAxes(V(0, 0, 0.6f, 0.8f), axes);
    EXPECT_TRUE(Near(part.postAxes[0], axes[0], 1e-6));
}

TEST(RotationRecord, PartCopyTakesEveryFieldBitForBit)
{
    VLMRotationRecord source;
    std::memset(&source, 0, sizeof source);
    VLMRotationPart& s = source.part;
    s.preRotation = V(-0.0f, 0.6f, 0, 0.8f);
    VLMSetPostRotation(&s, V(0, 0.6f, 0, 0.8f));
    s.rotationOrder = VLM_ROTATION_EULER_ZYX;
    VLMSetFloat3At0(&s, -1, std::nanf(""), -3);
    VLMSetFloat3At3(&s, 1, 2, 3);
    s.flags = 0x1FFu;

    VLMRotationRecord destination;
    std::memset(&destination, 0xCD, sizeof destination);
    VLMRotationPartCopy(&destination.part, &s);
    EXPECT_EQ(std::memcmp(&destination.part, &s, sizeof(VLMRotationPart)), 0);
    EXPECT_EQ(Bits(destination.lead.x), 0xCDCDCDCDu) << "only the rotation part is copied";
    VLMRotationPartCopy(&destination.part, &destination.part);
    EXPECT_EQ(std::memcmp(&destination.part, &s, sizeof(VLMRotationPart)), 0);
}

TEST(RotationLimits, ClampRaisesToTheMinimumThenLowersToTheMaximum)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, -1.0f, -2.0f, -3.0f);  // minimum
    VLMSetFloat3At3(&part, 1.0f, 2.0f, 3.0f);     // maximum
    VLMVector4 out;
    part.flags = VLM_ROTFLAG_LIMITS;
    VLMClampToRotationLimits(&part, V(-5, 5, 0.5f, -9), out);
    EXPECT_TRUE(SameBits(out, V(-1, 2, 0.5f, -9)));

    // Only the maximum of y: only lane y, and only when above it.
    part.flags = VLM_ROTFLAG_MAX_Y;
    VLMClampToRotationLimits(&part, V(-5, 5, 5, 7), out);
    EXPECT_TRUE(SameBits(out, V(-5, 2, 5, 7)));
    VLMClampToRotationLimits(&part, V(-5, 1.5f, 5, 7), out);
    EXPECT_TRUE(SameBits(out, V(-5, 1.5f, 5, 7)));

    part.flags = VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_Z;
    VLMClampToRotationLimits(&part, V(-5, 5, 5, 0), out);
    EXPECT_TRUE(SameBits(out, V(-1, 5, 3, 0)));

    // Bits 0, 7 and 8 are not limits.
    part.flags = VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION;
    VLMClampToRotationLimits(&part, V(5, -5, 5, 5), out);
    EXPECT_TRUE(SameBits(out, V(5, -5, 5, 5)));

    // A minimum above the maximum: the maximum comes last and wins (in place).
    VLMSetFloat3At0(&part, 2, 2, 2);
    part.flags = VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_X;
    out = V(0, 0, 0, 0);
    VLMClampToRotationLimits(&part, out, out);
    EXPECT_TRUE(SameBits(out, V(1, 0, 0, 0)));
}

TEST(RotationLimits, ClampLetsNaNThrough)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, -1, -1, -1);
    VLMSetFloat3At3(&part, 1, 1, 1);
    part.flags = VLM_ROTFLAG_LIMITS;
    const float nan = std::nanf("");
    VLMVector4 out;
    VLMClampToRotationLimits(&part, V(nan, 4, -nan, nan), out);
    EXPECT_TRUE(SameBits(out, V(nan, 1, -nan, nan)));
}

// --- Euler angles to quaternion ---------------------------------------------------

TEST(EulerToQuat, EveryOrderMatchesItsAxisProductAndOddCodesTheirEvenCode)
{
    std::mt19937 rng(2024u);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    for (std::uint32_t code = 0; code < std::uint32_t(VLM_ROTATION_ORDER_COUNT); ++code) {
        const std::uint32_t even = code == VLM_ROTATION_SPHERIC_XYZ ? code : code & ~1u;
        for (int n = 0; n < 300; ++n) {
            const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), angle(rng));
            VLMVector4 q, q0;
            VLMEulerToQuat(VLMRotationOrder(code), q, angles);
            // The product itself, not merely the same rotation: no sign flip either.
            ASSERT_TRUE(Near(q, ToVector(ReferenceEuler(even, angles)), 5e-6)) << "code " << code;
            VLMEulerToQuat(VLMRotationOrder(even), q0, angles);
            ASSERT_TRUE(SameBits(q, q0)) << "code " << code;
        }
    }
    for (std::uint32_t code = 0; code < 12; ++code) {
        const std::int32_t* row = VLMRotationOrderAxes(VLMRotationOrder(code));
        ASSERT_NE(row, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(row[i], kTriples[code / 2][i]) << code;
    }
    EXPECT_EQ(VLMRotationOrderAxes(VLM_ROTATION_SPHERIC_XYZ), nullptr);
}

TEST(EulerToQuat, ClosedFormsFollowTheirStatedOrderAndMatchTheAxisProduct)
{
    std::mt19937 rng(8u);
    std::uniform_real_distribution<float> angle(-6.0f, 6.0f);
    for (int n = 0; n < 1000; ++n) {
        VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);
        if (n < 8)  // signed zeros among the half-angle sines
            angles = V(n & 1 ? -0.0f : 0.0f, n & 2 ? -0.0f : 0.25f, n & 4 ? -0.0f : -0.5f, 0);
        VLMVector4 s, c;
        VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
        const VLMVector4 xyz = V(s.x * c.y * c.z - c.x * s.y * s.z, c.x * s.y * c.z + s.x * c.y * s.z,
                                 c.x * c.y * s.z - s.x * s.y * c.z, c.x * c.y * c.z + s.x * s.y * s.z);
        const VLMVector4 spheric =
            VLMQuatNormalize(V(s.x * c.y * c.z, c.x * s.y + s.x * s.z, c.x * s.z - s.x * s.y, c.x * c.y * c.z));
        const VLMVector4 product =
            VLMQuatMultiply(VLMQuatMultiply(V(0, 0, s.z, c.z), V(0, s.y, 0, c.y)), V(s.x, 0, 0, c.x));
        VLMVector4 q;
        VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, angles);
        ASSERT_TRUE(SameBits(q, xyz)) << n;
        ASSERT_TRUE(Near(q, product, 3e-7)) << n;
        VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
        ASSERT_TRUE(SameBits(q, spheric)) << n;
    }
}

TEST(EulerToQuat, WorkedExampleByValueFormsAndUnknownCodes)
{
    VLMVector4 q, angles;
    VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, V(float(kPi / 2), 0, 0, 0));
    EXPECT_TRUE(Near(q, V(0.70710678f, 0, 0, 0.70710678f), 2e-6));
    VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, q);
    EXPECT_TRUE(Near(angles, V(float(kPi / 2), 0, 0, 0), 2e-5));

    std::mt19937 rng(5u);
    for (std::uint32_t code = 0; code < std::uint32_t(VLM_ROTATION_ORDER_COUNT); ++code) {
        const VLMVector4 unit = RandomUnitQuat(rng);
        VLMVector4 a, b;
        VLMEulerToQuat(VLMRotationOrder(code), a, V(0.5f, -0.25f, 1.5f, 0));
        VLMEulerToQuatByValue(b, V(0.5f, -0.25f, 1.5f, 0), VLMRotationOrder(code));
        EXPECT_TRUE(SameBits(a, b)) << code;
        VLMQuatToEuler(VLMRotationOrder(code), a, unit);
        VLMQuatToEulerByValue(b, unit, VLMRotationOrder(code));
        EXPECT_TRUE(SameBits(a, b)) << code;
        if (code == VLM_ROTATION_EULER_XYZ) {
            EXPECT_TRUE(SameBits(VLMQuatToEulerXYZ(b, unit), a));
        } else if (code == VLM_ROTATION_SPHERIC_XYZ) {
            EXPECT_TRUE(SameBits(VLMQuatToSpheric(b, unit), a));
        }
    }

    // A code from a damaged file reads no table row: identity and zero angles.
    for (std::uint32_t code : {13u, 99u, 0xFFFFFFFFu}) {
        VLMEulerToQuat(VLMRotationOrder(code), q, V(1, 2, 3, 0));
        EXPECT_TRUE(SameBits(q, V(0, 0, 0, 1))) << code;
        VLMQuatToEuler(VLMRotationOrder(code), angles, V(0.5f, 0.5f, 0.5f, 0.5f));
        EXPECT_TRUE(SameBits(angles, V(0, 0, 0, 0))) << code;
        EXPECT_EQ(VLMRotationOrderAxes(VLMRotationOrder(code)), nullptr);
    }
}

// --- Quaternion to Euler angles ---------------------------------------------------

TEST(QuatToEuler, EvenOrdersRebuildRandomRotationsAndGiveBackCanonicalAngles)
{
    std::mt19937 rng(11u);
    for (std::uint32_t code = 0; code < 12; code += 2) {
        const int middle = kTriples[code / 2][1];
        for (int n = 0; n < 2000; ++n) {
            const VLMVector4 q = RandomUnitQuat(rng);
            VLMVector4 angles, rebuilt;
            VLMQuatToEuler(VLMRotationOrder(code), angles, q);
            ASSERT_EQ(angles.w, 0.0f);
            VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
            // Inside the pole band the middle angle is rounded to +-pi/2 by up
            // to 0.002 rad; elsewhere only the kernels' errors remain.
            const bool pole = std::fabs(Lane(angles, middle)) == VLMConstant::HalfPi.x;
            ASSERT_TRUE(SameRotation(rebuilt, ToQuat(q), pole ? 1.5e-3 : 3e-5)) << "code " << code << " #" << n;

            const VLMVector4 canonical = CanonicalAngles(code, rng);
            VLMVector4 back;
            VLMEulerToQuat(VLMRotationOrder(code), rebuilt, canonical);
            VLMQuatToEuler(VLMRotationOrder(code), back, rebuilt);
            ASSERT_TRUE(Near(back, canonical, 1.5e-4)) << "code " << code << " #" << n;
        }
    }
}

TEST(QuatToEuler, OddCodesGiveZeroAngles)
{
    for (std::uint32_t code = 1; code < 12; code += 2) {
        VLMVector4 angles = V(9, 9, 9, 9);
        VLMQuatToEuler(VLMRotationOrder(code), angles, V(0.1f, 0.7f, -0.1f, 0.7f));
        EXPECT_TRUE(SameBits(angles, V(0, 0, 0, 0))) << code;
    }
}

TEST(QuatToEuler, ExactNegativePoleOfXYZ)
{
    // A quarter turn of -pi/2 about y: g = -0.5 takes the pole branch.
    VLMVector4 angles;
    VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, V(0, -0.70710678f, 0, 0.70710678f));
    EXPECT_EQ(angles.y, -VLMConstant::HalfPi.x);
    EXPECT_EQ(angles.z, 0.0f);
    EXPECT_NEAR(angles.x, 0.0f, 1e-6);
    EXPECT_EQ(angles.w, 0.0f);
}

// At and near both poles of every even order: inside the band the middle angle
// is +-pi/2 and the named outer angle 0; on either side of the band's edge the
// angles rebuild the rotation.
TEST(QuatToEuler, PolesOfEveryEvenOrderRebuildTheRotation)
{
    const int zeroLane[6] = {2, 0, 1, 1, 2, 0};  // z, x, y, y, z, x
    const double bandEdge = 2e-3;               // pi/2 - asin(2 x 0.499999) is about 0.0020
    std::mt19937 rng(13u);
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f);
    for (std::uint32_t code = 0; code < 12; code += 2) {
        const int* t = kTriples[code / 2];
        for (int sign : {1, -1}) {
            for (double offset : {0.0, 1e-5, 3e-4, 1e-3, 1.9e-3, 2.2e-3, 4e-3, 1e-2}) {
                for (int n = 0; n < 100; ++n) {
                    float lane[4] = {0, 0, 0, 0};
                    lane[t[0]] = outer(rng);
                    lane[t[1]] = float(sign * (kPi / 2 - offset));
                    lane[t[2]] = outer(rng);
                    const VLMVector4 q = ToVector(ReferenceEuler(code, V(lane[0], lane[1], lane[2], 0)));

                    VLMVector4 angles, rebuilt;
                    VLMQuatToEuler(VLMRotationOrder(code), angles, q);
                    VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
                    const bool inside = offset < bandEdge;
                    ASSERT_TRUE(SameRotation(rebuilt, ToQuat(q), inside ? offset + 3e-5 : 5e-4))
                        << "code " << code << " sign " << sign << " offset " << offset;
                    const float middle = Lane(angles, t[1]);
                    if (offset < 1.9e-3 || !inside) {  // 1.9e-3 lies too close to the edge to tell
                        ASSERT_EQ(middle == sign * VLMConstant::HalfPi.x, inside) << code << " " << offset;
                        if (inside) {
                            ASSERT_EQ(Lane(angles, zeroLane[code / 2]), 0.0f) << code;
                        }
                    }
                }
            }
        }
    }
}

// --- Spheric angles ----------------------------------------------------------------

TEST(Spheric, AnglesComeBackWhateverTheQuaternionSign)
{
    std::mt19937 rng(15u);
    for (int n = 0; n < 3000; ++n) {
        VLMVector4 angles = CanonicalAngles(VLM_ROTATION_SPHERIC_XYZ, rng);
        if (n < 120) {
            // One swing angle just large enough (k just above 1e-6) for the
            // swing correction, which must still be accurate there.
            const float small[6] = {-0.01f, -0.003f, -0.0015f, 0.0015f, 0.003f, 0.01f};
            (n & 1 ? angles.y : angles.z) = small[(n / 2) % 6];
        }
        VLMVector4 q, back, backNegated;
        VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
        VLMQuatToEuler(VLM_ROTATION_SPHERIC_XYZ, back, q);
        ASSERT_TRUE(Near(back, angles, 1e-4)) << n;
        VLMQuatToSpheric(backNegated, VLMVector4Negate(q));
        ASSERT_TRUE(Near(backNegated, back, 1e-6)) << n;
    }
}

TEST(Spheric, SingleLaneAnglesGiveThePlainAxisRotation)
{
    for (int axis = 0; axis < 3; ++axis) {
        for (double a : {-2.0, -0.5, 0.75, 1.5}) {
            float lane[4] = {0, 0, 0, 0};
            lane[axis] = float(a);
            VLMVector4 q;
            VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, V(lane[0], lane[1], lane[2], lane[3]));
            EXPECT_TRUE(SameRotation(q, AxisQuat(axis, a), 3e-6)) << axis << " " << a;
        }
    }
    VLMVector4 angles;
    VLMQuatToSpheric(angles, V(1, 0, 0, 0));  // w 0: the twist is a half turn
    EXPECT_TRUE(Near(angles, V(float(kPi), 0, 0, 0), 1e-6));
}

TEST(Spheric, SwingsNearAHalfTurnGiveNoNaN)
{
    std::mt19937 rng(18u);
    std::uniform_real_distribution<float> twist(-3.1f, 3.1f), swing(2.5f, 3.1416f);
    for (int n = 0; n < 20000; ++n) {
        VLMVector4 angles = V(twist(rng), (n & 1 ? 1 : -1) * swing(rng), (n & 2 ? 1 : -1) * swing(rng), 0);
        if (n & 4)
            (n & 8 ? angles.y : angles.z) = 0;
        VLMVector4 q, back;
        VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
        VLMQuatToSpheric(back, q);
        ASSERT_FALSE(std::isnan(back.x) || std::isnan(back.y) || std::isnan(back.z)) << n;
    }
}

// --- Rotation definitions from Euler angles ------------------------------------------

TEST(RotationFromEuler, FlagFollowsTheAnglesAndTheQuaternionTheOrder)
{
    VLMRotationPart part = FreshPart();
    part.flags = VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION | VLM_ROTFLAG_MIN_Z;
    VLMSetPreRotationFromEuler(&part, V(0, -0.0f, 0, 0), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_POST_ROTATION | VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.preRotation, V(0, 0, 0, 1)));  // the cosine polynomial is exactly 1 at 0
    VLMSetPostRotationFromEuler(&part, V(0, 0, 0, 0), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.postAxes[0], V(1, 0, 0, 0)));
    VLMSetPreRotationFromEuler(&part, V(0, 0, 0, 5), VLM_ROTATION_EULER_XYZ);  // the w lane counts
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.preRotation, V(0, 0, 0, 1)));

    const VLMVector4 degrees = V(30, -45, 120, 0);
    const VLMVector4 radians = V(30 * 0.017453292f, -45 * 0.017453292f, 120 * 0.017453292f, 0);
    VLMVector4 expected;
    VLMSetPreRotationFromEuler(&part, degrees, VLM_ROTATION_EULER_ZYX);
    EXPECT_TRUE(SameBits(part.preRotation, VLMEulerToQuat(VLM_ROTATION_EULER_ZYX, expected, radians)));
    EXPECT_TRUE(SameRotation(part.preRotation, ReferenceEuler(VLM_ROTATION_EULER_ZYX, radians), 5e-6));

    VLMSetPostRotationFromEuler(&part, degrees, VLM_ROTATION_SPHERIC_XYZ);
    EXPECT_TRUE(part.flags & VLM_ROTFLAG_POST_ROTATION);
    VLMRotationPart viaQuat = FreshPart();
    VLMSetPostRotation(&viaQuat, VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, expected, radians));
    EXPECT_EQ(std::memcmp(&part.postRotation, &viaQuat.postRotation, 4 * sizeof(VLMVector4)), 0);
}

// --- A joint's local rotation ------------------------------------------------------

TEST(NodeRotation, FromEulerIsPreTimesEulerTimesInversePost)
{
    std::mt19937 rng(16u);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    for (std::uint32_t flags = 0; flags < 4; ++flags) {
        for (int n = 0; n < 200; ++n) {
            VLMRotationPart part = FreshPart();
            part.rotationOrder = std::uint32_t(n % 13);
            // Stored values count only when their flag is set; post is normalised when used.
            part.preRotation = RandomUnitQuat(rng);
            part.postRotation = VLMVector4Mul(RandomUnitQuat(rng), VLMVector4Splat(1.5f));
            part.flags = (flags & 1 ? VLM_ROTFLAG_PRE_ROTATION : 0u) | (flags & 2 ? VLM_ROTFLAG_POST_ROTATION : 0u);
            const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);

            Quat want = ReferenceEuler(part.rotationOrder == 12 ? 12 : part.rotationOrder & ~1u, angles);
            if (flags & 1)
                want = Mul(ToQuat(part.preRotation), want);
            if (flags & 2) {
                const Quat post = Normalized(ToQuat(part.postRotation));
                want = Mul(want, {-post[0], -post[1], -post[2], post[3]});
            }
            VLMVector4 q;
            VLMNodeRotationFromEuler(&part, q, angles);
            ASSERT_TRUE(SameRotation(q, want, 1e-5)) << "flags " << flags << " order " << part.rotationOrder;
        }
    }
}

TEST(NodeRotation, EulerFromRotationInvertsFromEuler)
{
    std::mt19937 rng(17u);
    for (std::uint32_t order : {0u, 2u, 4u, 6u, 8u, 10u, 12u}) {
        for (std::uint32_t flags = 0; flags < 4; ++flags) {
            for (int n = 0; n < 200; ++n) {
                VLMRotationPart part = FreshPart();
                part.rotationOrder = order;
                VLMSetPreRotation(&part, RandomUnitQuat(rng));
                VLMSetPostRotation(&part, RandomUnitQuat(rng));
                part.flags &=
                    (flags & 1 ? VLM_ROTFLAG_PRE_ROTATION : 0u) | (flags & 2 ? VLM_ROTFLAG_POST_ROTATION : 0u);
                const VLMVector4 angles = CanonicalAngles(order, rng, 1.45f);
                VLMVector4 q, back;
                VLMNodeRotationFromEuler(&part, q, angles);
                VLMNodeEulerFromRotation(&part, back, q);
                ASSERT_TRUE(Near(back, angles, 4e-4)) << "order " << order << " flags " << flags << " #" << n;
            }
        }
    }
}

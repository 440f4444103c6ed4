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

std::uint32_t Bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

::testing::AssertionResult SameBits(const VLMVector4& got, const VLMVector4& want)
{
    const float* g = &got.x;
    const float* w = &want.x;
    for (int i = 0; i < 4; ++i)
        if (Bits(g[i]) != Bits(w[i]))
            return ::testing::AssertionFailure() << "lane " << i << ": got " << g[i] << ", want " << w[i];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const VLMVector4& got, const VLMVector4& want, double tolerance)
{
    const float* g = &got.x;
    const float* w = &want.x;
    for (int i = 0; i < 4; ++i)
        if (!(std::fabs(double(g[i]) - double(w[i])) <= tolerance))
            return ::testing::AssertionFailure() << "lane " << i << ": got " << g[i] << ", want " << w[i]
                                                 << " (tolerance " << tolerance << ")";
    return ::testing::AssertionSuccess();
}

// A rotation part as a fresh record has it: identity pre- and post-rotation,
// everything else zero.
VLMRotationPart FreshPart()
{
    VLMRotationPart part;
    std::memset(&part, 0xCD, sizeof part);
    VLMRotationRecordInit(&part);
    return part;
}

// Rows of the rotation matrix of a unit quaternion, in double precision.
void ReferenceAxes(const VLMVector4& q, double axes[3][3])
{
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    const double m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
                            {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
                            {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}};
    std::memcpy(axes, m, sizeof m);
}

// --- Double-precision references ------------------------------------------------

using Quat = std::array<double, 4>;  // x, y, z, w

Quat Mul(const Quat& a, const Quat& b)
{
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1], a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3], a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
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

Quat Conj(const Quat& q) { return {-q[0], -q[1], -q[2], q[3]}; }

Quat ToQuat(const VLMVector4& v) { return {v.x, v.y, v.z, v.w}; }
VLMVector4 ToVector(const Quat& q) { return V(float(q[0]), float(q[1]), float(q[2]), float(q[3])); }

const int kTriples[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

// The rotation of angles (by axis: lane x about x ...) in a code's order.
Quat ReferenceEuler(std::uint32_t code, const VLMVector4& angles)
{
    const double lane[3] = {angles.x, angles.y, angles.z};
    if (code == VLM_ROTATION_SPHERIC_XYZ) {
        const double sx = std::sin(lane[0] / 2), cx = std::cos(lane[0] / 2);
        const double sy = std::sin(lane[1] / 2), cy = std::cos(lane[1] / 2);
        const double sz = std::sin(lane[2] / 2), cz = std::cos(lane[2] / 2);
        return Normalized(Mul({0, sy, sz, cy * cz}, {sx, 0, 0, cx}));
    }
    const int* t = kTriples[code / 2];
    return Mul(Mul(AxisQuat(t[2], lane[t[2]]), AxisQuat(t[1], lane[t[1]])), AxisQuat(t[0], lane[t[0]]));
}

// Equal as rotations: q or -q within the tolerance in every lane.
::testing::AssertionResult SameRotation(const VLMVector4& got, const Quat& want, double tolerance)
{
    const Quat g = ToQuat(got);
    double plus = 0, minus = 0;
    for (int i = 0; i < 4; ++i) {
        plus = std::max(plus, std::fabs(g[i] - want[i]));
        minus = std::max(minus, std::fabs(g[i] + want[i]));
    }
    if (std::min(plus, minus) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << g[0] << ", " << g[1] << ", " << g[2] << ", " << g[3]
                                         << "), want +-(" << want[0] << ", " << want[1] << ", " << want[2] << ", "
                                         << want[3] << "), off by " << std::min(plus, minus);
}

const double kPi = 3.14159265358979323846;

VLMVector4 RandomUnitQuat(std::mt19937& rng)
{
    std::normal_distribution<double> lane(0.0, 1.0);
    return ToVector(Normalized({lane(rng), lane(rng), lane(rng), lane(rng)}));
}

} // namespace

// --- Records, setters and flags ---------------------------------------------------

TEST(RotationOrderAxes, OddCodesShareTheRowOfTheEvenCodeBefore)
{
    const std::int32_t expected[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    for (std::uint32_t code = 0; code < 12; ++code) {
        const std::int32_t* row = VLMRotationOrderAxes(VLMRotationOrder(code));
        ASSERT_NE(row, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(row[i], expected[code / 2][i]) << code;
    }
    EXPECT_EQ(VLMRotationOrderAxes(VLM_ROTATION_SPHERIC_XYZ), nullptr);
    EXPECT_EQ(VLMRotationOrderAxes(VLMRotationOrder(13)), nullptr);
    EXPECT_EQ(VLMRotationOrderAxes(VLMRotationOrder(0xFFFFFFFFu)), nullptr);
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
    VLMSetPostRotation(&part, V(0, 0, 0, 1));
    EXPECT_EQ(part.flags, 0u);
    EXPECT_TRUE(SameBits(part.postAxes[0], V(1, 0, 0, 0)));
    EXPECT_TRUE(SameBits(part.postAxes[1], V(0, 1, 0, 0)));
    EXPECT_TRUE(SameBits(part.postAxes[2], V(0, 0, 1, 0)));

    std::mt19937 rng(99u);
    std::normal_distribution<float> lane(0.0f, 1.0f);
    for (int n = 0; n < 200; ++n) {
        VLMVector4 q = V(lane(rng), lane(rng), lane(rng), lane(rng));
        const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = V(q.x / length, q.y / length, q.z / length, q.w / length);
        VLMSetPostRotation(&part, q);
        ASSERT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_POST_ROTATION));
        ASSERT_TRUE(SameBits(part.postRotation, q));
        double axes[3][3];
        ReferenceAxes(q, axes);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(Near(part.postAxes[i], V(float(axes[i][0]), float(axes[i][1]), float(axes[i][2]), 0), 2e-6))
                << "axis " << i;
    }
    VLMSetPostRotation(&part, V(-0.0f, -0.0f, -0.0f, 1));
    EXPECT_EQ(part.flags, 0u);
    EXPECT_EQ(part.preRotation.w, 1.0f);
}

TEST(RotationRecord, SetterReadsItsArgumentBeforeWritingThePart)
{
    VLMRotationPart part = FreshPart();
    part.preRotation = V(0, 0, 0.6f, 0.8f);
    VLMSetPostRotation(&part, part.preRotation);
    double axes[3][3];
    ReferenceAxes(part.preRotation, axes);
    EXPECT_TRUE(Near(part.postAxes[0], V(float(axes[0][0]), float(axes[0][1]), float(axes[0][2]), 0), 1e-6));
    VLMSetPreRotation(&part, part.postRotation);
    EXPECT_TRUE(SameBits(part.preRotation, V(0, 0, 0.6f, 0.8f)));
}

TEST(RotationRecord, PartCopyTakesEveryFieldBitForBit)
{
    VLMRotationRecord source;
    std::memset(&source, 0, sizeof source);
    source.lead = V(9, 9, 9, 9);
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
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Bits(record.part.minLimit[i]), 0u);
        EXPECT_EQ(Bits(record.part.maxLimit[i]), 0u);
    }
}

TEST(RotationLimits, ClampWithOnlyTheMaximumYBitChangesOnlyLaneY)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, 0.5f, 0.5f, 0.5f);
    VLMSetFloat3At3(&part, -0.5f, 0.25f, -0.5f);
    part.flags = VLM_ROTFLAG_MAX_Y;
    VLMVector4 out;
    VLMClampToRotationLimits(&part, V(3, 2, 1, 7), out);
    EXPECT_TRUE(SameBits(out, V(3, 0.25f, 1, 7)));
    VLMClampToRotationLimits(&part, V(3, 0.125f, 1, 7), out);
    EXPECT_TRUE(SameBits(out, V(3, 0.125f, 1, 7)));
}

TEST(RotationLimits, ClampUsesMinimumAsLowerAndMaximumAsUpperBound)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, -1.0f, -2.0f, -3.0f);  // minimum
    VLMSetFloat3At3(&part, 1.0f, 2.0f, 3.0f);     // maximum
    part.flags = VLM_ROTFLAG_LIMITS;
    VLMVector4 out;
    VLMClampToRotationLimits(&part, V(-5, 5, 0.5f, -9), out);
    EXPECT_TRUE(SameBits(out, V(-1, 2, 0.5f, -9)));

    part.flags = VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_Z;
    VLMClampToRotationLimits(&part, V(-5, 5, 5, 0), out);
    EXPECT_TRUE(SameBits(out, V(-1, 5, 3, 0)));
    VLMClampToRotationLimits(&part, V(5, -5, -5, 0), out);
    EXPECT_TRUE(SameBits(out, V(5, -5, -5, 0)));
}

TEST(RotationLimits, ClampLetsNaNThroughAndIgnoresNonLimitFlags)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, -1, -1, -1);
    VLMSetFloat3At3(&part, 1, 1, 1);
    part.flags = VLM_ROTFLAG_LIMITS;
    const float nan = std::nanf("");
    VLMVector4 in = V(nan, 4, -nan, nan);
    VLMVector4 out;
    VLMClampToRotationLimits(&part, in, out);
    EXPECT_TRUE(SameBits(out, V(nan, 1, -nan, nan)));

    part.flags = VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION;
    VLMClampToRotationLimits(&part, V(5, -5, 5, 5), out);
    EXPECT_TRUE(SameBits(out, V(5, -5, 5, 5)));

    // A minimum above the maximum: the maximum is applied last and wins.
    VLMSetFloat3At0(&part, 2, 2, 2);
    part.flags = VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_X;
    in = V(0, 0, 0, 0);
    VLMClampToRotationLimits(&part, in, in);  // in place
    EXPECT_TRUE(SameBits(in, V(1, 0, 0, 0)));
}

// --- Euler angles to quaternion ---------------------------------------------------

TEST(EulerToQuat, EveryOrderMatchesItsAxisProduct)
{
    std::mt19937 rng(2024u);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    for (std::uint32_t code = 0; code < std::uint32_t(VLM_ROTATION_ORDER_COUNT); ++code) {
        for (int n = 0; n < 300; ++n) {
            const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), angle(rng));
            VLMVector4 q;
            VLMEulerToQuat(VLMRotationOrder(code), q, angles);
            const std::uint32_t even = code == VLM_ROTATION_SPHERIC_XYZ ? code : code & ~1u;
            // The product itself, not merely the same rotation: no sign flip either.
            ASSERT_TRUE(Near(q, ToVector(ReferenceEuler(even, angles)), 5e-6)) << "code " << code;
        }
    }
}

TEST(EulerToQuat, ClosedFormOfXYZEqualsTheProductOfItsAxes)
{
    std::mt19937 rng(7u);
    std::uniform_real_distribution<float> angle(-6.0f, 6.0f);
    for (int n = 0; n < 1000; ++n) {
        const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);
        VLMVector4 s, c;
        VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
        const VLMVector4 product = VLMQuatMultiply(VLMQuatMultiply(V(0, 0, s.z, c.z), V(0, s.y, 0, c.y)),
                                                   V(s.x, 0, 0, c.x));
        VLMVector4 closed;
        VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, closed, angles);
        ASSERT_TRUE(Near(closed, product, 3e-7)) << n;
    }
}

TEST(EulerToQuat, XYZAndSphericFollowTheirStatedEvaluationOrder)
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
        const VLMVector4 spheric = VLMQuatNormalize(
            V(s.x * c.y * c.z, c.x * s.y + s.x * s.z, c.x * s.z - s.x * s.y, c.x * c.y * c.z));
        VLMVector4 q;
        VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, angles);
        ASSERT_TRUE(SameBits(q, xyz)) << n;
        VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
        ASSERT_TRUE(SameBits(q, spheric)) << n;
    }
}

TEST(EulerToQuat, OddCodesGiveTheQuaternionOfTheEvenCodeBefore)
{
    const VLMVector4 angles = V(0.3f, -1.1f, 2.5f, 0);
    for (std::uint32_t code = 1; code < 12; code += 2) {
        VLMVector4 odd, even;
        VLMEulerToQuat(VLMRotationOrder(code), odd, angles);
        VLMEulerToQuat(VLMRotationOrder(code - 1), even, angles);
        EXPECT_TRUE(SameBits(odd, even)) << code;
    }
}

TEST(EulerToQuat, WorkedExampleAndUnknownCodes)
{
    VLMVector4 q;
    VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, V(float(kPi / 2), 0, 0, 0));
    EXPECT_TRUE(Near(q, V(0.70710678f, 0, 0, 0.70710678f), 2e-6));
    VLMVector4 angles;
    VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, q);
    EXPECT_TRUE(Near(angles, V(float(kPi / 2), 0, 0, 0), 2e-5));

    // A code from a damaged file reads no table row: identity and zero angles.
    for (std::uint32_t code : {13u, 99u, 0xFFFFFFFFu}) {
        VLMEulerToQuat(VLMRotationOrder(code), q, V(1, 2, 3, 0));
        EXPECT_TRUE(SameBits(q, V(0, 0, 0, 1))) << code;
        VLMQuatToEuler(VLMRotationOrder(code), angles, V(0.5f, 0.5f, 0.5f, 0.5f));
        EXPECT_TRUE(SameBits(angles, V(0, 0, 0, 0))) << code;
    }
}

TEST(EulerToQuat, ByValueFormsAndTheSingleBranchesAgree)
{
    std::mt19937 rng(5u);
    for (std::uint32_t code = 0; code < std::uint32_t(VLM_ROTATION_ORDER_COUNT); ++code) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMVector4 angles = V(0.5f, -0.25f, 1.5f, 0);
        VLMVector4 a, b;
        VLMEulerToQuat(VLMRotationOrder(code), a, angles);
        VLMEulerToQuatByValue(b, angles, VLMRotationOrder(code));
        EXPECT_TRUE(SameBits(a, b)) << code;
        VLMQuatToEuler(VLMRotationOrder(code), a, q);
        VLMQuatToEulerByValue(b, q, VLMRotationOrder(code));
        EXPECT_TRUE(SameBits(a, b)) << code;
        if (code == VLM_ROTATION_EULER_XYZ) {
            VLMQuatToEulerXYZ(b, q);
            EXPECT_TRUE(SameBits(a, b));
        }
        if (code == VLM_ROTATION_SPHERIC_XYZ) {
            VLMQuatToSpheric(b, q);
            EXPECT_TRUE(SameBits(a, b));
        }
    }
    VLMVector4 inPlace = V(0.5f, -0.25f, 1.5f, 0);
    VLMVector4 expected;
    VLMEulerToQuat(VLM_ROTATION_EULER_ZXY, expected, inPlace);
    VLMEulerToQuat(VLM_ROTATION_EULER_ZXY, inPlace, inPlace);
    EXPECT_TRUE(SameBits(inPlace, expected));
}

// --- Quaternion to Euler angles ---------------------------------------------------

TEST(QuatToEuler, AnglesRebuildRandomRotationsForEveryEvenOrder)
{
    std::mt19937 rng(11u);
    for (std::uint32_t code = 0; code < 12; code += 2) {
        for (int n = 0; n < 2000; ++n) {
            const VLMVector4 q = RandomUnitQuat(rng);
            VLMVector4 angles, rebuilt;
            VLMQuatToEuler(VLMRotationOrder(code), angles, q);
            ASSERT_EQ(angles.w, 0.0f);
            VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
            // Inside the pole band the middle angle is rounded to +-pi/2 by up
            // to 0.002 rad; elsewhere only the kernels' errors remain.
            const bool pole = std::fabs((&angles.x)[kTriples[code / 2][1]]) == VLMConstant::HalfPi.x;
            ASSERT_TRUE(SameRotation(rebuilt, ToQuat(q), pole ? 1.5e-3 : 3e-5)) << "code " << code << " sample " << n;
        }
    }
}

TEST(QuatToEuler, CanonicalAnglesComeBack)
{
    std::mt19937 rng(12u);
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f);
    std::uniform_real_distribution<float> middle(-1.5f, 1.5f);
    for (std::uint32_t code = 0; code < 12; code += 2) {
        const int* t = kTriples[code / 2];
        for (int n = 0; n < 1000; ++n) {
            float lane[4] = {0, 0, 0, 0};
            lane[t[0]] = outer(rng);
            lane[t[1]] = middle(rng);
            lane[t[2]] = outer(rng);
            const VLMVector4 angles = V(lane[0], lane[1], lane[2], 0);
            VLMVector4 q, back;
            VLMEulerToQuat(VLMRotationOrder(code), q, angles);
            VLMQuatToEuler(VLMRotationOrder(code), back, q);
            ASSERT_TRUE(Near(back, angles, 1.5e-4)) << "code " << code << " sample " << n;
        }
    }
}

TEST(QuatToEuler, OddCodesGiveZeroAngles)
{
    const VLMVector4 q = V(0.1f, 0.7f, -0.1f, 0.7f);
    for (std::uint32_t code = 1; code < 12; code += 2) {
        VLMVector4 angles = V(9, 9, 9, 9);
        VLMQuatToEuler(VLMRotationOrder(code), angles, q);
        EXPECT_TRUE(SameBits(angles, V(0, 0, 0, 0))) << code;
    }
}

TEST(QuatToEuler, ExactNegativePoleOfXYZ)
{
    // A quarter turn of -pi/2 about y: g = -0.5 takes the pole branch.
    const float h = 0.70710678f;
    VLMVector4 angles;
    VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, V(0, -h, 0, h));
    EXPECT_EQ(angles.y, -VLMConstant::HalfPi.x);
    EXPECT_EQ(angles.z, 0.0f);
    EXPECT_NEAR(angles.x, 0.0f, 1e-6);
    EXPECT_EQ(angles.w, 0.0f);
}

// At and near both poles of every even order the middle angle is +-pi/2, one
// outer angle is 0 and the angles rebuild the rotation.
TEST(QuatToEuler, PolesOfEveryEvenOrderRebuildTheRotation)
{
    // The lane that stays 0 at the pole, by even code: z, x, y, y, z, x.
    const int zeroLane[6] = {2, 0, 1, 1, 2, 0};
    std::mt19937 rng(13u);
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f);
    const double offsets[] = {0.0, 1e-5, 3e-4, 1e-3, 1.9e-3};
    int poleCases = 0;
    for (std::uint32_t code = 0; code < 12; code += 2) {
        const int* t = kTriples[code / 2];
        for (int sign : {1, -1}) {
            for (double offset : offsets) {
                for (int n = 0; n < 200; ++n) {
                    float lane[4] = {0, 0, 0, 0};
                    lane[t[0]] = outer(rng);
                    lane[t[1]] = float(sign * (kPi / 2 - offset));
                    lane[t[2]] = outer(rng);
                    const VLMVector4 input = V(lane[0], lane[1], lane[2], 0);
                    const VLMVector4 q = ToVector(ReferenceEuler(code, input));

                    VLMVector4 angles, rebuilt;
                    VLMQuatToEuler(VLMRotationOrder(code), angles, q);
                    VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
                    ASSERT_TRUE(SameRotation(rebuilt, ToQuat(q), offset + 3e-5))
                        << "code " << code << " sign " << sign << " offset " << offset;

                    const float middle = (&angles.x)[t[1]];
                    if (std::fabs(middle) == VLMConstant::HalfPi.x) {
                        ++poleCases;
                        ASSERT_EQ(middle, sign * VLMConstant::HalfPi.x) << code;
                        ASSERT_EQ((&angles.x)[zeroLane[code / 2]], 0.0f) << code;
                    } else {
                        ASSERT_GT(offset, 1e-3) << "code " << code << ": a pole input left the pole branch";
                    }
                }
            }
        }
    }
    EXPECT_GT(poleCases, 6 * 2 * 4 * 200 - 100);
}

TEST(QuatToEuler, JustInsideThePoleLimitTheRegularBranchStillRebuilds)
{
    std::mt19937 rng(14u);
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f);
    for (std::uint32_t code = 0; code < 12; code += 2) {
        const int* t = kTriples[code / 2];
        for (double offset : {2.2e-3, 4e-3, 1e-2}) {
            for (int sign : {1, -1}) {
                float lane[4] = {0, 0, 0, 0};
                lane[t[0]] = outer(rng);
                lane[t[1]] = float(sign * (kPi / 2 - offset));
                lane[t[2]] = outer(rng);
                const VLMVector4 q = ToVector(ReferenceEuler(code, V(lane[0], lane[1], lane[2], 0)));
                VLMVector4 angles, rebuilt;
                VLMQuatToEuler(VLMRotationOrder(code), angles, q);
                EXPECT_NE(std::fabs((&angles.x)[t[1]]), VLMConstant::HalfPi.x);
                VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
                EXPECT_TRUE(SameRotation(rebuilt, ToQuat(q), 5e-4)) << "code " << code << " offset " << offset;
            }
        }
    }
}

// --- Spheric angles ----------------------------------------------------------------

TEST(Spheric, AnglesComeBackAndDoNotDependOnTheQuaternionSign)
{
    std::mt19937 rng(15u);
    std::uniform_real_distribution<float> twist(-3.0f, 3.0f);
    std::uniform_real_distribution<float> swing(-2.5f, 2.5f);
    for (int n = 0; n < 3000; ++n) {
        const VLMVector4 angles = V(twist(rng), swing(rng), swing(rng), 0);
        VLMVector4 q, back, backNegated;
        VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
        VLMQuatToEuler(VLM_ROTATION_SPHERIC_XYZ, back, q);
        ASSERT_TRUE(Near(back, angles, 1e-4)) << n;
        VLMQuatToSpheric(backNegated, VLMVector4Negate(q));
        ASSERT_TRUE(Near(backNegated, back, 1e-6)) << n;
    }
}

TEST(Spheric, BothSwingAnglesComeBackWhenOneIsSmall)
{
    // Just above the threshold k = 1e-6 the correction of the swing is small
    // but must still be computed accurately.
    for (float y : {-2.0f, -1.0f, 0.5f, 1.5f, 2.4f}) {
        for (float z : {-0.01f, -0.003f, -0.0015f, 0.0015f, 0.003f, 0.01f}) {
            for (bool swap : {false, true}) {
                const VLMVector4 angles = swap ? V(0.7f, z, y, 0) : V(0.7f, y, z, 0);
                VLMVector4 q, back;
                VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles);
                VLMQuatToSpheric(back, q);
                EXPECT_TRUE(Near(back, angles, 1e-4)) << y << " " << z << " " << swap;
            }
        }
    }
}

TEST(Spheric, SwingsNearAHalfTurnGiveNoNaN)
{
    std::mt19937 rng(18u);
    std::uniform_real_distribution<float> twist(-3.1f, 3.1f);
    std::uniform_real_distribution<float> swing(2.5f, 3.1416f);
    for (int n = 0; n < 20000; ++n) {
        const VLMVector4 angles = V(twist(rng), (n & 1 ? 1 : -1) * swing(rng), (n & 2 ? 1 : -1) * swing(rng), 0);
        const VLMVector4 single = V(0, n & 4 ? angles.y : 0, n & 4 ? 0 : angles.z, 0);
        for (const VLMVector4& a : {angles, single}) {
            VLMVector4 q, back;
            VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, a);
            VLMQuatToSpheric(back, q);
            ASSERT_FALSE(std::isnan(back.x) || std::isnan(back.y) || std::isnan(back.z)) << n;
        }
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
}

TEST(Spheric, TwistOfAHalfTurnAboutX)
{
    // w is 0: the twist is read as a half turn.
    VLMVector4 angles;
    VLMQuatToSpheric(angles, V(1, 0, 0, 0));
    EXPECT_NEAR(angles.x, kPi, 1e-6);
    EXPECT_NEAR(angles.y, 0.0, 1e-6);
    EXPECT_NEAR(angles.z, 0.0, 1e-6);
}

// --- Rotation definitions from Euler angles ------------------------------------------

TEST(RotationFromEuler, ZeroAnglesClearTheFlagAndStoreTheIdentity)
{
    VLMRotationPart part = FreshPart();
    part.flags = VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION | VLM_ROTFLAG_MIN_Z;
    VLMSetPreRotationFromEuler(&part, V(0, -0.0f, 0, 0), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_POST_ROTATION | VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.preRotation, V(0, 0, 0, 1)));  // the cosine polynomial is exactly 1 at 0
    VLMSetPostRotationFromEuler(&part, V(0, 0, 0, 0), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.postRotation, V(0, 0, 0, 1)));
    EXPECT_TRUE(SameBits(part.postAxes[0], V(1, 0, 0, 0)));
    EXPECT_TRUE(SameBits(part.postAxes[2], V(0, 0, 1, 0)));
}

TEST(RotationFromEuler, FlagFollowsTheAnglesAndTheQuaternionTheOrder)
{
    VLMRotationPart part = FreshPart();
    VLMSetPreRotationFromEuler(&part, V(0, 0, 0, 5), VLM_ROTATION_EULER_XYZ);  // the w lane counts for the flag
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_PRE_ROTATION));
    EXPECT_TRUE(Near(part.preRotation, V(0, 0, 0, 1), 2e-6));

    const VLMVector4 degrees = V(30, -45, 120, 0);
    const VLMVector4 radians = V(30 * 0.017453292f, -45 * 0.017453292f, 120 * 0.017453292f, 0);
    VLMSetPreRotationFromEuler(&part, degrees, VLM_ROTATION_EULER_ZYX);
    VLMVector4 expected;
    VLMEulerToQuat(VLM_ROTATION_EULER_ZYX, expected, radians);
    EXPECT_TRUE(SameBits(part.preRotation, expected));
    EXPECT_TRUE(SameRotation(part.preRotation, ReferenceEuler(VLM_ROTATION_EULER_ZYX, radians), 5e-6));

    VLMSetPostRotationFromEuler(&part, degrees, VLM_ROTATION_SPHERIC_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION));
    VLMRotationPart viaQuat = FreshPart();
    VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, expected, radians);
    VLMSetPostRotation(&viaQuat, expected);
    EXPECT_TRUE(SameBits(part.postRotation, viaQuat.postRotation));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(SameBits(part.postAxes[i], viaQuat.postAxes[i])) << i;
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
            // Stored values are used only when their flag is set.
            part.preRotation = RandomUnitQuat(rng);
            part.postRotation = VLMVector4Mul(RandomUnitQuat(rng), VLMVector4Splat(1.5f));  // normalised when used
            part.flags = (flags & 1 ? VLM_ROTFLAG_PRE_ROTATION : 0u) | (flags & 2 ? VLM_ROTFLAG_POST_ROTATION : 0u);
            const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);

            Quat want = ReferenceEuler(part.rotationOrder == 12 ? 12 : part.rotationOrder & ~1u, angles);
            if (flags & 1)
                want = Mul(ToQuat(part.preRotation), want);
            if (flags & 2)
                want = Mul(want, Normalized(Conj(ToQuat(part.postRotation))));
            VLMVector4 q;
            VLMNodeRotationFromEuler(&part, q, angles);
            ASSERT_TRUE(SameRotation(q, want, 1e-5)) << "flags " << flags << " order " << part.rotationOrder;
        }
    }
}

TEST(NodeRotation, EulerFromRotationInvertsFromEuler)
{
    std::mt19937 rng(17u);
    std::uniform_real_distribution<float> outer(-3.0f, 3.0f);
    std::uniform_real_distribution<float> middle(-1.45f, 1.45f);
    std::uniform_real_distribution<float> swing(-2.5f, 2.5f);
    for (std::uint32_t order : {0u, 2u, 4u, 6u, 8u, 10u, 12u}) {
        for (std::uint32_t flags = 0; flags < 4; ++flags) {
            for (int n = 0; n < 200; ++n) {
                VLMRotationPart part = FreshPart();
                part.rotationOrder = order;
                VLMSetPreRotation(&part, RandomUnitQuat(rng));
                VLMSetPostRotation(&part, RandomUnitQuat(rng));
                part.flags &= (flags & 1 ? VLM_ROTFLAG_PRE_ROTATION : 0u) | (flags & 2 ? VLM_ROTFLAG_POST_ROTATION : 0u);

                float lane[4] = {0, 0, 0, 0};
                if (order == VLM_ROTATION_SPHERIC_XYZ) {
                    lane[0] = outer(rng);
                    lane[1] = swing(rng);
                    lane[2] = swing(rng);
                } else {
                    const int* t = kTriples[order / 2];
                    lane[t[0]] = outer(rng);
                    lane[t[1]] = middle(rng);
                    lane[t[2]] = outer(rng);
                }
                const VLMVector4 angles = V(lane[0], lane[1], lane[2], 0);
                VLMVector4 q, back;
                VLMNodeRotationFromEuler(&part, q, angles);
                VLMNodeEulerFromRotation(&part, back, q);
                ASSERT_TRUE(Near(back, angles, 4e-4)) << "order " << order << " flags " << flags << " sample " << n;
            }
        }
    }
}

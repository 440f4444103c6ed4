#include "rig/vlm_constants.h"
#include "rig/vlm_kernels.h"
#include "rig/vlm_node_record.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_records.h"
#include "rig/vlm_rotation.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

using namespace mathtest;

const double kPi = 3.14159265358979323846;
const int kTriples[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

::testing::AssertionResult Near(const VLMVector4& got, const VLMVector4& want, double tolerance)
{
    if (MaxDiff(got, Wide(want)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ", " << got.w << ") vs ("
                                         << want.x << ", " << want.y << ", " << want.z << ", " << want.w << ")";
}

VLMRotationPart FreshPart()
{
    VLMRotationPart part;
    std::memset(&part, 0xCD, sizeof part);
    VLMRotationRecordInit(&part);
    return part;
}

D4 AxisQuat(int axis, double angle)
{
    D4 q{0, 0, 0, std::cos(angle / 2)};
    q[axis] = std::sin(angle / 2);
    return q;
}

VLMVector4 Narrow(const D4& q) { return V(float(q[0]), float(q[1]), float(q[2]), float(q[3])); }

// The rotation of angles (lane x about x ...) in an even code's order, or spheric.
D4 ReferenceEuler(std::uint32_t code, const VLMVector4& angles)
{
    const double lane[3] = {angles.x, angles.y, angles.z};
    if (code == VLM_ROTATION_SPHERIC_XYZ) {
        const D4 swing{0, std::sin(lane[1] / 2), std::sin(lane[2] / 2), std::cos(lane[1] / 2) * std::cos(lane[2] / 2)};
        return Normalized(Hamilton(swing, AxisQuat(0, lane[0])));
    }
    const int* t = kTriples[code / 2];
    return Hamilton(Hamilton(AxisQuat(t[2], lane[t[2]]), AxisQuat(t[1], lane[t[1]])), AxisQuat(t[0], lane[t[0]]));
}

// Angles in the range that an even code (or the spheric code) gives back:
// outer angles in (-pi, pi), the middle one inside (-pi/2, pi/2).
VLMVector4 CanonicalAngles(std::uint32_t code, std::mt19937& rng, float middleLimit = 1.5f)
{
    std::uniform_real_distribution<float> outer(-3.1f, 3.1f), middle(-middleLimit, middleLimit), swing(-2.5f, 2.5f);
    if (code == VLM_ROTATION_SPHERIC_XYZ)
        return V(outer(rng), swing(rng), swing(rng), 0);
    float lane[4] = {0, 0, 0, 0};
    const int* t = kTriples[code / 2];
    lane[t[0]] = outer(rng);
    lane[t[1]] = middle(rng);
    lane[t[2]] = outer(rng);
    return V(lane[0], lane[1], lane[2], 0);
}

}  // namespace

TEST(RotationRecord, ConstructAndTheIdentityFlagsOfTheLastValueStored)
{
    VLMRotationRecord record;
    std::memset(&record, 0xCD, sizeof record);
    EXPECT_EQ(VLMRotationRecordConstruct(&record), &record);
    VLMRotationRecord fresh{};
    fresh.part.preRotation.w = fresh.part.postRotation.w = 1.0f;
    EXPECT_EQ(std::memcmp(&record, &fresh, sizeof record), 0);

    // Bit 7 by float comparison with (0, 0, 0, 1): -0 counts as 0, NaN differs.
    VLMRotationPart part = FreshPart();
    part.flags = VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_MAX_Y | VLM_ROTFLAG_POST_ROTATION;
    const std::uint32_t others = part.flags;
    const struct {
        VLMVector4 q;
        bool set;
    } pre[] = {{V(0, 0, 0, -1), true},
               {V(-0.0f, 0, -0.0f, 1), false},
               {V(0.5f, 0.5f, 0.5f, 0.5f), true},
               {V(0, 0, 0, 1), false},
               {V(0, std::nanf(""), 0, 1), true}};
    for (const auto& c : pre) {
        VLMSetPreRotation(&part, c.q);
        EXPECT_EQ(part.flags, others | (c.set ? VLM_ROTFLAG_PRE_ROTATION : 0u)) << c.q.x << " " << c.q.w;
        EXPECT_TRUE(SameBits(part.preRotation, c.q));
    }
    VLMSetPostRotation(&part, V(-0.0f, -0.0f, 0, 1));
    EXPECT_EQ(part.flags & VLM_ROTFLAG_POST_ROTATION, 0u);
    VLMSetPostRotation(&part, V(0, 0, 0, 1));
    for (int i = 0; i < 3; ++i)  // exact for the identity
        EXPECT_TRUE(SameBits(part.postAxes[i], V(i == 0, i == 1, i == 2, 0)));

    // From Euler degrees: the flag follows the four angle lanes, the value the order.
    part.flags = VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION | VLM_ROTFLAG_MIN_Z;
    VLMSetPreRotationFromEuler(&part, V(0, -0.0f, 0, 0), VLM_ROTATION_EULER_XYZ);
    VLMSetPostRotationFromEuler(&part, V(0, 0, 0, 0), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_MIN_Z));
    EXPECT_TRUE(SameBits(part.preRotation, V(0, 0, 0, 1)));
    VLMSetPreRotationFromEuler(&part, V(0, 0, 0, 5), VLM_ROTATION_EULER_XYZ);
    EXPECT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_MIN_Z));
    const VLMVector4 radians = V(30 * 0.017453292f, -45 * 0.017453292f, 120 * 0.017453292f, 0);
    VLMRotationPart viaQuat = FreshPart();
    VLMVector4 q;
    VLMSetPreRotationFromEuler(&part, V(30, -45, 120, 0), VLM_ROTATION_EULER_ZYX);
    VLMSetPostRotationFromEuler(&part, V(30, -45, 120, 0), VLM_ROTATION_SPHERIC_XYZ);
    VLMSetPreRotation(&viaQuat, VLMEulerToQuat(VLM_ROTATION_EULER_ZYX, q, radians));
    VLMSetPostRotation(&viaQuat, VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, radians));
    EXPECT_EQ(std::memcmp(&part, &viaQuat, 5 * sizeof(VLMVector4)), 0);
}

TEST(RotationRecord, PostAxesAndPartCopy)
{
    VLMRotationPart part = FreshPart();
    std::mt19937 rng(99u);
    for (int n = 0; n < 200; ++n) {
        const VLMVector4 q = RandomUnitQuat(rng);
        VLMSetPostRotation(&part, q);
        ASSERT_EQ(part.flags, std::uint32_t(VLM_ROTFLAG_POST_ROTATION));
        ASSERT_TRUE(SameBits(part.postRotation, q));
        for (int i = 0; i < 3; ++i) {
            const D4 axis = Rotate(Wide(q), {double(i == 0), double(i == 1), double(i == 2), 0});
            ASSERT_LE(MaxDiff(part.postAxes[i], axis, 3), 2e-6) << "axis " << i;
            ASSERT_EQ(part.postAxes[i].w, 0.0f);
        }
    }
    // An argument inside the part itself is read before the part is written.
    part.preRotation = V(0, 0, 0.6f, 0.8f);
    VLMSetPostRotation(&part, part.preRotation);
    EXPECT_LE(MaxDiff(part.postAxes[0], {0.28, 0.96, 0, 0}), 1e-6);

    VLMRotationRecord source{};
    source.part = part;
    source.part.rotationOrder = VLM_ROTATION_EULER_ZYX;
    VLMSetFloat3At0(&source.part, -1, std::nanf(""), -3);
    VLMSetFloat3At3(&source.part, 1, 2, 3);
    source.part.flags = 0x1FFu;
    VLMRotationRecord destination;
    std::memset(&destination, 0xCD, sizeof destination);
    VLMRotationPartCopy(&destination.part, &source.part);
    EXPECT_EQ(std::memcmp(&destination.part, &source.part, sizeof(VLMRotationPart)), 0);
    EXPECT_EQ(B(destination.lead.x), 0xCDCDCDCDu) << "only the rotation part is copied";
    VLMRotationPartCopy(&destination.part, &destination.part);
    VLMRotationRecordCopy(&destination.part, &destination.part);
    EXPECT_EQ(std::memcmp(&destination.part, &source.part, sizeof(VLMRotationPart)), 0);
}

TEST(RotationLimits, ClampRaisesToTheMinimumThenLowersToTheMaximumAndLetsNaNThrough)
{
    VLMRotationPart part = FreshPart();
    VLMSetFloat3At0(&part, -1.0f, -2.0f, -3.0f);
    VLMSetFloat3At3(&part, 1.0f, 2.0f, 3.0f);
    const float nan = std::nanf("");
    const struct {
        std::uint32_t flags;
        VLMVector4 in, out;
    } cases[] = {
        {VLM_ROTFLAG_LIMITS, V(-5, 5, 0.5f, -9), V(-1, 2, 0.5f, -9)},
        {VLM_ROTFLAG_MAX_Y, V(-5, 5, 5, 7), V(-5, 2, 5, 7)},  // only lane y, only above its maximum
        {VLM_ROTFLAG_MAX_Y, V(-5, 1.5f, 5, 7), V(-5, 1.5f, 5, 7)},
        {VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_Z, V(-5, 5, 5, 0), V(-1, 5, 3, 0)},
        {VLM_ROTFLAG_ASSIGNED | VLM_ROTFLAG_PRE_ROTATION | VLM_ROTFLAG_POST_ROTATION, V(5, -5, 5, 5), V(5, -5, 5, 5)},
        {VLM_ROTFLAG_LIMITS, V(nan, 4, -nan, nan), V(nan, 2, -nan, nan)},
    };
    for (const auto& c : cases) {
        VLMVector4 out = c.in;
        part.flags = c.flags;
        EXPECT_TRUE(SameBits(VLMClampToRotationLimits(&part, out, out), c.out)) << c.flags;  // in place
    }
    // A minimum above the maximum: the maximum comes last and wins.
    VLMSetFloat3At0(&part, 2, 2, 2);
    part.flags = VLM_ROTFLAG_MIN_X | VLM_ROTFLAG_MAX_X;
    VLMVector4 out;
    EXPECT_TRUE(SameBits(VLMClampToRotationLimits(&part, V(0, 0, 0, 0), out), V(1, 0, 0, 0)));
}

TEST(EulerToQuat, EveryOrderIsItsAxisProductAndOddCodesTheirEvenCode)
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
            ASSERT_TRUE(Near(q, Narrow(ReferenceEuler(even, angles)), 5e-6)) << "code " << code;
            ASSERT_TRUE(SameBits(q, VLMEulerToQuat(VLMRotationOrder(even), q0, angles))) << "code " << code;
        }
        if (code < 12) {
            EXPECT_TRUE(
                std::equal(kTriples[code / 2], kTriples[code / 2] + 3, VLMRotationOrderAxes(VLMRotationOrder(code))));
        }
    }
    EXPECT_EQ(VLMRotationOrderAxes(VLM_ROTATION_SPHERIC_XYZ), nullptr);
}

TEST(EulerToQuat, ClosedFormsFollowTheirStatedOrder)
{
    std::mt19937 rng(8u);
    std::uniform_real_distribution<float> angle(-6.0f, 6.0f);
    for (int n = 0; n < 1000; ++n) {
        VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);
        if (n < 8)  // signed zeros among the half-angle sines
            angles = V(n & 1 ? -0.0f : 0.0f, n & 2 ? -0.0f : 0.25f, n & 4 ? -0.0f : -0.5f, 0);
        VLMVector4 s, c, q;
        VLMFastSinCos(VLMVector4Mul(angles, VLMConstant::Half), s, c);
        const VLMVector4 xyz = V(s.x * c.y * c.z - c.x * s.y * s.z, c.x * s.y * c.z + s.x * c.y * s.z,
                                 c.x * c.y * s.z - s.x * s.y * c.z, c.x * c.y * c.z + s.x * s.y * s.z);
        const VLMVector4 product =
            VLMQuatMultiply(VLMQuatMultiply(V(0, 0, s.z, c.z), V(0, s.y, 0, c.y)), V(s.x, 0, 0, c.x));
        ASSERT_TRUE(SameBits(VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, angles), xyz)) << n;
        ASSERT_TRUE(Near(q, product, 3e-7)) << n;
        const VLMVector4 spheric =
            VLMQuatNormalize(V(s.x * c.y * c.z, c.x * s.y + s.x * s.z, c.x * s.z - s.x * s.y, c.x * c.y * c.z));
        ASSERT_TRUE(SameBits(VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, angles), spheric)) << n;
    }
}

TEST(EulerConversions, WorkedExampleOtherFormsOddAndUnknownCodes)
{
    VLMVector4 q, angles;
    VLMEulerToQuat(VLM_ROTATION_EULER_XYZ, q, V(float(kPi / 2), 0, 0, 0));
    EXPECT_TRUE(Near(q, V(0.70710678f, 0, 0, 0.70710678f), 2e-6));
    EXPECT_TRUE(Near(VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, q), V(float(kPi / 2), 0, 0, 0), 2e-5));
    // Exactly at g = -0.5 (-pi/2 about y): the pole branch, z 0.
    VLMQuatToEuler(VLM_ROTATION_EULER_XYZ, angles, V(0, -0.70710678f, 0, 0.70710678f));
    EXPECT_EQ(angles.y, -VLMConstant::HalfPi.x);
    EXPECT_EQ(angles.z, 0.0f);
    EXPECT_NEAR(angles.x, 0.0f, 1e-6);

    std::mt19937 rng(5u);
    for (std::uint32_t code = 0; code < std::uint32_t(VLM_ROTATION_ORDER_COUNT); ++code) {
        const VLMVector4 unit = RandomUnitQuat(rng);
        VLMVector4 a, b;
        VLMEulerToQuat(VLMRotationOrder(code), a, V(0.5f, -0.25f, 1.5f, 0));
        EXPECT_TRUE(SameBits(VLMEulerToQuatByValue(b, V(0.5f, -0.25f, 1.5f, 0), VLMRotationOrder(code)), a)) << code;
        VLMQuatToEuler(VLMRotationOrder(code), a, unit);
        EXPECT_TRUE(SameBits(VLMQuatToEulerByValue(b, unit, VLMRotationOrder(code)), a)) << code;
        if (code == VLM_ROTATION_EULER_XYZ) {
            EXPECT_TRUE(SameBits(VLMQuatToEulerXYZ(b, unit), a));
        }
        if (code == VLM_ROTATION_SPHERIC_XYZ) {
            EXPECT_TRUE(SameBits(VLMQuatToSpheric(b, unit), a));
        }
        if (code % 2 == 1 && code < 12) {  // repeated-axis codes read no angles
            EXPECT_TRUE(SameBits(a, V(0, 0, 0, 0))) << code;
        }
    }
    // A code from a damaged file reads no table row: identity and zero angles.
    for (std::uint32_t code : {13u, 99u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(SameBits(VLMEulerToQuat(VLMRotationOrder(code), q, V(1, 2, 3, 0)), V(0, 0, 0, 1))) << code;
        EXPECT_TRUE(SameBits(VLMQuatToEuler(VLMRotationOrder(code), angles, V(0.5f, 0.5f, 0.5f, 0.5f)), V(0, 0, 0, 0)));
        EXPECT_EQ(VLMRotationOrderAxes(VLMRotationOrder(code)), nullptr);
    }
}

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
            ASSERT_TRUE(SameRotation(rebuilt, Wide(q), pole ? 1.5e-3 : 3e-5)) << "code " << code << " #" << n;

            const VLMVector4 canonical = CanonicalAngles(code, rng);
            VLMVector4 back;
            VLMEulerToQuat(VLMRotationOrder(code), rebuilt, canonical);
            ASSERT_TRUE(Near(VLMQuatToEuler(VLMRotationOrder(code), back, rebuilt), canonical, 1.5e-4))
                << "code " << code << " #" << n;
        }
    }
}

// At and near both poles of every even order: inside the band the middle angle
// is +-pi/2 and the named outer angle 0; on either side of the band's edge the
// angles rebuild the rotation.
TEST(QuatToEuler, PolesOfEveryEvenOrderRebuildTheRotation)
{
    const int zeroLane[6] = {2, 0, 1, 1, 2, 0};  // z, x, y, y, z, x
    const double bandEdge = 2e-3;                // pi/2 - asin(2 x 0.499999) is about 0.0020
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
                    const D4 q = ReferenceEuler(code, V(lane[0], lane[1], lane[2], 0));
                    VLMVector4 angles, rebuilt;
                    VLMQuatToEuler(VLMRotationOrder(code), angles, Narrow(q));
                    VLMEulerToQuat(VLMRotationOrder(code), rebuilt, angles);
                    const bool inside = offset < bandEdge;
                    ASSERT_TRUE(SameRotation(rebuilt, q, inside ? offset + 3e-5 : 5e-4))
                        << "code " << code << " sign " << sign << " offset " << offset;
                    if (offset < 1.9e-3 || !inside) {  // 1.9e-3 lies too close to the edge to tell
                        ASSERT_EQ(Lane(angles, t[1]) == sign * VLMConstant::HalfPi.x, inside) << code << " " << offset;
                        if (inside) {
                            ASSERT_EQ(Lane(angles, zeroLane[code / 2]), 0.0f) << code;
                        }
                    }
                }
            }
        }
    }
}

TEST(Spheric, AnglesComeBackWhateverTheQuaternionSign)
{
    // Clamping the swing factor to [0, 1] would pin it at 1 and break this.
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
        ASSERT_TRUE(Near(VLMQuatToEuler(VLM_ROTATION_SPHERIC_XYZ, back, q), angles, 1e-4)) << n;
        ASSERT_TRUE(Near(VLMQuatToSpheric(backNegated, VLMVector4Negate(q)), back, 1e-6)) << n;
    }
}

TEST(Spheric, HalfTurnsGiveNoNaN)
{
    VLMVector4 angles;
    EXPECT_TRUE(
        Near(VLMQuatToSpheric(angles, V(1, 0, 0, 0)), V(float(kPi), 0, 0, 0), 1e-6));  // w 0: the twist is a half turn

    std::mt19937 rng(18u);
    std::uniform_real_distribution<float> twist(-3.1f, 3.1f), swing(2.5f, 3.1416f);
    for (int n = 0; n < 20000; ++n) {
        VLMVector4 a = V(twist(rng), (n & 1 ? 1 : -1) * swing(rng), (n & 2 ? 1 : -1) * swing(rng), 0);
        if (n & 4)
            (n & 8 ? a.y : a.z) = 0;
        VLMVector4 q, back;
        VLMQuatToSpheric(back, VLMEulerToQuat(VLM_ROTATION_SPHERIC_XYZ, q, a));
        ASSERT_FALSE(std::isnan(back.x) || std::isnan(back.y) || std::isnan(back.z)) << n;
    }
}

TEST(NodeRotation, FromEulerIsPreTimesEulerTimesInversePostAndEulerFromRotationInvertsIt)
{
    std::mt19937 rng(16u);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    for (std::uint32_t flags = 0; flags < 4; ++flags) {
        for (int n = 0; n < 400; ++n) {
            VLMRotationPart part = FreshPart();
            part.rotationOrder = std::uint32_t(n % 13);
            // Stored values count only when their flag is set; post is normalised when used.
            part.preRotation = RandomUnitQuat(rng);
            part.postRotation = VLMVector4Mul(RandomUnitQuat(rng), VLMVector4Splat(1.5f));
            part.flags = (flags & 1 ? VLM_ROTFLAG_PRE_ROTATION : 0u) | (flags & 2 ? VLM_ROTFLAG_POST_ROTATION : 0u);
            const VLMVector4 angles = V(angle(rng), angle(rng), angle(rng), 0);
            D4 want = ReferenceEuler(part.rotationOrder == 12 ? 12 : part.rotationOrder & ~1u, angles);
            if (flags & 1)
                want = Hamilton(Wide(part.preRotation), want);
            if (flags & 2)
                want = Hamilton(want, Conj(Normalized(Wide(part.postRotation))));
            VLMVector4 q;
            ASSERT_TRUE(SameRotation(VLMNodeRotationFromEuler(&part, q, angles), want, 1e-5))
                << "flags " << flags << " order " << part.rotationOrder;

            if (part.rotationOrder % 2 == 1 && part.rotationOrder < 12)
                continue;  // repeated-axis codes read no angles back
            VLMSetPostRotation(&part, RandomUnitQuat(rng));
            part.flags &= flags & 2 ? ~0u : ~VLM_ROTFLAG_POST_ROTATION;
            const VLMVector4 canonical = CanonicalAngles(part.rotationOrder, rng, 1.45f);
            VLMVector4 back;
            VLMNodeRotationFromEuler(&part, q, canonical);
            ASSERT_TRUE(Near(VLMNodeEulerFromRotation(&part, back, q), canonical, 4e-4))
                << "order " << part.rotationOrder << " flags " << flags << " #" << n;
        }
    }
}

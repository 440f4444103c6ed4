#include "vlm_records.h"
#include "vlm_rotation.h"

#include <gtest/gtest.h>

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
    std::memset(&part, 0, sizeof part);
    part.preRotation = V(0, 0, 0, 1);
    part.postRotation = V(0, 0, 0, 1);
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
    EXPECT_EQ(VLMRotationOrderAxes(VLM_SPHERIC_XYZ), nullptr);
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
    s.rotationOrder = VLM_EULER_ZYX;
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

// Quaternion, matrix and transform conversions against plain double-precision
// references on random input, plus the branch and edge cases of the
// conversions.
#include "vlm_frame.h"
#include "vlm_quat.h"
#include "vlm_quat_utils.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace mathtest;

namespace {

const float kNaN = std::nanf("");

// The product kernel transcribed lane by lane in float: conj(a b) from the
// permuted products, subtracted left to right.
VLMVector4 RefProductConjugated(const VLMVector4& a, const VLMVector4& b)
{
    const float tx = b.z * a.x - a.w * b.y - a.y * b.w - b.x * a.z;
    const float ty = b.x * a.y - a.z * b.w - a.x * b.y - b.z * a.w;
    const float tz = b.y * a.z - a.y * b.z - a.w * b.x - b.w * a.x;
    const float tw = b.w * a.w - a.x * b.x - a.z * b.z - b.y * a.y;
    return V(tz, tx, ty, tw);
}

VLMVector4 FlipXYZ(const VLMVector4& v) { return V(-v.x, -v.y, -v.z, v.w); }

TEST(QuatProduct, HamiltonAgainstDoubleAndTheKernelSubtractionOrder)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(101);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 a = RandomVector(rng, 3, std::uniform_real_distribution<float>(-3, 3)(rng));
        const VLMVector4 b = RandomVector(rng, 3, std::uniform_real_distribution<float>(-3, 3)(rng));
        const VLMVector4 p = VLMQuatMultiply(a, b);
        ASSERT_LE(MaxDiff(p, Hamilton(Wide(a), Wide(b))), 1e-5);
        ASSERT_TRUE(SameBits(p, FlipXYZ(RefProductConjugated(a, b))));
        ASSERT_TRUE(SameBits(VLMQuatMulConjugated(a, b), RefProductConjugated(a, b)));
        ASSERT_TRUE(SameBits(VLMQuatConjugateMul(a, b), FlipXYZ(RefProductConjugated(FlipXYZ(a), b))));
        ASSERT_LE(MaxDiff(VLMQuatConjugateMul(a, b), Hamilton(Conj(Wide(a)), Wide(b))), 1e-5);
        ASSERT_LE(MaxDiff(VLMQuatMulConjugated(a, b), Conj(Hamilton(Wide(a), Wide(b)))), 1e-5);
    }
    // The object form may write over an operand.
    VLMVector4 a = V(1, 2, 3, 4);
    const VLMVector4 b = V(-1, 0.5f, 2, 1);
    const VLMVector4 want = VLMQuatMultiply(a, b);
    EXPECT_TRUE(SameBits(VLMQuatMultiply(a, a, b), want));
    EXPECT_TRUE(SameBits(a, want));
}

TEST(QuatProduct, RightFactorActsFirst)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(102);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 a = RandomUnitQuat(rng), b = RandomUnitQuat(rng);
        const VLMVector4 v = RandomVector(rng, 10, 0);
        const VLMVector4 composed = VLMQuatRotate(VLMQuatMultiply(a, b), v);
        const VLMVector4 stepwise = VLMQuatRotate(a, VLMQuatRotate(b, v));
        ASSERT_LE(MaxDiff(composed, Wide(stepwise), 3), 2e-5);
    }
    // A quarter turn about z then one about x: x axis -> y axis -> z axis.
    const float h = 0.70710678f;
    const VLMVector4 qz = V(0, 0, h, h), qx = V(h, 0, 0, h);
    EXPECT_LE(MaxDiff(VLMQuatRotate(VLMQuatMultiply(qx, qz), V(1, 0, 0, 0)), {0, 0, 1, 0}), 1e-6);
    EXPECT_TRUE(SameRotation(VLMQuatConjugateMul(V(0.6f, 0, 0, 0.8f), V(0.6f, 0, 0, 0.8f)), {0, 0, 0, 1}, 1e-6));
}

TEST(QuatRotate, MatchesQVQStarAndPassesW)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(103);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMVector4 v = RandomVector(rng, 10, std::uniform_real_distribution<float>(-5, 5)(rng));
        const VLMVector4 r = VLMQuatRotate(q, v);
        ASSERT_LE(MaxDiff(r, Rotate(Wide(q), Wide(v)), 3), 3e-5);
        ASSERT_EQ(B(r.w), B(v.w));
    }
    // Not normalised first: a quaternion of length 2 scales by its square... in the
    // formula's own way; the w lane still passes unchanged, NaN included.
    const VLMVector4 r = VLMQuatRotate(V(0, 0, 0, 1), V(1, 2, 3, kNaN));
    EXPECT_EQ(r.x, 1.0f);
    EXPECT_EQ(r.y, 2.0f);
    EXPECT_EQ(r.z, 3.0f);
    EXPECT_TRUE(std::isnan(r.w));
}

} // namespace

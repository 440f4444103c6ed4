// Quaternion, matrix and transform conversions against plain double-precision
// references on random input, plus the branch and edge cases of the
// conversions.
#include "vlm_frame.h"
#include "vlm_quat.h"
#include "vlm_quat_utils.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

// ---------------------------------------------------------------------------
// Quaternion to rotation rows and back

// Rows of q in float, in the kernel's order: 2 (c q + P(h) signs).
VLMMatrix44 RefRows(const VLMVector4& q)
{
    const float hx = q.w * q.x, hy = q.w * q.y, hz = q.w * q.z, hw = q.w * q.w - 0.5f;
    const auto twice = [](float v) { return v + v; };
    VLMMatrix44 m;
    m.r[0] = V(twice(q.x * q.x + hw), twice(q.x * q.y + hz), twice(q.x * q.z + hy * -1.0f),
               twice(q.x * q.w + hx * -1.0f));
    m.r[1] = V(twice(q.y * q.x + hz * -1.0f), twice(q.y * q.y + hw), twice(q.y * q.z + hx),
               twice(q.y * q.w + hy * -1.0f));
    m.r[2] = V(twice(q.z * q.x + hy), twice(q.z * q.y + hx * -1.0f), twice(q.z * q.z + hw),
               twice(q.z * q.w + hz * -1.0f));
    m.r[3] = V(0, 0, 0, 1);
    return m;
}

// The branch rule in float: the unnormalised quaternion of three rows.
VLMVector4 RefRowsToQuatRaw(const VLMMatrix44& m, int* branch = nullptr)
{
    const auto at = [&](int i, int j) { return Lane(m.r[i], j); };
    int b;
    VLMVector4 q;
    if (0.0f <= at(0, 0)) {
        if (0.0f <= at(1, 1) + at(2, 2)) {
            b = 0;
            q = V(at(1, 2) - at(2, 1), at(2, 0) - at(0, 2), at(0, 1) - at(1, 0), 1.0f + at(0, 0) + at(1, 1) + at(2, 2));
        } else {
            b = 1;
            q = V(1.0f + at(0, 0) - at(1, 1) - at(2, 2), at(0, 1) + at(1, 0), at(0, 2) + at(2, 0), at(1, 2) - at(2, 1));
        }
    } else if (0.0f <= at(1, 1) - at(2, 2)) {
        b = 2;
        q = V(at(0, 1) + at(1, 0), 1.0f - at(0, 0) + at(1, 1) - at(2, 2), at(1, 2) + at(2, 1), at(2, 0) - at(0, 2));
    } else {
        b = 3;
        q = V(at(0, 2) + at(2, 0), at(1, 2) + at(2, 1), 1.0f - at(0, 0) - at(1, 1) + at(2, 2), at(0, 1) - at(1, 0));
    }
    if (branch)
        *branch = b;
    return q;
}

TEST(QuatToMatrix, RowsAreTheRotatedAxes)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(111);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMMatrix44 m = VLMQuatToMatrix44(q);
        const VLMMatrix44 ref = RefRows(q);
        for (int r = 0; r < 4; ++r)
            ASSERT_TRUE(SameBits(m.r[r], ref.r[r])) << "row " << r;
        const D4 axes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
        for (int r = 0; r < 3; ++r)
            ASSERT_LE(MaxDiff(m.r[r], Rotate(Wide(q), axes[r])), 2e-6);
    }
    const VLMMatrix44 id = VLMQuatToMatrix44(V(0, 0, 0, 1));
    EXPECT_TRUE(SameBits(id.r[0], V(1, 0, 0, 0)));
    EXPECT_TRUE(SameBits(id.r[1], V(0, 1, 0, 0)));
    EXPECT_TRUE(SameBits(id.r[2], V(0, 0, 1, 0)));
    EXPECT_TRUE(SameBits(id.r[3], V(0, 0, 0, 1)));
    const VLMMatrix44 zero = VLMQuatToMatrix44(V(0, 0, 0, 0));
    EXPECT_LE(MaxDiff(zero.r[0], {-1, 0, 0, 0}), 0.0);
    EXPECT_LE(MaxDiff(zero.r[1], {0, -1, 0, 0}), 0.0);
    EXPECT_LE(MaxDiff(zero.r[2], {0, 0, -1, 0}), 0.0);
    // Not normalised: the diagonal comes from w w - 0.5.
    const VLMMatrix44 twice = VLMQuatToMatrix44(V(0, 0, 0, 2));
    EXPECT_EQ(twice.r[0].x, 7.0f);
}

TEST(QuatFromRows, BranchRuleAndHalfTurns)
{
    VLMScopedFPGuard guard;
    const auto rows = [](VLMVector4 a, VLMVector4 b, VLMVector4 c) { return VLMQuatFromRotationRows(a, b, c); };
    EXPECT_TRUE(SameBits(rows(V(1, 0, 0, 0), V(0, 1, 0, 0), V(0, 0, 1, 0)), V(0, 0, 0, 1)));
    EXPECT_LE(MaxDiff(rows(V(1, 0, 0, 0), V(0, -1, 0, 0), V(0, 0, -1, 0)), {1, 0, 0, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(-1, 0, 0, 0), V(0, 1, 0, 0), V(0, 0, -1, 0)), {0, 1, 0, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(-1, 0, 0, 0), V(0, -1, 0, 0), V(0, 0, 1, 0)), {0, 0, 1, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(0, 1, 0, 0), V(-1, 0, 0, 0), V(0, 0, 1, 0)), {0, 0, 0.70710678, 0.70710678}), 1e-6);

    // On rows that are not a rotation the alternatives differ, which shows
    // which one a sign takes: -0 counts as non-negative, NaN as negative.
    const VLMVector4 r1 = V(0.2f, 0.5f, 0.4f, 0), r2 = V(0.7f, 0.6f, 0.25f, 0);
    const VLMVector4 negZero = rows(V(-0.0f, 0.3f, 0.1f, 0), r1, r2);
    EXPECT_TRUE(SameBits(negZero, VLMQuatNormalize(V(0.4f - 0.6f, 0.7f - 0.1f, 0.3f - 0.2f, 1.0f + -0.0f + 0.5f + 0.25f))));
    EXPECT_TRUE(SameBits(rows(V(0.5f, 0.3f, 0.1f, 0), V(0.2f, -0.5f, 0.4f, 0), V(0.7f, 0.6f, 0.4f, 0)),
                         VLMQuatNormalize(V(1.0f + 0.5f - -0.5f - 0.4f, 0.3f + 0.2f, 0.1f + 0.7f, 0.4f - 0.6f))));
    EXPECT_TRUE(SameBits(rows(V(0.5f, 0.3f, 0.1f, 0), V(0.2f, -0.5f, 0.4f, 0), V(0.7f, 0.6f, 0.5f, 0)),
                         VLMQuatNormalize(V(0.4f - 0.6f, 0.7f - 0.1f, 0.3f - 0.2f, 1.0f + 0.5f + -0.5f + 0.5f))));
    const VLMVector4 nan = rows(V(kNaN, 0.3f, 0.1f, 0), r1, r2);  // a NaN row poisons every lane
    EXPECT_TRUE(std::isnan(nan.x) && std::isnan(nan.y) && std::isnan(nan.z) && std::isnan(nan.w));

    // Random rows, rotations or not, in all four alternatives.
    std::mt19937 rng(112);
    int seen[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4000; ++i) {
        VLMMatrix44 m;
        for (int r = 0; r < 3; ++r)
            m.r[r] = RandomVector(rng, 1, 0);
        int branch;
        const VLMVector4 raw = RefRowsToQuatRaw(m, &branch);
        ++seen[branch];
        ASSERT_TRUE(SameBits(rows(m.r[0], m.r[1], m.r[2]), VLMQuatNormalize(raw)));
    }
    for (int b = 0; b < 4; ++b)
        EXPECT_GT(seen[b], 100) << "alternative " << b;
}

TEST(QuatFromRows, RoundTripFromRandomRotationsInEveryBranch)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(113);
    int seen[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMMatrix44 m = VLMQuatToMatrix44(q);
        int branch;
        RefRowsToQuatRaw(m, &branch);
        ++seen[branch];
        const VLMVector4 back = VLMQuatFromRotationRows(m.r[0], m.r[1], m.r[2]);
        ASSERT_TRUE(SameRotation(back, Wide(q), 4e-6));
        // The pivot component comes out positive: the sign is fixed by the matrix.
        ASSERT_GT(Lane(back, branch == 0 ? 3 : branch - 1), 0.0f);
    }
    for (int b = 0; b < 4; ++b)
        EXPECT_GT(seen[b], 400) << "alternative " << b;
}

// ---------------------------------------------------------------------------
// Transforms and matrices

TEST(QuatTQS, MatrixMapsPointsAndDecomposesBack)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(121);
    std::uniform_real_distribution<float> scale(0.1f, 10.0f);
    for (int i = 0; i < 2000; ++i) {
        const VLMVector4 t = RandomVector(rng, 100, 0);
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMVector4 s = V(scale(rng), scale(rng), scale(rng), 1);
        const VLMMatrix44 m = VLMTQSToMatrix44Normalized(t, q, s);
        // p -> T + rot(Q, S p).
        const VLMVector4 p = RandomVector(rng, 5, 1);
        const D4 sp = {double(s.x) * p.x, double(s.y) * p.y, double(s.z) * p.z, 0};
        const D4 rotated = Rotate(Wide(q), sp);
        const D4 want = {rotated[0] + t.x, rotated[1] + t.y, rotated[2] + t.z, 1};
        VLMVector4 mapped = VLMVector4Add(VLMVector4Add(VLMVector4Mul(m.r[0], S(p.x)), VLMVector4Mul(m.r[1], S(p.y))),
                                          VLMVector4Add(VLMVector4Mul(m.r[2], S(p.z)), m.r[3]));
        ASSERT_LE(MaxDiff(mapped, want), 3e-4);

        VLMVector4 t2, q2, s2;
        VLMMatrix44ToTQS(t2, q2, s2, m);
        ASSERT_LE(MaxDiff(t2, Wide(t)), 0.0);
        ASSERT_EQ(B(t2.w), 0u);
        ASSERT_EQ(s2.w, 1.0f);
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(Lane(s2, k) / Lane(s, k), 1.0, 2e-6);
        ASSERT_TRUE(SameRotation(q2, Wide(q), 5e-6));

        // Unaligned and double forms agree with the aligned one.
        alignas(16) float buffer[17];
        std::memcpy(buffer + 1, &m, sizeof m);
        VLMVector4 tu, qu, su;
        VLMMatrix44UnalignedToTQS(tu, qu, su, buffer + 1);
        ASSERT_TRUE(SameBits(tu, t2) && SameBits(qu, q2) && SameBits(su, s2));
        double wide[16];
        VLMMatrix44ToDoubles(wide, m);
        VLMVector4 td, qd, sd;
        VLMMatrix44DoubleToTQS(td, qd, sd, wide);
        ASSERT_TRUE(SameBits(td, t2) && SameBits(qd, q2) && SameBits(sd, s2));
    }
}

TEST(QuatTQS, EdgeFormsAndNegativeScale)
{
    VLMScopedFPGuard guard;
    // Not normalised: a quaternion of length 2 changes the diagonal.
    const VLMMatrix44 raw = VLMTQSToMatrix44(V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    EXPECT_TRUE(SameBits(raw.r[0], V(7, 0, 0, 0)));
    EXPECT_TRUE(SameBits(raw.r[1], V(0, 14, 0, 0)));
    EXPECT_TRUE(SameBits(raw.r[3], V(1, 2, 3, 1)));
    const VLMMatrix44 normalized = VLMTQSToMatrix44Normalized(V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    EXPECT_LE(MaxDiff(normalized.r[1], {0, 2, 0, 0}), 1e-6);

    // A negative scale lane comes back positive; translation w is cleared.
    const VLMMatrix44 mirrored = VLMTQSToMatrix44(V(4, 5, 6, 9), V(0, 0, 0, 1), V(-2, 1, 1, 1));
    VLMVector4 t, q, s;
    VLMMatrix44ToTQS(t, q, s, mirrored);
    EXPECT_TRUE(SameBits(s, V(2, 1, 1, 1)));
    EXPECT_TRUE(SameBits(t, V(4, 5, 6, 0)));
    EXPECT_TRUE(SameBits(VLMMatrix44RowLengths(mirrored), V(2, 1, 1, 1)));

    double wide[16];
    VLMTQSToMatrix44Double(wide, V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(wide[i], static_cast<double>(Lane(normalized.r[i / 4], i % 4)));
    double four[4];
    VLMVector4ToDoubles(four, V(0.1f, -2, 3e38f, kNaN));
    EXPECT_EQ(four[0], static_cast<double>(0.1f));
    EXPECT_EQ(four[2], static_cast<double>(3e38f));
    EXPECT_TRUE(std::isnan(four[3]));
}

TEST(QuatMatrixMultiply, AppliesTheRightOperandFirstInTheLibraryOrder)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(122);
    int orders_differ = 0;
    for (int i = 0; i < 1000; ++i) {
        VLMMatrix44 a, b;
        for (int r = 0; r < 4; ++r) {
            a.r[r] = RandomVector(rng, 100, std::uniform_real_distribution<float>(-3, 3)(rng));
            b.r[r] = RandomVector(rng, 0.01f, std::uniform_real_distribution<float>(-3, 3)(rng));
        }
        const VLMMatrix44 m = VLMMatrix44Multiply(a, b);
        for (int r = 0; r < 4; ++r) {
            const VLMVector4& v = b.r[r];
            for (int k = 0; k < 4; ++k) {
                const float want = ((Lane(a.r[1], k) * v.y + Lane(a.r[0], k) * v.x) + Lane(a.r[2], k) * v.z) +
                                   Lane(a.r[3], k) * v.w;
                ASSERT_EQ(B(Lane(m.r[r], k)), B(want));
                const float pairwise = (Lane(a.r[0], k) * v.x + Lane(a.r[1], k) * v.y) +
                                       (Lane(a.r[2], k) * v.z + Lane(a.r[3], k) * v.w);
                orders_differ += B(pairwise) != B(want);
            }
        }
    }
    EXPECT_GT(orders_differ, 0) << "the sample does not tell the summation orders apart";

    // Transforms: a point goes through B first, then A.
    const VLMMatrix44 b = VLMTQSToMatrix44(V(1, 0, 0, 0), V(0, 0, 0.70710678f, 0.70710678f), V(1, 1, 1, 1));
    const VLMMatrix44 a = VLMTQSToMatrix44(V(0, 0, 5, 0), V(0, 0, 0, 1), V(2, 2, 2, 1));
    const VLMMatrix44 ab = VLMMatrix44Multiply(a, b);
    const VLMVector4 p = VLMMatrix44MulVector(ab, V(1, 0, 0, 1));  // B: (1, 1, 0); A: (2, 2, 5)
    EXPECT_LE(MaxDiff(p, {2, 2, 5, 1}), 1e-6);
    VLMMatrix44 inPlace = a;
    VLMMatrix44Multiply(inPlace, inPlace, b);
    for (int r = 0; r < 4; ++r)
        EXPECT_TRUE(SameBits(inPlace.r[r], ab.r[r]));
}

TEST(QuatNlerp, SignCorrectedNormalisedBlend)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(131);
    for (int i = 0; i < 500; ++i) {
        const VLMVector4 a = RandomUnitQuat(rng), b = RandomUnitQuat(rng);
        const float t = std::uniform_real_distribution<float>(0, 1)(rng);
        const VLMVector4 r = VLMQuatNlerp(a, b, S(t));
        const D4 da = Wide(a), db = Wide(b);
        const double sign = da[0] * db[0] + da[1] * db[1] + da[2] * db[2] + da[3] * db[3] < 0 ? -1 : 1;
        D4 blend;
        for (int k = 0; k < 4; ++k)
            blend[k] = da[k] + t * (sign * db[k] - da[k]);
        ASSERT_LE(MaxDiff(r, Normalized(blend)), 2e-5);
        // a against -a gives a for every t.
        ASSERT_LE(MaxDiff(VLMQuatNlerp(a, VLMVector4Negate(a), S(t)), da), 2e-6);
    }
    const VLMVector4 a = V(0.5f, 0.5f, 0.5f, 0.5f), b = V(0, 0.6f, 0, 0.8f);
    EXPECT_TRUE(SameBits(VLMQuatNlerp(a, b, S(0.0f)), VLMQuatNormalize(a)));
    EXPECT_LE(MaxDiff(VLMQuatNlerp(a, b, S(1.0f)), Wide(b)), 1e-6);
    // d = -0 has its sign bit set: b is flipped.
    const VLMVector4 c = V(1, 1, -0.0f, -0.0f), d = V(-0.0f, -0.0f, 1, 1);
    EXPECT_LE(MaxDiff(VLMQuatNlerp(c, d, S(1.0f)), {0, 0, -0.70710678, -0.70710678}), 1e-6);
    // Weights act lane by lane.
    const VLMVector4 lanes = VLMQuatNlerp(V(0, 0, 0, 1), V(1, 0, 0, 0), V(1, 0, 0, 1));
    EXPECT_LE(MaxDiff(lanes, {1, 0, 0, 0}), 1e-6);
}

TEST(QuatScaleThroughRotation, StretchAlongTheRotatedAxes)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(141);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMVector4 s = V(std::uniform_real_distribution<float>(-3, 3)(rng),
                               std::uniform_real_distribution<float>(-3, 3)(rng),
                               std::uniform_real_distribution<float>(-3, 3)(rng), 1);
        const VLMVector4 r = VLMScaleThroughRotation(q, s);
        const D4 axes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
        D4 want = {0, 0, 0, 1};
        for (int k = 0; k < 3; ++k) {
            const D4 axis = Rotate(Wide(q), axes[k]);
            want[k] = std::sqrt(std::pow(s.x * axis[0], 2) + std::pow(s.y * axis[1], 2) + std::pow(s.z * axis[2], 2));
        }
        ASSERT_LE(MaxDiff(r, want), 2e-5);
        ASSERT_EQ(r.w, 1.0f);
    }
    EXPECT_TRUE(SameBits(VLMScaleThroughRotation(V(0, 0, 0, 1), V(-2, 3, 0.5f, 7)), V(2, 3, 0.5f, 1)));
}

TEST(QuatTQS4, PackAndUnpackAreLaneTransposes)
{
    VLMVector4 tr[3] = {V(1, 2, 3, 4), V(5, 6, 7, 8), V(9, 10, 11, 12)};
    VLMVector4 ro[4] = {V(13, 14, 15, 16), V(17, 18, 19, 20), V(21, 22, 23, 24), V(25, 26, 27, 28)};
    VLMVector4 sc[3] = {V(29, 30, 31, 32), V(33, 34, 35, 36), V(37, 38, 39, 40)};
    VLMVector4 t[4], q[4], s[4];
    VLMTQS4Unpack(t[0], q[0], s[0], t[1], q[1], s[1], t[2], q[2], s[2], t[3], q[3], s[3], tr, ro, sc);
    for (int k = 0; k < 4; ++k) {
        const float f = static_cast<float>(k + 1);
        EXPECT_TRUE(SameBits(t[k], V(f, f + 4, f + 8, 0)));
        EXPECT_TRUE(SameBits(q[k], V(f + 12, f + 16, f + 20, f + 24)));
        EXPECT_TRUE(SameBits(s[k], V(f + 28, f + 32, f + 36, 1)));
    }
    t[2].w = 99.0f;  // dropped on the way back
    s[1].w = -5.0f;
    VLMVector4 tr2[3], ro2[4], sc2[3];
    VLMTQS4Pack(tr2, ro2, sc2, t[0], q[0], s[0], t[1], q[1], s[1], t[2], q[2], s[2], t[3], q[3], s[3]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameBits(tr2[i], tr[i]));
        EXPECT_TRUE(SameBits(sc2[i], sc[i]));
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(SameBits(ro2[i], ro[i]));
}

} // namespace

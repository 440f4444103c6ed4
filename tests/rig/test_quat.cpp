// Quaternion, matrix and transform conversions against plain double-precision
// references on random input, plus their branch rule and edge cases.
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"

#include "math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace mathtest;

namespace {

const float kNaN = std::nanf("");
const D4 kAxes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

// The product kernel in float: conj(a b) from the permuted products,
// subtracted left to right.
VLMVector4 RefProductConjugated(const VLMVector4& a, const VLMVector4& b)
{
    const float tx = b.z * a.x - a.w * b.y - a.y * b.w - b.x * a.z;
    const float ty = b.x * a.y - a.z * b.w - a.x * b.y - b.z * a.w;
    const float tz = b.y * a.z - a.y * b.z - a.w * b.x - b.w * a.x;
    const float tw = b.w * a.w - a.x * b.x - a.z * b.z - b.y * a.y;
    return V(tz, tx, ty, tw);
}

VLMVector4 FlipXYZ(const VLMVector4& v) { return V(-v.x, -v.y, -v.z, v.w); }

// The branch rule in float: the quaternion of three rows before normalisation.
VLMVector4 RefRowsToQuatRaw(const VLMMatrix44& m, int* branch)
{
    const auto at = [&](int i, int j) { return Lane(m.r[i], j); };
    if (0.0f <= at(0, 0)) {
        if (0.0f <= at(1, 1) + at(2, 2)) {
            *branch = 0;
            return V(at(1, 2) - at(2, 1), at(2, 0) - at(0, 2), at(0, 1) - at(1, 0),
                     1.0f + at(0, 0) + at(1, 1) + at(2, 2));
        }
        *branch = 1;
        return V(1.0f + at(0, 0) - at(1, 1) - at(2, 2), at(0, 1) + at(1, 0), at(0, 2) + at(2, 0), at(1, 2) - at(2, 1));
    }
    if (0.0f <= at(1, 1) - at(2, 2)) {
        *branch = 2;
        return V(at(0, 1) + at(1, 0), 1.0f - at(0, 0) + at(1, 1) - at(2, 2), at(1, 2) + at(2, 1), at(2, 0) - at(0, 2));
    }
    *branch = 3;
    return V(at(0, 2) + at(2, 0), at(1, 2) + at(2, 1), 1.0f - at(0, 0) - at(1, 1) + at(2, 2), at(0, 1) - at(1, 0));
}

TEST(QuatProduct, HamiltonOrderConjugateFormsAndRotation)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(101);
    std::uniform_real_distribution<float> lastLane(-3, 3);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 a = RandomVector(rng, 3, lastLane(rng)), b = RandomVector(rng, 3, lastLane(rng));
        const VLMVector4 p = VLMQuatMultiply(a, b);
        ASSERT_LE(MaxDiff(p, Hamilton(Wide(a), Wide(b))), 1e-5);
        ASSERT_TRUE(SameBits(p, FlipXYZ(RefProductConjugated(a, b))));
        ASSERT_TRUE(SameBits(VLMQuatMulConjugated(a, b), RefProductConjugated(a, b)));
        ASSERT_TRUE(SameBits(VLMQuatConjugateMul(a, b), FlipXYZ(RefProductConjugated(FlipXYZ(a), b))));
        ASSERT_LE(MaxDiff(VLMQuatConjugateMul(a, b), Hamilton(Conj(Wide(a)), Wide(b))), 1e-5);

        // q v q* with the w lane passed through; the right factor of a product acts first.
        const VLMVector4 qa = RandomUnitQuat(rng), qb = RandomUnitQuat(rng), v = RandomVector(rng, 10, lastLane(rng));
        const VLMVector4 r = VLMQuatRotate(qa, v);
        ASSERT_TRUE(MaxDiff(r, Rotate(Wide(qa), Wide(v)), 3) <= 3e-5 && B(r.w) == B(v.w));
        ASSERT_LE(MaxDiff(VLMQuatRotate(VLMQuatMultiply(qa, qb), v), Wide(VLMQuatRotate(qa, VLMQuatRotate(qb, v))), 3),
                  2e-5);
    }
    const VLMVector4 r = VLMQuatRotate(V(0, 0, 0, 1), V(1, 2, 3, kNaN));
    EXPECT_TRUE(r.x == 1.0f && r.y == 2.0f && r.z == 3.0f && std::isnan(r.w));
    VLMVector4 a = V(1, 2, 3, 4);  // the object form may write over an operand
    const VLMVector4 want = VLMQuatMultiply(a, V(-1, 0.5f, 2, 1));
    EXPECT_TRUE(SameBits(VLMQuatMultiply(a, a, V(-1, 0.5f, 2, 1)), want) && SameBits(a, want));
    EXPECT_TRUE(SameRotation(VLMQuatConjugateMul(V(0.6f, 0, 0, 0.8f), V(0.6f, 0, 0, 0.8f)), {0, 0, 0, 1}, 1e-6));
}

TEST(QuatToMatrix, RowsAreTheRotatedAxes)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(111);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMMatrix44 m = VLMQuatToMatrix44(q);
        for (int r = 0; r < 3; ++r)
            ASSERT_LE(MaxDiff(m.r[r], Rotate(Wide(q), kAxes[r])), 2e-6);
        ASSERT_TRUE(SameBits(m.r[3], V(0, 0, 0, 1)));
    }
    const VLMMatrix44 id = VLMQuatToMatrix44(V(0, 0, 0, 1)), zero = VLMQuatToMatrix44(V(0, 0, 0, 0));
    for (int r = 0; r < 3; ++r) {
        const D4 axis = kAxes[r];
        EXPECT_TRUE(SameBits(id.r[r], V(axis[0], axis[1], axis[2], 0)));  // exactly
        EXPECT_LE(MaxDiff(zero.r[r], {-axis[0], -axis[1], -axis[2], 0}), 0.0);
    }
    EXPECT_EQ(VLMQuatToMatrix44(V(0, 0, 0, 2)).r[0].x, 7.0f);  // not normalised: 2 (w w - 0.5) + ...
}

TEST(QuatFromRows, BranchRuleAndHalfTurns)
{
    VLMScopedFPGuard guard;
    const auto rows = [](VLMVector4 a, VLMVector4 b, VLMVector4 c) { return VLMQuatFromRotationRows(a, b, c); };
    // The identity goes through the square root's estimate: one unit in the last place.
    EXPECT_LE(MaxDiff(rows(V(1, 0, 0, 0), V(0, 1, 0, 0), V(0, 0, 1, 0)), {0, 0, 0, 1}), 1.2e-7);
    EXPECT_LE(MaxDiff(rows(V(1, 0, 0, 0), V(0, -1, 0, 0), V(0, 0, -1, 0)), {1, 0, 0, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(-1, 0, 0, 0), V(0, 1, 0, 0), V(0, 0, -1, 0)), {0, 1, 0, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(-1, 0, 0, 0), V(0, -1, 0, 0), V(0, 0, 1, 0)), {0, 0, 1, 0}), 1e-6);
    EXPECT_LE(MaxDiff(rows(V(0, 1, 0, 0), V(-1, 0, 0, 0), V(0, 0, 1, 0)), {0, 0, 0.70710678, 0.70710678}), 1e-6);

    // On rows that are not a rotation the alternatives differ: -0 counts as
    // non-negative, and a sum of exactly 0 takes the first alternative; NaN the second.
    const VLMVector4 r1 = V(0.2f, 0.5f, 0.4f, 0), r2 = V(0.7f, 0.6f, 0.25f, 0);
    EXPECT_TRUE(SameBits(rows(V(-0.0f, 0.3f, 0.1f, 0), r1, r2),
                         VLMQuatNormalize(V(0.4f - 0.6f, 0.7f - 0.1f, 0.3f - 0.2f, 1.0f + -0.0f + 0.5f + 0.25f))));
    EXPECT_TRUE(SameBits(rows(V(0.5f, 0.3f, 0.1f, 0), V(0.2f, -0.5f, 0.4f, 0), V(0.7f, 0.6f, 0.5f, 0)),
                         VLMQuatNormalize(V(0.4f - 0.6f, 0.7f - 0.1f, 0.3f - 0.2f, 1.0f + 0.5f + -0.5f + 0.5f))));
    const VLMVector4 nan = rows(V(kNaN, 0.3f, 0.1f, 0), r1, r2);
    EXPECT_TRUE(std::isnan(nan.x) && std::isnan(nan.w));

    // Random rows, rotations or not, in all four alternatives.
    std::mt19937 rng(112);
    int seen[4] = {0, 0, 0, 0}, seenRotations[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4000; ++i) {
        VLMMatrix44 m;
        for (int r = 0; r < 3; ++r)
            m.r[r] = RandomVector(rng, 1, 0);
        int branch;
        const VLMVector4 raw = RefRowsToQuatRaw(m, &branch);
        ++seen[branch];
        ASSERT_TRUE(SameBits(rows(m.r[0], m.r[1], m.r[2]), VLMQuatNormalize(raw)));

        const VLMVector4 q = RandomUnitQuat(rng);
        const VLMMatrix44 rot = VLMQuatToMatrix44(q);
        RefRowsToQuatRaw(rot, &branch);
        ++seenRotations[branch];
        const VLMVector4 back = rows(rot.r[0], rot.r[1], rot.r[2]);
        ASSERT_TRUE(SameRotation(back, Wide(q), 4e-6));
        ASSERT_GT(Lane(back, branch == 0 ? 3 : branch - 1), 0.0f);  // the pivot comes out positive
    }
    for (int b = 0; b < 4; ++b)
        EXPECT_TRUE(seen[b] > 100 && seenRotations[b] > 400) << "alternative " << b;
}

TEST(QuatTQS, MatrixMapsPointsAndDecomposesBack)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(121);
    std::uniform_real_distribution<float> scale(0.1f, 10.0f);
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 t = RandomVector(rng, 100, 0), q = RandomUnitQuat(rng);
        const VLMVector4 s = V(scale(rng), scale(rng), scale(rng), 1);
        const VLMMatrix44 m = VLMTQSToMatrix44Normalized(t, q, s);
        const VLMVector4 p = RandomVector(rng, 5, 1);  // p -> T + rot(Q, S p)
        const D4 rotated = Rotate(Wide(q), {double(s.x) * p.x, double(s.y) * p.y, double(s.z) * p.z, 0});
        ASSERT_LE(MaxDiff(VLMMatrix44MulVector(m, p), {rotated[0] + t.x, rotated[1] + t.y, rotated[2] + t.z, 1}), 3e-4);

        VLMVector4 t2, q2, s2;
        VLMMatrix44ToTQS(t2, q2, s2, m);
        ASSERT_TRUE(SameBits(t2, t) && s2.w == 1.0f);
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(Lane(s2, k) / Lane(s, k), 1.0, 2e-6);
        ASSERT_TRUE(SameRotation(q2, Wide(q), 5e-6));

        alignas(16) float buffer[17];  // unaligned and double forms agree
        std::memcpy(buffer + 1, &m, sizeof m);
        VLMVector4 tu, qu, su, td, qd, sd;
        VLMMatrix44UnalignedToTQS(tu, qu, su, buffer + 1);
        double wide[16];
        VLMMatrix44ToDoubles(wide, m);
        VLMMatrix44DoubleToTQS(td, qd, sd, wide);
        ASSERT_TRUE(SameBits(tu, t2) && SameBits(qu, q2) && SameBits(su, s2));
        ASSERT_TRUE(SameBits(td, t2) && SameBits(qd, q2) && SameBits(sd, s2));
    }
}

TEST(QuatTQS, UnnormalisedRotationNegativeScaleAndDoubles)
{
    VLMScopedFPGuard guard;
    const VLMMatrix44 raw = VLMTQSToMatrix44(V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    EXPECT_TRUE(SameBits(raw.r[0], V(7, 0, 0, 0)) && SameBits(raw.r[1], V(0, 14, 0, 0)));
    EXPECT_TRUE(SameBits(raw.r[3], V(1, 2, 3, 1)));
    const VLMMatrix44 normalized = VLMTQSToMatrix44Normalized(V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    EXPECT_LE(MaxDiff(normalized.r[1], {0, 2, 0, 0}), 1e-6);

    const VLMMatrix44 mirrored = VLMTQSToMatrix44(V(4, 5, 6, 9), V(0, 0, 0, 1), V(-2, 1, 1, 1));
    VLMVector4 t, q, s;
    VLMMatrix44ToTQS(t, q, s, mirrored);
    EXPECT_TRUE(SameBits(s, V(2, 1, 1, 1)) && SameBits(t, V(4, 5, 6, 0)));  // scales always positive
    EXPECT_TRUE(SameBits(VLMMatrix44RowLengths(mirrored), V(2, 1, 1, 1)));

    double wide[16];
    VLMTQSToMatrix44Double(wide, V(1, 2, 3, 0), V(0, 0, 0, 2), V(1, 2, 3, 1));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(wide[i], double(Lane(normalized.r[i / 4], i % 4)));
    double four[4];
    VLMVector4ToDoubles(four, V(0.1f, -2, 3e38f, kNaN));
    EXPECT_TRUE(four[0] == double(0.1f) && four[2] == double(3e38f) && std::isnan(four[3]));
}

TEST(QuatMatrixMultiply, RowsAreMatrixVectorProductsInTheLibraryOrder)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(122);
    std::uniform_real_distribution<float> lastLane(-3, 3);
    int ordersDiffer = 0;
    for (int i = 0; i < 500; ++i) {
        VLMMatrix44 a, b;
        for (int r = 0; r < 4; ++r) {
            a.r[r] = RandomVector(rng, 100, lastLane(rng));
            b.r[r] = RandomVector(rng, 0.01f, lastLane(rng));
        }
        const VLMMatrix44 m = VLMMatrix44Multiply(a, b);
        for (int r = 0; r < 4; ++r) {
            const VLMVector4& v = b.r[r];
            ASSERT_TRUE(SameBits(VLMMatrix44MulVector(a, v), m.r[r]));  // row r is A times row r of B
            for (int k = 0; k < 4; ++k) {
                const float x = Lane(a.r[0], k) * v.x, y = Lane(a.r[1], k) * v.y, z = Lane(a.r[2], k) * v.z,
                            w = Lane(a.r[3], k) * v.w;
                ASSERT_EQ(B(Lane(m.r[r], k)), B(((y + x) + z) + w));
                ordersDiffer += B((x + y) + (z + w)) != B(((y + x) + z) + w);
            }
        }
    }
    EXPECT_GT(ordersDiffer, 0) << "the sample does not tell a pairwise sum apart";

    const VLMMatrix44 b = VLMTQSToMatrix44(V(1, 0, 0, 0), V(0, 0, 0.70710678f, 0.70710678f), V(1, 1, 1, 1));
    const VLMMatrix44 a = VLMTQSToMatrix44(V(0, 0, 5, 0), V(0, 0, 0, 1), V(2, 2, 2, 1));
    const VLMMatrix44 ab = VLMMatrix44Multiply(a, b);
    EXPECT_LE(MaxDiff(VLMMatrix44MulVector(ab, V(1, 0, 0, 1)), {2, 2, 5, 1}), 1e-6);  // B: (1, 1, 0); A: (2, 2, 5)
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
        const D4 da = Wide(a), db = Wide(b);
        const double sign = da[0] * db[0] + da[1] * db[1] + da[2] * db[2] + da[3] * db[3] < 0 ? -1 : 1;
        D4 blend;
        for (int k = 0; k < 4; ++k)
            blend[k] = da[k] + t * (sign * db[k] - da[k]);
        ASSERT_LE(MaxDiff(VLMQuatNlerp(a, b, S(t)), Normalized(blend)), 2e-5);
        ASSERT_LE(MaxDiff(VLMQuatNlerp(a, VLMVector4Negate(a), S(t)), da), 2e-6);  // a against -a: a
    }
    const VLMVector4 a = V(0.5f, 0.5f, 0.5f, 0.5f), b = V(0, 0.6f, 0, 0.8f);
    EXPECT_TRUE(SameBits(VLMQuatNlerp(a, b, S(0.0f)), VLMQuatNormalize(a)));
    EXPECT_LE(MaxDiff(VLMQuatNlerp(a, b, S(1.0f)), Wide(b)), 1e-6);
    // A dot product of -0 has its sign bit set: b is flipped.
    EXPECT_LE(
        MaxDiff(VLMQuatNlerp(V(1, 1, -0.0f, -0.0f), V(-0.0f, -0.0f, 1, 1), S(1.0f)), {0, 0, -0.70710678, -0.70710678}),
        1e-6);
    EXPECT_LE(MaxDiff(VLMQuatNlerp(V(0, 0, 0, 1), V(1, 0, 0, 0), V(1, 0, 0, 1)), {1, 0, 0, 0}), 1e-6);  // per lane
}

TEST(QuatScaleThroughRotation, StretchAlongTheRotatedAxes)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(141);
    for (int i = 0; i < 500; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng), s = RandomVector(rng, 3, 1);
        D4 want = {0, 0, 0, 1};
        for (int k = 0; k < 3; ++k) {
            const D4 axis = Rotate(Wide(q), kAxes[k]);
            want[k] = std::sqrt(std::pow(s.x * axis[0], 2) + std::pow(s.y * axis[1], 2) + std::pow(s.z * axis[2], 2));
        }
        ASSERT_LE(MaxDiff(VLMScaleThroughRotation(q, s), want), 2e-5);
    }
    EXPECT_TRUE(SameBits(VLMScaleThroughRotation(V(0, 0, 0, 1), V(-2, 3, 0.5f, 7)), V(2, 3, 0.5f, 1)));
}

TEST(QuatTQS4, PackAndUnpackAreLaneTransposes)
{
    VLMVector4 tr[3], ro[4], sc[3];
    for (int i = 0; i < 10; ++i) {
        const float f = static_cast<float>(4 * i + 1);
        (i < 3 ? tr[i] : i < 7 ? ro[i - 3] : sc[i - 7]) = V(f, f + 1, f + 2, f + 3);
    }
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
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(SameBits(ro2[i], ro[i]) && (i == 3 || (SameBits(tr2[i], tr[i]) && SameBits(sc2[i], sc[i]))));
}

}  // namespace

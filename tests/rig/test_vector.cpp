// The vector primitives: Newton steps bit for bit against a scalar
// transcription on the same machine, the orders of the horizontal sums, and
// the NaN, signed-zero, rounding and bitwise-blend rules.
#include "rig/vlm_frame.h"
#include "rig/vlm_vector.h"

#include "math_test_util.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <xmmintrin.h>

using namespace mathtest;

namespace {

const float kNaN = std::nanf(""), kInf = INFINITY;
const float kSignallingNaN = F(0x7FA00001u), kDenormal = F(0x00000005u), kTrue = F(0xFFFFFFFFu);

// The Newton steps in the library's order with scalar floats and the same
// estimate instruction: a reordered or contracted step shows up bit for bit.
float ScalarRSqrt(float a)
{
    const float y0 = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(a)));
    return ((3.0f - (y0 * y0) * a) * y0) * 0.5f;
}

float ScalarRecip(float a)
{
    const float y0 = _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(a)));
    return (y0 + y0) - (y0 * y0) * a;
}

TEST(VectorNewton, OneStepInTheStatedOrderWithin2ToMinus21)
{
    VLMScopedFPGuard guard;
    struct Case {
        VLMVector4 (*vector)(const VLMVector4&);
        float (*scalar)(float);
        bool rsqrt;
        int maxExponent;  // beyond about 2^+-62 the y0 y0 of the reciprocal's step leaves the float range
    };
    const Case cases[] = {{VLMVector4RSqrt, ScalarRSqrt, true, 124}, {VLMVector4Recip, ScalarRecip, false, 61}};
    for (const Case& c : cases) {
        double worst = 0.0;
        for (int e = -c.maxExponent; e <= c.maxExponent; ++e) {
            for (int k = 0; k < 28; k += 4) {  // a log sweep, several mantissas per octave
                VLMVector4 a;
                for (int i = 0; i < 4; ++i) {
                    const float m = std::ldexp(1.0f + (k + i) / 29.0f + 0.00137f * ((k + i) % 7), e);
                    (&a.x)[i] = c.rsqrt || i % 2 == 0 ? m : -m;
                }
                const VLMVector4 r = c.vector(a);
                for (int i = 0; i < 4; ++i) {
                    const double x = Lane(a, i);
                    ASSERT_EQ(B(Lane(r, i)), B(c.scalar(Lane(a, i)))) << x;
                    worst = std::max(worst, std::fabs(Lane(r, i) * (c.rsqrt ? std::sqrt(x) : x) - 1.0));
                }
            }
        }
        EXPECT_LE(worst, std::ldexp(1.0, -21)) << (c.rsqrt ? "rsqrt" : "recip");
    }
}

TEST(VectorNewton, EdgesAreNotSpecialCasedAndNormalisationForms)
{
    VLMScopedFPGuard guard;
    const VLMVector4 r = VLMVector4RSqrt(V(4.0f, 1.0f, 0.0f, -1.0f));  // 0: inf x 0 inside the step
    EXPECT_TRUE(std::fabs(r.x - 0.5f) < 1e-6f && std::fabs(r.y - 1.0f) < 1e-6f && std::isnan(r.z) && std::isnan(r.w));
    EXPECT_TRUE(std::isnan(VLMVector4RSqrt(S(kInf)).x));
    const VLMVector4 q = VLMVector4Recip(V(0.0f, kInf, -kInf, 2.0f));
    EXPECT_TRUE(std::isnan(q.x) && std::isnan(q.y) && std::isnan(q.z) && std::fabs(q.w - 0.5f) < 1e-7f);
    const VLMVector4 zero = VLMQuatNormalize(VLMVector4Zero());
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z) && std::isnan(zero.w));
    EXPECT_TRUE(std::isnan(VLMVector4Normalize3(V(0, 0, 0, 5)).x));  // w does not count

    // a RSqrt(Dot4(a, a)), conjugated first or with w cleared first.
    const VLMVector4 a = V(1.0f, -2.0f, 2.0f, 4.0f), scale = VLMVector4RSqrt(VLMVector4Dot4(a, a));
    EXPECT_TRUE(SameBits(VLMQuatNormalize(a), VLMVector4Mul(a, scale)));
    EXPECT_TRUE(SameBits(VLMQuatNormalizedConjugate(a), VLMVector4Mul(VLMVector4NegateXYZ(a), scale)));
    EXPECT_TRUE(SameBits(VLMVector4Normalize3(V(3, 0, -4, 7)), VLMVector4Mul(V(3, 0, -4, 0), VLMVector4RSqrt(S(25)))));
    EXPECT_EQ(VLMVector4Length4(a).y, 5.0f);
    EXPECT_EQ(VLMVector4Length3(V(3, 4, 0, 100)).w, 5.0f);
    EXPECT_EQ(VLMVector4Distance4(V(1, 1, 1, 1), V(2, 2, 2, 2)).z, 2.0f);
    const VLMVector4 roots = VLMVector4Sqrt(V(4.0f, -1.0f, -0.0f, 2.0f));  // exact
    EXPECT_TRUE(std::isnan(roots.y) && SameBits(roots, V(2.0f, roots.y, -0.0f, std::sqrt(2.0f))));
}

TEST(VectorHorizontal, SumsKeepTheirOrderAndNonUniformLanes)
{
    VLMScopedFPGuard guard;
    VLMVector4 v = V(1, 2, 3, 4);
    EXPECT_TRUE(SameBits(VLMVector4HorizontalSumInPlace(v), S(10)));
    EXPECT_TRUE(SameBits(v, V(3, 5, 7, 5)));

    // 2^24 + 1 rounds to 2^24: lanes x, z add (x + y) + (z + w), lanes y, w (y + z) + (w + x).
    const float big = 16777216.0f;
    const VLMVector4 uneven = V(big, 1, 1, 0), pairs = V(big, big + 2, big, big + 2);
    EXPECT_TRUE(SameBits(VLMVector4HorizontalSum(uneven), pairs));
    EXPECT_TRUE(SameBits(VLMVector4Dot4(uneven, S(1)), pairs));
    // (y + x) + z; w is ignored.
    EXPECT_TRUE(SameBits(VLMVector4HorizontalSum3(V(1, 1, big, kNaN)), S(big + 2)));
    EXPECT_TRUE(SameBits(VLMVector4HorizontalSum3(V(big, 1, 1, 0)), S(big)));
    EXPECT_TRUE(SameBits(VLMVector4Dot3(V(1, 1, big, kNaN), S(1)), S(big + 2)));
    EXPECT_TRUE(SameBits(VLMVector4RejectFrom(V(1, 0, 0, 0), V(3, 4, 5, 0)), V(0, 4, 5, 0)));

    EXPECT_TRUE(SameBits(VLMVector4Cross(V(1, 0, 0, 1), V(0, 1, 0, 1)), V(0, 0, 1, 0)));  // w 0 from w 1
    EXPECT_TRUE(SameBits(VLMVector4Cross(V(1, 2, 3, 7), V(4, 5, 6, 9)), V(-3, 6, -3, 0)));
    EXPECT_TRUE(std::isnan(VLMVector4Cross(V(1, 2, 3, kInf), V(4, 5, 6, 1)).w));
}

TEST(VectorArithmetic, MinMaxClampReturnTheSecondOperandOnNaN)
{
    const VLMVector4 a = V(kNaN, 1.0f, -0.0f, 2.0f), b = V(1.0f, kNaN, 0.0f, 3.0f);
    EXPECT_TRUE(SameBits(VLMVector4Min(a, b), V(1.0f, kNaN, 0.0f, 2.0f)));
    EXPECT_TRUE(SameBits(VLMVector4Max(a, b), V(1.0f, kNaN, 0.0f, 3.0f)));
    EXPECT_TRUE(SameBits(VLMVector4Clamp01(V(kNaN, 2.0f, -1.0f, 0.25f)), V(0.0f, 1.0f, 0.0f, 0.25f)));
    // Lanes z, w have lo > hi.
    EXPECT_TRUE(SameBits(VLMVector4Clamp(V(kNaN, 0.5f, 4, kNaN), V(-1, -1, 5, 5), V(1, 1, 3, 3)), V(-1, 0.5f, 3, 3)));

    EXPECT_TRUE(VLMMinFloat(kNaN, 1.0f) == 1.0f && std::isnan(VLMMinFloat(1.0f, kNaN)));
    EXPECT_TRUE(VLMMaxFloat(kNaN, 1.0f) == 1.0f && std::isnan(VLMMaxFloat(1.0f, kNaN)));
    EXPECT_EQ(B(VLMMinFloat(-0.0f, 0.0f)), 0u);
    EXPECT_EQ(VLMClampFloat(kNaN, -2.0f, 2.0f), -2.0f);
    EXPECT_EQ(VLMClampFloat(4.0f, 5.0f, 3.0f), 3.0f);
    EXPECT_TRUE(VLMClamp01Float(kNaN) == 0.0f && VLMClamp01Float(7.0f) == 1.0f);
}

TEST(VectorArithmetic, SignBitsAndSmallHelpers)
{
    VLMScopedFPGuard guard;
    EXPECT_TRUE(SameBits(VLMVector4Sign(V(0.0f, -0.0f, 2.0f, -3.0f)), V(1, -1, 1, -1)));
    EXPECT_TRUE(SameBits(VLMVector4Sign(V(kNaN, -kNaN, kInf, -kInf)), V(1, -1, 1, -1)));
    EXPECT_TRUE(SameBits(VLMVector4Negate(V(0.0f, -0.0f, 1, kSignallingNaN)), V(-0.0f, 0.0f, -1, -kSignallingNaN)));
    EXPECT_TRUE(SameBits(VLMVector4Abs(V(-0.0f, -2, 3, -kSignallingNaN)), V(0.0f, 2, 3, kSignallingNaN)));
    EXPECT_TRUE(SameBits(VLMVector4NegateXYZ(V(1, -2, 0, 4)), V(-1, 2, -0.0f, 4)));
    EXPECT_TRUE(SameBits(VLMVector4NegateXZ(V(1, 2, 3, 4)), V(-1, 2, -3, 4)));
    EXPECT_TRUE(SameBits(VLMVector4NegateXZSwapHalves(V(1, 2, 3, 4)), V(-3, 4, -1, 2)));

    EXPECT_TRUE(SameBits(VLMVector4ClearW(V(1, 2, 3, kNaN)), V(1, 2, 3, 0)));
    EXPECT_TRUE(SameBits(VLMVector4ToPoint(V(1, 2, 3, kNaN)), V(1, 2, 3, 1)));
    EXPECT_TRUE(SameBits(VLMVector4AddUnitW(V(1, 2, 3, 9)), V(1, 2, 3, 10)));
    VLMVector4 counter = V(0, 1, 2, 3);
    EXPECT_TRUE(SameBits(VLMVector4PostIncrement(counter), V(0, 1, 2, 3)) && SameBits(counter, V(1, 2, 3, 4)));
    const VLMVector4 from = V(1e-30f, 3.0f, -7.0f, 1e30f);
    EXPECT_TRUE(SameBits(VLMVector4Lerp(from, V(5.0f, 1e30f, 2.0f, -1e30f), VLMVector4Zero()), from));  // t = 0: a
    EXPECT_TRUE(SameBits(VLMVector4Lerp(S(0), S(4), V(0.25f, 0.5f, 1.0f, 2.0f)), V(1, 2, 4, 8)));
    const VLMVector4 q = VLMVector4Div(V(1, -1, 0, 6), V(0, 0, 0, 3));
    EXPECT_TRUE(q.x == kInf && q.y == -kInf && std::isnan(q.z) && q.w == 2.0f);
    EXPECT_TRUE(VLMVector4RadToDeg(S(1)).y == 57.2957802f && VLMDegToRad(90.0f) == 90.0f * 0.0174532924f);

    VLMVector4 acc = V(1.5f, -2, 3, 9);  // object and in-place forms, aliased
    VLMVector4AddInPlace(acc, acc);
    VLMVector4MulInPlace(acc, S(0.5f));
    EXPECT_TRUE(SameBits(VLMVector4Cross(acc, acc, V(0, 0, 1, 0)), V(-2.0f, -1.5f, 0, 0)) && acc.x == -2.0f);
}

TEST(VectorMasks, ComparisonsAndLaneTests)
{
    const VLMVector4 a = V(1, kNaN, 2, 3), b = V(2, kNaN, 2, 1);
    const float T = kTrue;
    EXPECT_TRUE(SameBits(VLMVector4CmpLT(a, b), V(T, 0, 0, 0)));
    EXPECT_TRUE(SameBits(VLMVector4CmpGT(a, b), V(0, 0, 0, T)));
    EXPECT_TRUE(SameBits(VLMVector4CmpLE(a, b), V(T, 0, T, 0)));
    EXPECT_TRUE(SameBits(VLMVector4CmpGE(a, b), V(0, 0, T, T)));
    EXPECT_TRUE(SameBits(VLMVector4CmpEQ(a, b), V(0, 0, T, 0)));
    EXPECT_TRUE(SameBits(VLMVector4CmpNE(a, b), V(T, T, 0, T)));

    EXPECT_TRUE(SameBits(VLMVector4MaskFromBool(true), S(T)) && SameBits(VLMVector4MaskFromBool(false), S(0)));
    for (int bits = 0; bits < 16; ++bits) {
        const bool x = bits & 1, y = bits & 2, z = bits & 4, w = bits & 8;
        const VLMVector4 m = VLMVector4MaskFromBools(x, y, z, w);
        ASSERT_TRUE(SameBits(m, V(x ? T : 0, y ? T : 0, z ? T : 0, w ? T : 0)));
        EXPECT_EQ(VLMVector4AnyLane(m), bits != 0);
        EXPECT_EQ(VLMVector4AllLanes(m), bits == 15);
        EXPECT_EQ(VLMVector4AnyXY(m), (bits & 3) != 0);
        EXPECT_EQ(VLMVector4LaneBitX(m) + 2 * VLMVector4LaneBitY(m) + 4 * VLMVector4LaneBitZ(m), bits & 7);
        EXPECT_TRUE(VLMFlagAndAnyLane(true, m) == (bits != 0) && !VLMFlagAndAnyLane(false, m));
    }
    // Only the sign bits count.
    EXPECT_TRUE(VLMVector4AllLanes(V(-0.0f, -1.0f, -kNaN, -kInf)));
    EXPECT_FALSE(VLMVector4AnyLane(V(kNaN, F(0x7FFFFFFFu), 1.0f, kInf)));
}

TEST(VectorMasks, SelectMergeAndPartialScaleBlendBitwise)
{
    VLMScopedFPGuard guard;  // flush-to-zero: an untouched denormal lane must survive anyway
    const float m = F(0xFFFF0000u);
    EXPECT_TRUE(SameBits(VLMVector4Select(V(m, 0, kTrue, m), V(F(0x12345678u), 1, 2, F(0xAAAAAAAAu)),
                                          V(F(0x9ABCDEF0u), 3, 4, F(0x55555555u))),
                         V(F(0x1234DEF0u), 3, 2, F(0xAAAA5555u))));

    using Value = VLMVector4 (*)(const VLMVector4&, const VLMVector4&);
    struct Merge {
        Value value;
        VLMVector4& (*inPlace)(VLMVector4&, const VLMVector4&);
        VLMVector4 want;
    };
    const Merge merges[] = {
        {static_cast<Value>(VLMVector4MergeX), VLMVector4MergeXInPlace, V(5, 2, 3, 4)},
        {static_cast<Value>(VLMVector4MergeY), VLMVector4MergeYInPlace, V(1, 6, 3, 4)},
        {static_cast<Value>(VLMVector4MergeZ), VLMVector4MergeZInPlace, V(1, 2, 7, 4)},
        {static_cast<Value>(VLMVector4MergeW), VLMVector4MergeWInPlace, V(1, 2, 3, 8)},
        {static_cast<Value>(VLMVector4MergeXY), VLMVector4MergeXYInPlace, V(5, 6, 3, 4)},
        {static_cast<Value>(VLMVector4MergeXYZ), VLMVector4MergeXYZInPlace, V(5, 6, 7, 4)},
    };
    for (const Merge& mg : merges) {
        VLMVector4 c = V(1, 2, 3, 4);
        EXPECT_TRUE(SameBits(mg.value(c, V(5, 6, 7, 8)), mg.want));
        EXPECT_TRUE(SameBits(mg.inPlace(c, V(5, 6, 7, 8)), mg.want) && SameBits(c, mg.want));
    }
    VLMVector4 z = V(kSignallingNaN, kDenormal, 3, -0.0f);
    EXPECT_TRUE(SameBits(VLMVector4SetZInPlace(z, 9.0f), V(kSignallingNaN, kDenormal, 9.0f, -0.0f)));

    // Lanes that are not scaled keep their bits (a product by 1 would quiet the
    // signalling NaN and flush the denormal).
    const float s = kSignallingNaN, d = kDenormal;
    EXPECT_TRUE(SameBits(VLMVector4ScaleX(V(3, d, s, d), S(2)), V(6, d, s, d)));
    EXPECT_TRUE(SameBits(VLMVector4ScaleXY(V(3, 4, s, d), S(2)), V(6, 8, s, d)));
    EXPECT_TRUE(SameBits(VLMVector4ScaleZ(V(s, d, 5, d), S(2)), V(s, d, 10, d)));
    EXPECT_TRUE(SameBits(VLMVector4ScaleXYZ(V(1, 2, 3, s), S(2)), V(2, 4, 6, s)));
}

TEST(VectorPermute, PatternsAndOperandOrder)
{
    // Every pattern goes through the same letter-to-immediate rule and the same
    // three fused forms, so one of each kind pins them down.
    const VLMVector4 a = V(1, 2, 3, 4), b = V(5, 7, 11, 13);
    EXPECT_TRUE(SameBits(VLMVector4SwizzleYZWX(a), V(2, 3, 4, 1)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzleWXZY(a), V(4, 1, 3, 2)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzleYYYX(a), V(2, 2, 2, 1)));
    EXPECT_TRUE(SameBits(VLMVector4SplatZ(a), S(3)));
    EXPECT_TRUE(SameBits(VLMVector4MulSwizzledWYXZ(a, b), V(1 * 13, 2 * 7, 3 * 5, 4 * 11)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzledXWYZMul(a, b), V(1 * 5, 4 * 7, 2 * 11, 3 * 13)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzledZXXZMulSwizzledWWYY(a, b), V(3 * 13, 1 * 13, 1 * 7, 3 * 7)));
    EXPECT_TRUE(SameBits(VLMVector4SubSwizzledYWZX(a, b), V(1 - 7, 2 - 13, 3 - 11, 4 - 5)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzledWXYZSub(a, b), V(4 - 5, 1 - 7, 2 - 11, 3 - 13)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzledYXWZAdd(a, b), V(2 + 5, 1 + 7, 4 + 11, 3 + 13)));
    EXPECT_TRUE(SameBits(VLMVector4DivSwizzledWZYX(a, b), V(1 / 13.0f, 2 / 11.0f, 3 / 7.0f, 4 / 5.0f)));
    EXPECT_TRUE(SameBits(VLMVector4SwizzleZXYWOfSub(a, b), V(3 - 11, 1 - 5, 2 - 7, 4 - 13)));
    // P(a) > b, not b > P(a).
    EXPECT_TRUE(SameBits(VLMVector4SwizzledWWZZCmpGT(V(0, 0, 1, 9), V(1, 10, 0, 0)), V(kTrue, 0, kTrue, kTrue)));
}

TEST(VectorRounding, RoundsThroughAnIntInTheCurrentMode)
{
    {
        VLMScopedFPGuard guard;
        EXPECT_TRUE(SameBits(VLMVector4RoundLanes(Opaque(V(0.5f, 1.5f, -0.5f, 2.5f))), V(0, 2, 0, 2)));  // +0, to even
        const float wrapped = -2147483648.0f;  // beyond the int range and NaN
        EXPECT_TRUE(SameBits(VLMVector4RoundLanes(Opaque(V(3e9f, kNaN, -1.25f, 1e-30f))), V(wrapped, wrapped, -1, 0)));
        VLMVector4 inPlace = Opaque(V(-3.5f, 0.49f, 7.5f, -7.5f));
        VLMVector4RoundLanesInPlace(inPlace);
        EXPECT_TRUE(SameBits(inPlace, V(-4, 0, 8, -8)));

        VLMVector4 xw = Opaque(V(1.4f, 7.5f, 8.5f, 2.6f));
        EXPECT_TRUE(SameBits(VLMVector4RoundXW(xw), V(1, 1, 1, 3)));
        EXPECT_TRUE(SameBits(VLMVector4RoundXWInPlace(xw), V(1, 1, 1, 3)));
        EXPECT_TRUE(SameBits(xw, V(3, 1, 7.5f, 8.5f)));
        EXPECT_TRUE(VLMFloatToIntRound(Opaque(2.5f)) == 2 && VLMFloatToIntRound(Opaque(-2.5f)) == -2);
        EXPECT_EQ(VLMFloatToIntRound(Opaque(3.5f)), 4);
        const float cut = Opaque(-2.7f);
        EXPECT_EQ(VLMFloatToIntTrunc(&cut), -2);
    }
    // The caller's mode is honoured (round down here), never a fixed one.
    ControlWordScope down((VLM_LIBRARY_MXCSR & ~0x6000u) | 0x2000u);
    EXPECT_TRUE(SameBits(VLMVector4RoundLanes(Opaque(V(-0.5f, 0.7f, 1.5f, -2.5f))), V(-1, 0, 1, -3)));
    EXPECT_EQ(VLMFloatToIntRound(Opaque(0.7f)), 0);
    const float negative = Opaque(-0.2f);
    EXPECT_EQ(VLMFloatToIntTrunc(&negative), 0);
}

TEST(VectorConstruction, GathersConversionsAndUnalignedAccess)
{
    VLMScopedFPGuard guard;
    EXPECT_EQ(VLMVector4SplatInt(16777217).z, 16777216.0f);  // 2^24 + 1: the tie goes to even
    volatile double tiny = -1e-300, huge = 1e300, tie = 1.0 + std::ldexp(1.0, -24), tenth = 0.1;
    EXPECT_TRUE(SameBits(VLMVector4FromDoubles(tenth, huge, tiny, tie), V(0.1f, kInf, -0.0f, 1.0f)));

    const VLMVector4 a = V(1, 2, 3, 4), b = V(5, 6, 7, 8), c = V(9, 10, 11, 12), d = V(13, 14, 15, 16);
    EXPECT_TRUE(SameBits(VLMVector4GatherXXXX(a, b, c, d), V(1, 5, 9, 13)));
    EXPECT_TRUE(SameBits(VLMVector4GatherXXX0(a, b, c), V(1, 5, 9, 0)));
    EXPECT_TRUE(SameBits(VLMVector4GatherXXX1(a, b, c), V(1, 5, 9, 1)));
    EXPECT_TRUE(SameBits(VLMVector4GatherYXXX(a, b, c, d), V(2, 5, 9, 13)));
    EXPECT_TRUE(SameBits(VLMVector4GatherXXXY(a, b, c, d), V(1, 5, 9, 14)));
    EXPECT_TRUE(SameBits(VLMVector4GatherXXYX(a, b, c, d), V(1, 5, 10, 13)));
    EXPECT_TRUE(SameBits(VLMVector4GatherXYXX(a, b, c, d), V(1, 6, 9, 13)));

    alignas(16) float buffer[8] = {};
    VLMVector4StoreUnaligned(buffer + 1, c);
    EXPECT_TRUE(SameBits(VLMVector4LoadUnaligned(buffer + 1), c) && buffer[0] == 0.0f && buffer[5] == 0.0f);
    EXPECT_TRUE(SameBits(VLMVector4Load(a, &d), d));  // the receiver is ignored
}

TEST(VectorScalar, BranchFreeIntegersOverTheWholeRange)
{
    const int values[] = {INT_MIN, INT_MIN + 1, -5, -1, 0, 1, 3, 5, INT_MAX - 1, INT_MAX};
    for (int a : values) {
        for (int b : values) {
            EXPECT_EQ(VLMMinInt(a, b), std::min(a, b)) << a << ", " << b;
            EXPECT_EQ(VLMMaxInt(a, b), std::max(a, b)) << a << ", " << b;
            EXPECT_TRUE(VLMSelectInt(true, a, b) == a && VLMSelectInt(false, a, b) == b);
        }
    }
    EXPECT_TRUE(VLMClampInt(5, 0, 3) == 3 && VLMClampInt(-5, 0, 3) == 0);
    EXPECT_EQ(VLMClampInt(2, 5, 3), 3);  // lo > hi: hi
    EXPECT_TRUE(VLMSelectFloat(true, 1.0f, 2.0f) == 1.0f && VLMSelectFloat(false, 1.0f, 2.0f) == 2.0f);
}

TEST(VectorMatrix, TransposeCopyAndRowDivision)
{
    VLMScopedFPGuard guard;
    double values[16];
    for (int i = 0; i < 16; ++i)
        values[i] = i + 1;
    values[15] = 0.1;
    const VLMMatrix44 m = VLMMatrix44FromDoubles(values);
    EXPECT_TRUE(SameBits(m.r[1], V(5, 6, 7, 8)) && SameBits(m.r[3], V(13, 14, 15, 0.1f)));

    const VLMMatrix44 t = VLMMatrix44Transpose(m);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(Lane(t.r[i / 4], i % 4), Lane(m.r[i % 4], i / 4)) << i;
    VLMVector4 r0 = m.r[0], r1 = m.r[1], r2 = m.r[2], r3 = m.r[3];
    VLMMatrix44Transpose(r0, r1, r2, r3, r0, r1, r2, r3);  // in place through the row form
    EXPECT_TRUE(SameBits(r1, t.r[1]) && SameBits(r3, t.r[3]));

    alignas(16) float buffer[20] = {};
    VLMMatrix44CopyUnaligned(buffer + 3, m);
    VLMMatrix44 copy;
    VLMMatrix44Copy(copy, VLMMatrix44LoadUnaligned(buffer + 3));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(SameBits(copy.r[i], m.r[i]));
    EXPECT_TRUE(buffer[2] == 0.0f && buffer[19] == 0.0f);

    // One true reciprocal, then products (not four divisions).
    const VLMVector4 v = V(3.0f, 7.0f, 0.0f, -11.0f);
    const VLMMatrix44 divided = VLMMatrix44DivRows(m, v);
    for (int i = 0; i < 16; ++i) {
        const volatile float inverse = 1.0f / Lane(v, i % 4);
        EXPECT_EQ(B(Lane(divided.r[i / 4], i % 4)), B(Lane(m.r[i / 4], i % 4) * inverse)) << i;
    }
    EXPECT_TRUE(SameBits(VLMMatrix44ScaleRows(m, v).r[2], V(27, 70, 0, -132)));
}

}  // namespace

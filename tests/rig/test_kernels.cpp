// The scalar and vector kernels: bit for bit against float transcriptions of
// their evaluation orders, and against libm in double within the error bounds
// of their polynomials.
#include "vlm_frame.h"
#include "vlm_kernels.h"

#include "math_test_util.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>
#include <xmmintrin.h>

using namespace mathtest;

namespace {

const float kInf = INFINITY;
const float kNaN = std::nanf("");
const float kPiF = 3.14159274f, kHalfPiF = 1.57079637f;
const double kPi = 3.14159265358979323846;

// ---- float transcriptions (C++ evaluates left to right, without contraction)

float RefCosTurns(float t)
{
    const float k = static_cast<float>(_mm_cvtss_si32(_mm_set_ss(t)));  // the current rounding mode
    const float v = 0.25f - std::fabs(t - k);
    const float v2 = v * v;
    return v * (((-71.3426819f * v2 + 81.390831f) * v2 + -41.3392105f) * v2 + 6.28318548f);
}
float RefSin(float a) { return RefCosTurns(a * 0.159154937f + -0.25f); }
float RefCos(float a) { return RefCosTurns(a * 0.159154937f); }

float RefR(float t)
{
    const float t2 = t * t;
    return (t + 0.431579739f * (t2 * t)) / ((1.0f + 0.764439464f * t2) + 0.0583193786f * (t2 * t2));
}

// 2^v with no clamp of the argument: the kernel as long as the result is normal.
float RefExp2Unclamped(float v)
{
    const int n = _mm_cvttss_si32(_mm_set_ss(v));
    const float f = v - static_cast<float>(n);
    const float p = (((0.00993019249f * f + 0.0576519296f) * f + 0.240069807f) * f + 0.692348063f) * f + 1.0f;
    const long long r = static_cast<long long>(B(p)) + static_cast<long long>(n) * (1LL << 23);
    return F(r < 0 ? 0u : r > 0x7F800000LL ? 0x7F800000u : static_cast<std::uint32_t>(r));
}

// log2 of a positive normal v, the offset subtracted first or last.
float RefLog2(float v, bool offsetFirst = true)
{
    const std::uint32_t field = B(v) & 0x7F800000u;
    const float m = F(B(v) - field + 0x3F000000u);
    const float e = static_cast<float>(static_cast<int>(field >> 23) - 126);
    const float p = m * (8.46045971f + m * (-9.08383369f + m * (5.64006901f - 1.44257617f * m)));
    return offsetFirst ? (p - 3.57411909f) + e : (e + p) - 3.57411909f;
}

float Exp2(float v) { return VLMExp2(S(v)).x; }
float Log2(float v) { return VLMLog2(S(v)).x; }

std::vector<float> Uniform(std::mt19937& rng, float lo, float hi, int count)
{
    std::uniform_real_distribution<float> u(lo, hi);
    std::vector<float> out(count);
    for (float& f : out)
        f = u(rng);
    return out;
}

// ---------------------------------------------------------------------------
// Sine and cosine

TEST(KernelSinCos, ExactReductionAndErrorGrowingOnlyWithTheArgument)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(11);
    for (float range : {4.0f, 100.0f, 1.0e4f, 1.0e6f}) {
        std::vector<float> in = Uniform(rng, -range, range, 4000);
        for (int k = -8; k <= 8; ++k)  // quarter turns, where the period count changes
            for (float d : {-1e-6f, 0.0f, 1e-6f})
                in.push_back(static_cast<float>(k * kPi / 4.0) + d);
        for (std::size_t i = 0; i + 4 <= in.size(); i += 4) {
            const VLMVector4 a = V(in[i], in[i + 1], in[i + 2], in[i + 3]);
            VLMVector4 s, c;
            VLMFastSinCos(a, s, c);
            ASSERT_TRUE(SameBits(s, V(RefSin(a.x), RefSin(a.y), RefSin(a.z), RefSin(a.w))));
            ASSERT_TRUE(SameBits(c, V(RefCos(a.x), RefCos(a.y), RefCos(a.z), RefCos(a.w))));
            ASSERT_TRUE(SameBits(VLMVector4Sin(a), s) && SameBits(VLMVector4Cos(a), c));
            ASSERT_TRUE(SameBits(VLMVector4CosTurns(a), V(RefCosTurns(a.x), RefCosTurns(a.y), RefCosTurns(a.z),
                                                            RefCosTurns(a.w))));
            for (int k = 0; k < 4; ++k) {
                // Polynomial error plus the phase error of a / (2 pi) in float.
                const double x = Lane(a, k), bound = 1.5e-6 + std::fabs(x) * 1.7e-7;
                ASSERT_LE(std::fabs(Lane(s, k) - std::sin(x)), bound) << x;
                ASSERT_LE(std::fabs(Lane(c, k) - std::cos(x)), bound) << x;
            }
        }
    }
}

TEST(KernelSinCos, RangeReductionRoundsInTheCurrentMode)
{
    // Under round-down the period count is the floor, and the kernel leaves its
    // polynomial's interval, exactly as a transcription using the same
    // conversion. Inputs are read afresh so that nothing is reused across a switch.
    const VLMVector4 a = V(4.0f, -4.0f, 10.0f, 2.5f);
    VLMVector4 nearest;
    {
        VLMScopedFPGuard guard;
        nearest = VLMVector4Cos(Opaque(a));
    }
    ControlWordScope scope(0x1F80u | (1u << 13));
    const VLMVector4 got = VLMVector4Cos(Opaque(a));
    const VLMVector4 in = Opaque(a);
    EXPECT_TRUE(SameBits(got, V(RefCos(in.x), RefCos(in.y), RefCos(in.z), RefCos(in.w))));
    EXPECT_FALSE(SameBits(got, nearest));
}

TEST(KernelSinCos, EdgesAndTheXWForms)
{
    VLMScopedFPGuard guard;
    EXPECT_LE(MaxDiff(VLMVector4Sin(V(0.0f, kHalfPiF, kPiF, -kHalfPiF)), {0, 1, 0, -1}), 2e-6);
    EXPECT_NEAR(VLMVector4Cos(S(2.0f * kPiF * 1000.0f)).x, 1.0f, 1e-4f);
    EXPECT_LE(MaxDiff(VLMVector4SinXYZCosW(S(kPiF / 6)), {0.5, 0.5, 0.5, std::sqrt(3.0) / 2}), 2e-6);
    // Only lanes x and w are rounded: y and z use lane x's period count.
    EXPECT_TRUE(SameBits(VLMVector4SinXYZCosW(V(1, 1, 1, 2)), V(RefSin(1), RefSin(1), RefSin(1), RefCos(2))));
    EXPECT_GT(std::fabs(VLMVector4SinXYZCosW(V(1, 10, 10, 2)).y - std::sin(10.0f)), 0.1f);

    EXPECT_LE(MaxDiff(VLMQuatFromAxisAngle(S(kPiF), V(0, 0, 1, 0)), {0, 0, 1, 0}), 2e-6);
    EXPECT_NEAR(VLMQuatFromAxisAngle(S(0.0f), V(0, 0, 1, 1)).w, 2.0f, 1e-5f);  // (axis.w + 1) cos h
    std::mt19937 rng(13);
    for (int i = 0; i < 500; ++i) {
        const VLMVector4 q = RandomUnitQuat(rng);  // its x, y, z serve as a random direction
        const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
        const VLMVector4 axis = V(q.x / n, q.y / n, q.z / n, 0);
        const float angle = std::uniform_real_distribution<float>(-20.0f, 20.0f)(rng);
        const double h = angle / 2.0;
        ASSERT_LE(MaxDiff(VLMQuatFromAxisAngle(S(angle), axis),
                          {axis.x * std::sin(h), axis.y * std::sin(h), axis.z * std::sin(h), std::cos(h)}),
                  4e-6);
    }
}

// ---------------------------------------------------------------------------
// Arc sine, arc cosine, triangle angle

TEST(KernelAsin, ErrorBoundAndEnds)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(21);
    std::vector<float> in = Uniform(rng, -1.0f, 1.0f, 4000);
    double worst = 0.0;
    for (std::size_t i = 0; i < in.size(); i += 4) {
        const VLMVector4 a = V(in[i], in[i + 1], in[i + 2], in[i + 3]);
        const VLMVector4 s = VLMFastAsin(a), c = VLMFastAcos(a);
        for (int k = 0; k < 4; ++k) {
            worst = std::max(worst, std::fabs(Lane(s, k) - std::asin(static_cast<double>(Lane(a, k)))));
            worst = std::max(worst, std::fabs(Lane(c, k) - std::acos(static_cast<double>(Lane(a, k)))));
            ASSERT_EQ(B(Lane(c, k)), B(kHalfPiF - Lane(s, k)));
        }
    }
    EXPECT_LE(worst, 2.3e-5);
    EXPECT_EQ(VLMFastAsin(S(1.0f)).x, kHalfPiF);  // u = 0: exact
    EXPECT_EQ(VLMFastAsin(S(-1.0f)).x, -kHalfPiF);
    EXPECT_EQ(VLMFastAcos(S(-1.0f)).x, kPiF);
    EXPECT_TRUE(std::isnan(VLMFastAsin(S(1.0001f)).x) && std::isnan(VLMFastAcos(S(-1.0001f)).x));
    EXPECT_TRUE(std::signbit(VLMFastAsin(S(-0.0f)).x));  // the sign bit decides
}

TEST(KernelTriangleAngle, LawOfCosinesWithClampedSides)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> side(0.1f, 10.0f);
    for (int i = 0; i < 2000; ++i) {
        const float a = side(rng), b = side(rng);
        const float c = std::uniform_real_distribution<float>(std::fabs(a - b) * 1.01f, (a + b) * 0.99f)(rng);
        const double cosine = (double(a) * a + double(b) * b - double(c) * c) / (2.0 * a * b);
        ASSERT_NEAR(VLMTriangleAngle(S(c), S(a), S(b)).x, std::acos(cosine), 2e-4) << a << " " << b << " " << c;
    }
    // c beyond a + b is a + b: a straight angle; a zero side makes 0 / 0, clamped to -1.
    const VLMVector4 lanes = VLMTriangleAngle(V(5, 2, 2, 1), V(1, 0, 2, 1), V(2, 2, 0, 1));
    EXPECT_TRUE(lanes.x == kPiF && lanes.y == kPiF && lanes.z == kPiF);
    EXPECT_NEAR(lanes.w, kPi / 3, 3e-5);
}

// ---------------------------------------------------------------------------
// Arc tangent

TEST(KernelAtan, RationalOrderQuadrantsAndReciprocalRule)
{
    std::mt19937 rng(31);
    std::normal_distribution<float> g(0.0f, 3.0f);
    double worst = 0.0;
    int reciprocalRulesDiffer = 0;
    for (int i = 0; i < 20000; ++i) {
        const float y = g(rng), x = g(rng);
        const float m = std::fabs(y);
        const float r = m < 1.0f ? RefR(m) : kHalfPiF - RefR(1.0f / m);
        ASSERT_EQ(B(VLMFastAtan(y)), B(y >= 0.0f ? r : -r)) << y;
        worst = std::max(worst, std::fabs(VLMFastAtan(y) - std::atan(double(y))));

        const float got = VLMFastAtan2(y, x);
        worst = std::max(worst, std::fabs(got - std::atan2(double(y), double(x))));
        if (std::fabs(y / x) >= 1.0f) {  // the library's rule: x / y afresh, not 1 / q
            ASSERT_EQ(B(got), B(kHalfPiF - RefR(x / y) - (y < 0.0f ? kPiF : 0.0f))) << y << ", " << x;
            reciprocalRulesDiffer += B(RefR(x / y)) != B(RefR(1.0f / (y / x)));
        }
        ASSERT_TRUE(got > -kPiF && got <= kPiF);
    }
    EXPECT_LE(worst, 1e-5);
    EXPECT_GT(reciprocalRulesDiffer, 0) << "the sample does not tell the two rules apart";

    struct Case {
        float y, x, want;
    };
    const Case cases[] = {
        {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, kHalfPiF}, {0.0f, -1.0f, kPiF}, {-1.0f, 0.0f, kHalfPiF - kPiF},
        {1.0f, -0.0f, kHalfPiF}, {-1.0f, -0.0f, kHalfPiF - kPiF},
        {-0.0f, -1.0f, kPiF},  // -0 counts as y >= 0: the negative x axis is +pi from both sides
        {-0.0f, 1.0f, -0.0f}, {kInf, 3.0f, kHalfPiF}, {-kInf, 3.0f, kHalfPiF - kPiF}, {2.0f, -kInf, kPiF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(B(VLMFastAtan2(c.y, c.x)), B(c.want)) << c.y << ", " << c.x;
    EXPECT_NEAR(VLMFastAtan2(1, -1), 3 * kPi / 4, 1e-5);
    EXPECT_NEAR(VLMFastAtan2(-1, -1), -3 * kPi / 4, 1e-5);
    EXPECT_TRUE(std::isnan(VLMFastAtan2(0.0f, 0.0f)) && std::isnan(VLMFastAtan2(-0.0f, -0.0f)));
    EXPECT_TRUE(std::isnan(VLMFastAtan2(kNaN, 1.0f)) && std::isnan(VLMFastAtan(kNaN)));
    EXPECT_EQ(VLMFastAtan(-kInf), -kHalfPiF);
    EXPECT_EQ(B(VLMFastAtan(-0.0f)), 0u);
    EXPECT_TRUE(SameBits(VLMVector4Atan(V(1.0f, 7.0f, kNaN, -3.0f)), S(VLMFastAtan(1.0f))));
    EXPECT_TRUE(SameBits(VLMVector4Atan2(V(1, 0, kNaN, 0), V(-1, 0, 0, kNaN)), S(VLMFastAtan2(1.0f, -1.0f))));
}

// ---------------------------------------------------------------------------
// Exponential family

TEST(KernelExp2, OrdinaryArgumentsAreBitIdenticalToTheUnclampedKernel)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(41);
    std::vector<float> in = Uniform(rng, -125.0f, 127.99f, 20000);
    for (float v : Uniform(rng, -2.0f, 2.0f, 4000))
        in.push_back(v);
    double worstAbove = 0.0, worstBelow = 0.0;  // f in [0, 1) and in (-1, 0]
    for (std::size_t i = 0; i < in.size(); ++i) {
        const float v = in[i];
        const VLMVector4 r = VLMExp2(V(v, kNaN, 1e30f, -kInf));
        ASSERT_TRUE(Splatted(r));
        ASSERT_EQ(B(r.x), B(RefExp2Unclamped(v))) << v;
        double& worst = v >= 0.0f ? worstAbove : worstBelow;
        worst = std::max(worst, std::fabs(r.x / std::exp2(double(v)) - 1.0));
    }
    EXPECT_LE(worstAbove, 1.7e-4);
    EXPECT_LE(worstBelow, 2.5e-4);
    EXPECT_NEAR(Exp2(-1.5f), 0.35355339, 1e-4);
}

TEST(KernelExp2, SaturatesForHugeInfiniteAndNaNArguments)
{
    {
        VLMScopedFPGuard guard;
        for (float v : {128.0f, 200.0f, 3.0e9f, FLT_MAX, kInf})  // used to wrap to 0 beyond the int range
            EXPECT_EQ(Exp2(v), kInf) << v;
        for (float v : {-200.0f, -600.0f, -3.0e9f, -FLT_MAX, -kInf})
            EXPECT_EQ(B(Exp2(v)), 0u) << v;
        EXPECT_TRUE(std::isnan(Exp2(kNaN)) && std::isnan(Exp2(-kNaN)));
        EXPECT_EQ(Exp2(Opaque(-130.0f)), 0.0f);  // flushed under the library's word
    }
    ControlWordScope scope(0x1F80u);  // no flush-to-zero: true denormals
    EXPECT_EQ(Exp2(Opaque(-130.0f)), std::ldexp(1.0f, -130));
    EXPECT_EQ(Exp2(Opaque(-149.0f)), std::ldexp(1.0f, -149));
    EXPECT_EQ(Exp2(Opaque(-151.0f)), 0.0f);
    EXPECT_NEAR(Exp2(Opaque(-126.5f)) / std::exp2(-126.5), 1.0, 3e-4);
}

TEST(KernelLog2, OrdinaryArgumentsFollowTheLibraryOrder)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    std::uniform_int_distribution<int> exponent(-126, 127);
    double worst = 0.0;
    int ordersDiffer = 0;
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(mantissa(rng), exponent(rng));
        const VLMVector4 r = VLMLog2(V(v, -1.0f, kNaN, 0.0f));
        ASSERT_TRUE(Splatted(r));
        ASSERT_EQ(B(r.x), B(RefLog2(v))) << v;
        ordersDiffer += B(RefLog2(v, true)) != B(RefLog2(v, false));
        worst = std::max(worst, std::fabs(r.x - std::log2(double(v))));
    }
    EXPECT_LE(worst, 7e-4);
    EXPECT_GT(ordersDiffer, 0) << "the sample does not tell the two summation orders apart";
    EXPECT_NEAR(Log2(8.0f), 3.0f, 7e-4f);
}

TEST(KernelLog2, ZeroNegativeNaNInfinityAndDenormals)
{
    VLMScopedFPGuard guard;
    for (float v : {0.0f, -0.0f, -3.0f, -kInf, -FLT_MIN})
        EXPECT_EQ(Log2(v), -kInf) << v;
    // These came out near 128 and near -3.57 when the bits were read as a normal number.
    EXPECT_EQ(Log2(kInf), kInf);
    EXPECT_TRUE(std::isnan(Log2(kNaN)) && std::isnan(Log2(-kNaN)));
    const float tiny = Opaque(F(0x00000200u));  // 2^-140
    EXPECT_NEAR(Log2(tiny), -140.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(1u))), -149.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(0x0036666Au))), std::log2(double(F(0x0036666Au))), 1e-3);
    ControlWordScope daz(VLM_LIBRARY_MXCSR | (1u << 6));  // denormal inputs read as zero
    EXPECT_EQ(Log2(Opaque(tiny)), -kInf);
}

TEST(KernelPow, PowerZeroBaseRuleAndSaturation)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(43);
    std::uniform_real_distribution<float> base(0.01f, 100.0f), power(-4.0f, 4.0f);
    for (int i = 0; i < 5000; ++i) {
        const float x = base(rng), y = power(rng);
        const float got = VLMPow(S(x), S(y)).x;
        ASSERT_EQ(B(got), B(Exp2(Log2(x) * y)));
        // log2's absolute error scaled by y, plus exp2's relative error.
        const double bound = (0.69315 * 7e-4 * std::fabs(y) + 2.5e-4) * 1.01;
        ASSERT_LE(std::fabs(got / std::pow(double(x), double(y)) - 1.0), bound) << x << "^" << y;
    }
    EXPECT_TRUE(Splatted(VLMPow(V(3, 1, 2, 4), V(2, 5, 6, 7))));
    EXPECT_NEAR(VLMPow(V(3, 1, 2, 4), V(2, 5, 6, 7)).w, 9.0f, 0.01f);
    EXPECT_EQ(VLMPow(S(0.0f), S(0.0f)).x, 1.0f);
    EXPECT_EQ(VLMPow(S(0.0f), S(2.0f)).x, 0.0f);
    EXPECT_EQ(VLMPow(S(0.0f), S(-2.0f)).x, 0.0f);
    EXPECT_TRUE(SameBits(VLMPow(S(-0.0f), V(3, 0, 1, 1)), S(1.0f)));  // any zero lane of y
    EXPECT_EQ(VLMPow(V(0, 5, 0, 0), S(2.0f)).x, 0.0f);                // any non-zero lane of x: log2 of lane x
    EXPECT_EQ(VLMPow(V(0, kNaN, 0, 0), S(-2.0f)).x, kInf);
    EXPECT_EQ(VLMPow(S(-2.0f), S(3.0f)).x, 0.0f);  // a negative base has the logarithm -inf
    EXPECT_EQ(VLMPow(S(-2.0f), S(-3.0f)).x, kInf);
    EXPECT_EQ(VLMPow(S(10.0f), S(1.0e10f)).x, kInf);  // the exponent product beyond the int range
    EXPECT_EQ(VLMPow(S(0.5f), S(1.0e10f)).x, 0.0f);
    EXPECT_EQ(VLMPow(S(kInf), S(2.0f)).x, kInf);
    EXPECT_TRUE(std::isnan(VLMPow(S(kNaN), S(2.0f)).x) && std::isnan(VLMPow(S(2.0f), S(kNaN)).x));
}

TEST(KernelFrexpLdexp, BitCases)
{
    struct FrexpCase {
        float v, m;
        int e;
    };
    const FrexpCase frexp[] = {
        {8.0f, 0.5f, 4}, {-3.0f, -0.75f, 2}, {FLT_MIN, 0.5f, -125}, {FLT_MAX, F(0x3F7FFFFFu), 128},
        {-0.0f, -0.0f, 0}, {F(0x00012345u), F(0x00012345u), 0},  // zero and denormals unchanged
        {-kInf, -kInf, 0}, {F(0x7FC01234u), F(0x7FC01234u), 0},  // and no longer 0.5 x 2^129
    };
    for (const FrexpCase& c : frexp) {
        int e = 99;
        EXPECT_TRUE(SameBits(VLMFrexp(V(c.v, 1, 2, 3), e), S(c.m))) << c.v;
        EXPECT_EQ(e, c.e) << c.v;
    }
    VLMVector4 ev, out;
    EXPECT_EQ(VLMFrexpVector(S(-40.0f), ev).x, -0.625f);
    EXPECT_TRUE(SameBits(ev, S(6.0f)));
    int e;
    EXPECT_EQ(&VLMFrexp(out, S(3.0f), e), &out);
    EXPECT_EQ(out.w, 0.75f);

    struct LdexpCase {
        float v;
        int n;
        float want;
    };
    const LdexpCase ldexp[] = {
        {0.75f, 3, 6.0f}, {-1.5f, -2, -0.375f}, {1.0f, 127, std::ldexp(1.0f, 127)}, {1.0f, 128, kInf},
        {-1.0f, INT_MAX, -kInf}, {-1.0f, INT_MIN, -0.0f},  // no wrap-around
        {1.0f, -126, FLT_MIN}, {0.0f, 50, 0.0f}, {-0.0f, 50, -0.0f}, {kInf, -5, kInf},
    };
    for (const LdexpCase& c : ldexp)
        EXPECT_TRUE(SameBits(VLMLdexp(V(c.v, 9, 9, 9), c.n), S(c.want))) << c.v << " " << c.n;
    EXPECT_TRUE(std::isnan(VLMLdexp(S(kNaN), 5).x));
    {
        ControlWordScope scope(0x1F80u);  // no flush-to-zero: true denormals both ways
        EXPECT_EQ(VLMLdexp(S(Opaque(1.5f)), -127).x, std::ldexp(1.5f, -127));
        EXPECT_EQ(VLMLdexp(S(Opaque(F(0x300u))), 30).x, std::ldexp(F(0x300u), 30));
        EXPECT_EQ(VLMLdexp(S(Opaque(F(0x300u))), 2).x, F(0xC00u));
    }
    VLMScopedFPGuard guard;
    EXPECT_EQ(B(VLMLdexp(S(Opaque(-1.5f)), -127).x), 0x80000000u);  // flushed to a signed zero
}

// ---------------------------------------------------------------------------
// Interpolation kernels and scalars

TEST(KernelInterpolation, SmoothStepAndBezier)
{
    VLMScopedFPGuard guard;
    const VLMVector4 r = VLMVector4SmoothStep(S(1.0f), S(3.0f), V(0.0f, 1.5f, 2.0f, 5.0f));
    EXPECT_TRUE(SameBits(r, V(0.0f, (0.25f * 0.25f) * (3.0f - (0.25f + 0.25f)), 0.5f, 1.0f)));
    // Equal edges: at or below gives 0 (a NaN ratio clamps to 0), above gives 1.
    EXPECT_TRUE(SameBits(VLMVector4SmoothStep(S(2.0f), S(2.0f), V(1.0f, 2.0f, 3.0f, 2.0f)), V(0, 0, 1, 0)));

    std::mt19937 rng(52);
    for (int i = 0; i < 500; ++i) {
        const VLMVector4 p0 = RandomVector(rng, 5, 1), p1 = RandomVector(rng, 5, 0), p2 = RandomVector(rng, 5, 2),
                         p3 = RandomVector(rng, 5, -1), t = RandomVector(rng, 1, 0.5f);
        const VLMVector4 b = VLMVector4Bezier3(t, p0, p1, p2, p3);
        for (int k = 0; k < 4; ++k) {
            const double u = Lane(t, k), w = 1 - u;
            const double want = w * w * w * Lane(p0, k) + 3 * w * w * u * Lane(p1, k) +
                                3 * w * u * u * Lane(p2, k) + u * u * u * Lane(p3, k);
            ASSERT_NEAR(Lane(b, k), want, 1e-5);
        }
        ASSERT_TRUE(SameBits(VLMVector4Bezier3(S(0.0f), p0, p1, p2, p3), p0));
        ASSERT_LE(MaxDiff(VLMVector4Bezier3(S(1.0f), p0, p1, p2, p3), Wide(p3)), 2e-6);  // a + (b - a) 1 rounds
    }
}

TEST(KernelInterpolation, SoftLimitApproachesItsLimits)
{
    VLMScopedFPGuard guard;
    const auto soft = [](float a, float b, float c, float d, float x) {
        return VLMSoftLimit(S(a), S(b), S(c), S(d), S(x)).x;
    };
    for (float x : {-1.0f, -0.5f, 0.0f, 0.7f, 1.0f})
        EXPECT_EQ(soft(-1, -2, 1, 2, x), x);
    EXPECT_EQ(soft(-1, -2, 1, 2, 3.0f), 1.5f);
    EXPECT_EQ(soft(-1, -2, 1, 2, -3.0f), -1.5f);
    float previous = 1.0f;  // continuous at the start, rising, bounded by the limit
    for (float x = 1.0001f; x < 1e7f; x *= 1.7f) {
        const float y = soft(-1, -2, 1, 2, x);
        ASSERT_GE(y, previous);
        ASSERT_LT(y, 2.0f);
        previous = y;
    }
    EXPECT_NEAR(soft(-1, -2, 1, 2, 1.0001f), 1.0001f, 1e-4f);
    EXPECT_NEAR(previous, 2.0f, 1e-5f);
    EXPECT_NEAR(soft(-1, -2, 1, 2, -1e7f), -2.0f, 1e-5f);
    // Limits on the far side of zero take s = 1.
    EXPECT_EQ(soft(-1, 0.5f, 1, -0.5f, 3.0f), 1.0f + (-1.5f * 2.0f) / (2.0f + 1.0f));
    EXPECT_EQ(soft(-1, 0.5f, 1, -0.5f, -3.0f), -1.0f + (-1.5f * -2.0f) / (2.0f + 1.0f));
    // A test that holds in any lane decides.
    EXPECT_EQ(VLMSoftLimit(S(-1), S(-2), S(1), S(2), V(3, -3, 0, 0)).x, -1.0f + (1.0f * 4.0f) / (4.0f + 2.0f));
    EXPECT_TRUE(std::isnan(VLMSoftLimit(S(-1), S(-2), S(1), S(2), S(kNaN)).x));

    EXPECT_EQ(VLMSignFloat(-0.0f), 1.0f);
    EXPECT_EQ(VLMSignFloat(-1e-30f), -1.0f);
    EXPECT_EQ(VLMSignFloat(kNaN), -1.0f);
    EXPECT_EQ(VLMRecipFloat(3.0f), 1.0f / 3.0f);  // a true division
    EXPECT_EQ(VLMRecipFloat(-0.0f), -kInf);
}

} // namespace

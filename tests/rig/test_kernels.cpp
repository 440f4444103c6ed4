// The scalar and vector kernels: bit for bit against float transcriptions of
// their evaluation orders, and against libm in double within the error bounds
// of their polynomials.
#include "rig/vlm_frame.h"
#include "rig/vlm_kernels.h"

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

const float kInf = INFINITY, kNaN = std::nanf("");
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

// 2^v as the unclamped kernel: exact exponent arithmetic on p, as long as the
// result is normal.
float RefExp2Unclamped(float v)
{
    const int n = _mm_cvttss_si32(_mm_set_ss(v));
    const float f = v - static_cast<float>(n);
    const float p = (((0.00993019249f * f + 0.0576519296f) * f + 0.240069807f) * f + 0.692348063f) * f + 1.0f;
    return F(B(p) + (static_cast<std::uint32_t>(n) << 23));
}

// log2 of a positive normal v, the offset subtracted first or last.
float RefLog2(float v, bool offsetFirst)
{
    const std::uint32_t field = B(v) & 0x7F800000u;
    const float m = F(B(v) - field + 0x3F000000u);
    const float e = static_cast<float>(static_cast<int>(field >> 23) - 126);
    const float p = m * (8.46045971f + m * (-9.08383369f + m * (5.64006901f - 1.44257617f * m)));
    return offsetFirst ? (p - 3.57411909f) + e : (e + p) - 3.57411909f;
}

float Exp2(float v) { return VLMExp2(S(v)).x; }
float Log2(float v) { return VLMLog2(S(v)).x; }

VLMVector4 Lanes(float (*f)(float), const VLMVector4& a) { return V(f(a.x), f(a.y), f(a.z), f(a.w)); }

TEST(KernelSinCos, ExactReductionAndErrorGrowingOnlyWithTheArgument)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(11);
    for (float range : {4.0f, 100.0f, 1.0e4f, 1.0e6f}) {
        std::uniform_real_distribution<float> u(-range, range);
        std::vector<float> in;
        for (int i = 0; i < 2000; ++i)
            in.push_back(u(rng));
        for (int k = -8; k <= 8; ++k)  // quarter turns, where the period count changes
            for (float d : {-1e-6f, 0.0f, 1e-6f, 0.0f})
                in.push_back(static_cast<float>(k * kPi / 4.0) + d);
        for (std::size_t i = 0; i + 4 <= in.size(); i += 4) {
            const VLMVector4 a = V(in[i], in[i + 1], in[i + 2], in[i + 3]);
            VLMVector4 s, c;
            VLMFastSinCos(a, s, c);
            ASSERT_TRUE(SameBits(s, Lanes(RefSin, a)) && SameBits(c, Lanes(RefCos, a)));
            ASSERT_TRUE(SameBits(VLMVector4Sin(a), s) && SameBits(VLMVector4Cos(a), c));
            ASSERT_TRUE(SameBits(VLMVector4CosTurns(a), Lanes(RefCosTurns, a)));
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
    EXPECT_TRUE(SameBits(got, Lanes(RefCos, Opaque(a))));
    EXPECT_FALSE(SameBits(got, nearest));
}

TEST(KernelSinCos, EdgesAndTheXWForms)
{
    VLMScopedFPGuard guard;
    EXPECT_NEAR(VLMVector4Cos(S(2.0f * kPiF * 1000.0f)).x, 1.0f, 1e-4f);
    EXPECT_LE(MaxDiff(VLMVector4SinXYZCosW(S(kPiF / 6)), {0.5, 0.5, 0.5, std::sqrt(3.0) / 2}), 2e-6);
    // Only lanes x and w are rounded: y and z use lane x's period count.
    EXPECT_TRUE(SameBits(VLMVector4SinXYZCosW(V(1, 1, 1, 2)), V(RefSin(1), RefSin(1), RefSin(1), RefCos(2))));
    EXPECT_GT(std::fabs(VLMVector4SinXYZCosW(V(1, 10, 10, 2)).y - std::sin(10.0f)), 0.1f);

    // Half the angle, then turns; sines in x, y, z and (axis.w + 1) times the cosine in w.
    EXPECT_LE(MaxDiff(VLMQuatFromAxisAngle(S(kPiF), V(0, 0, 1, 0)), {0, 0, 1, 0}), 2e-6);
    for (float angle : {-17.3f, -1.0f, 0.0f, 0.7f, 3.0f, 12.9f}) {
        const VLMVector4 axis = V(0.48f, -0.6f, 0.64f, 0.5f);
        const float s = RefSin(angle * 0.5f), c = RefCos(angle * 0.5f);
        EXPECT_TRUE(SameBits(VLMQuatFromAxisAngle(S(angle), axis), V(0.48f * s, -0.6f * s, 0.64f * s, 1.5f * c)));
    }
}

TEST(KernelAsin, ErrorBoundAndEnds)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    double worst = 0.0;
    for (int i = 0; i < 1000; ++i) {
        const VLMVector4 a = V(u(rng), u(rng), u(rng), u(rng));
        const VLMVector4 s = VLMFastAsin(a), c = VLMFastAcos(a);
        for (int k = 0; k < 4; ++k) {
            worst = std::max(worst, std::fabs(Lane(s, k) - std::asin(double(Lane(a, k)))));
            worst = std::max(worst, std::fabs(Lane(c, k) - std::acos(double(Lane(a, k)))));
            ASSERT_EQ(B(Lane(c, k)), B(kHalfPiF - Lane(s, k)));
        }
    }
    EXPECT_LE(worst, 2.3e-5);
    EXPECT_TRUE(VLMFastAsin(S(1.0f)).x == kHalfPiF && VLMFastAsin(S(-1.0f)).x == -kHalfPiF);  // u = 0: exact
    EXPECT_EQ(VLMFastAcos(S(-1.0f)).x, kPiF);
    EXPECT_TRUE(std::isnan(VLMFastAsin(S(1.0001f)).x) && std::isnan(VLMFastAcos(S(-1.0001f)).x));
    EXPECT_TRUE(std::signbit(VLMFastAsin(S(-0.0f)).x));  // the sign bit decides
}

TEST(KernelTriangleAngle, LawOfCosinesWithClampedSides)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> side(0.1f, 10.0f);
    for (int i = 0; i < 1000; ++i) {
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

TEST(KernelAtan, RationalOrderQuadrantsAndReciprocalRule)
{
    std::mt19937 rng(31);
    std::normal_distribution<float> g(0.0f, 3.0f);
    double worst = 0.0;
    int reciprocalRulesDiffer = 0;
    for (int i = 0; i < 10000; ++i) {
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

    const float cases[][3] = {
        // y, x, atan2
        {0.0f, 1.0f, 0.0f},
        {1.0f, 0.0f, kHalfPiF},
        {0.0f, -1.0f, kPiF},
        {-1.0f, 0.0f, kHalfPiF - kPiF},
        {1.0f, -0.0f, kHalfPiF},
        {-1.0f, -0.0f, kHalfPiF - kPiF},
        {-0.0f, -1.0f, kPiF},  // -0 counts as y >= 0: the negative x axis is +pi from both sides
        {-0.0f, 1.0f, -0.0f},
        {kInf, 3.0f, kHalfPiF},
        {-kInf, 3.0f, kHalfPiF - kPiF},
        {2.0f, -kInf, kPiF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(B(VLMFastAtan2(c[0], c[1])), B(c[2])) << c[0] << ", " << c[1];
    EXPECT_NEAR(VLMFastAtan2(1, -1), 3 * kPi / 4, 1e-5);
    EXPECT_NEAR(VLMFastAtan2(-1, -1), -3 * kPi / 4, 1e-5);
    EXPECT_TRUE(std::isnan(VLMFastAtan2(0.0f, 0.0f)) && std::isnan(VLMFastAtan2(-0.0f, -0.0f)));
    EXPECT_TRUE(std::isnan(VLMFastAtan2(kNaN, 1.0f)) && std::isnan(VLMFastAtan(kNaN)));
    EXPECT_EQ(VLMFastAtan(-kInf), -kHalfPiF);
    EXPECT_EQ(B(VLMFastAtan(-0.0f)), 0u);
    EXPECT_TRUE(SameBits(VLMVector4Atan(V(1.0f, 7.0f, kNaN, -3.0f)), S(VLMFastAtan(1.0f))));
    EXPECT_TRUE(SameBits(VLMVector4Atan2(V(1, 0, kNaN, 0), V(-1, 0, 0, kNaN)), S(VLMFastAtan2(1.0f, -1.0f))));
}

TEST(KernelExp2, OrdinaryArgumentsAreBitIdenticalToTheUnclampedKernel)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(41);
    std::uniform_real_distribution<float> wide(-125.0f, 127.99f), narrow(-2.0f, 2.0f);
    double worstAbove = 0.0, worstBelow = 0.0;  // f in [0, 1) and in (-1, 0]
    for (int i = 0; i < 20000; ++i) {
        const float v = i % 4 ? wide(rng) : narrow(rng);
        const VLMVector4 r = VLMExp2(V(v, kNaN, 1e30f, -kInf));
        ASSERT_TRUE(Splatted(r));
        ASSERT_EQ(B(r.x), B(RefExp2Unclamped(v))) << v;
        ASSERT_EQ(B(vlm_detail::Exp2Edges(v)), B(r.x)) << v;  // the edges' path agrees where both apply
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
        ASSERT_EQ(B(r.x), B(RefLog2(v, true))) << v;
        ordersDiffer += B(RefLog2(v, true)) != B(RefLog2(v, false));
        worst = std::max(worst, std::fabs(r.x - std::log2(double(v))));
    }
    EXPECT_LE(worst, 7e-4);
    EXPECT_GT(ordersDiffer, 0) << "the sample does not tell the two summation orders apart";
}

TEST(KernelLog2, ZeroNegativeNaNInfinityAndDenormals)
{
    VLMScopedFPGuard guard;
    for (float v : {0.0f, -0.0f, -3.0f, -kInf, -FLT_MIN, -F(1u)})
        EXPECT_EQ(Log2(v), -kInf) << v;
    // These came out near 128 and near -3.57 when the bits were read as a normal number.
    EXPECT_EQ(Log2(kInf), kInf);
    EXPECT_TRUE(std::isnan(Log2(kNaN)) && std::isnan(Log2(-kNaN)));
    EXPECT_NEAR(Log2(Opaque(F(0x00000200u))), -140.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(1u))), -149.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(0x0036666Au))), std::log2(double(F(0x0036666Au))), 1e-3);
    ControlWordScope daz(VLM_LIBRARY_MXCSR | (1u << 6));  // denormal inputs read as zero
    EXPECT_EQ(Log2(Opaque(F(0x00000200u))), -kInf);
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
    const VLMVector4 lanes = VLMPow(V(3, 1, 2, 4), V(2, 5, 6, 7));  // lane x only, splatted
    EXPECT_TRUE(Splatted(lanes) && std::fabs(lanes.w - 9.0f) < 0.01f);
    EXPECT_TRUE(VLMPow(S(0), S(0)).x == 1.0f && VLMPow(S(0), S(2)).x == 0.0f && VLMPow(S(0), S(-2)).x == 0.0f);
    EXPECT_TRUE(SameBits(VLMPow(S(-0.0f), V(3, 0, 1, 1)), S(1.0f)));  // any zero lane of y
    EXPECT_EQ(VLMPow(V(0, 5, 0, 0), S(2.0f)).x, 0.0f);                // any non-zero lane of x: log2 of lane x
    EXPECT_EQ(VLMPow(V(0, kNaN, 0, 0), S(-2.0f)).x, kInf);
    EXPECT_TRUE(VLMPow(S(-2), S(3)).x == 0.0f && VLMPow(S(-2), S(-3)).x == kInf);           // log2 of a negative: -inf
    EXPECT_TRUE(VLMPow(S(10), S(1e10f)).x == kInf && VLMPow(S(0.5f), S(1e10f)).x == 0.0f);  // beyond the int range
    EXPECT_EQ(VLMPow(S(kInf), S(2.0f)).x, kInf);
    EXPECT_TRUE(std::isnan(VLMPow(S(kNaN), S(2.0f)).x) && std::isnan(VLMPow(S(2.0f), S(kNaN)).x));
}

TEST(KernelFrexpLdexp, BitCases)
{
    const float frexp[][3] = {
        // v, m, e
        {8.0f, 0.5f, 4},       {-3.0f, -0.75f, 2},
        {FLT_MIN, 0.5f, -125}, {FLT_MAX, F(0x3F7FFFFFu), 128},
        {-0.0f, -0.0f, 0},     {F(0x00012345u), F(0x00012345u), 0},  // zero and denormals unchanged
        {-kInf, -kInf, 0},     {F(0x7FC01234u), F(0x7FC01234u), 0},  // and no longer 0.5 x 2^129
    };
    for (const auto& c : frexp) {
        int e = 99;
        EXPECT_TRUE(SameBits(VLMFrexp(V(c[0], 1, 2, 3), e), S(c[1])) && e == c[2]) << c[0];
    }
    VLMVector4 ev;
    EXPECT_TRUE(VLMFrexpVector(S(-40.0f), ev).x == -0.625f && SameBits(ev, S(6.0f)));

    const struct {
        float v;
        int n;
        float want;
    } ldexp[] = {
        {0.75f, 3, 6.0f},      {-1.5f, -2, -0.375f},    {1.0f, 127, std::ldexp(1.0f, 127)},
        {1.0f, 128, kInf},     {-1.0f, INT_MAX, -kInf}, {-1.0f, INT_MIN, -0.0f},  // no wrap-around
        {1.0f, -126, FLT_MIN}, {0.0f, 50, 0.0f},        {-0.0f, 50, -0.0f},
        {kInf, -5, kInf},
    };
    for (const auto& c : ldexp)
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

TEST(KernelInterpolation, SmoothStepBezierAndSoftLimit)
{
    VLMScopedFPGuard guard;
    const VLMVector4 r = VLMVector4SmoothStep(S(1.0f), S(3.0f), V(0.0f, 1.5f, 2.0f, 5.0f));
    EXPECT_TRUE(SameBits(r, V(0.0f, (0.25f * 0.25f) * (3.0f - (0.25f + 0.25f)), 0.5f, 1.0f)));
    // Equal edges: at or below gives 0 (a NaN ratio clamps to 0), above gives 1.
    EXPECT_TRUE(SameBits(VLMVector4SmoothStep(S(2.0f), S(2.0f), V(1.0f, 2.0f, 3.0f, 2.0f)), V(0, 0, 1, 0)));

    // Repeated linear interpolation, a + (b - a) t at every step.
    const auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
    const VLMVector4 t = V(0.0f, 0.3f, 0.77f, 1.0f), p0 = V(1, -2, 3, 9), p1 = V(4, 0.5f, -1, 2),
                     p2 = V(-3, 7, 2, 0.1f), p3 = V(8, 1, -5, 6);
    const VLMVector4 b = VLMVector4Bezier3(t, p0, p1, p2, p3);
    for (int k = 0; k < 4; ++k) {
        const float u = Lane(t, k), a1 = lerp(Lane(p0, k), Lane(p1, k), u), b1 = lerp(Lane(p1, k), Lane(p2, k), u),
                    c1 = lerp(Lane(p2, k), Lane(p3, k), u);
        EXPECT_EQ(B(Lane(b, k)), B(lerp(lerp(a1, b1, u), lerp(b1, c1, u), u))) << k;
    }
    EXPECT_TRUE(b.x == 1.0f && std::fabs(b.w - 6.0f) < 1e-6f);

    const auto soft = [](float x) { return VLMSoftLimit(S(-1), S(-2), S(1), S(2), S(x)).x; };
    for (float x : {-1.0f, -0.5f, 0.0f, 0.7f, 1.0f})
        EXPECT_EQ(soft(x), x);
    EXPECT_TRUE(soft(3.0f) == 1.5f && soft(-3.0f) == -1.5f);
    EXPECT_NEAR(soft(1.0001f), 1.0001f, 1e-4f);  // continuous at the start, bounded by the limits
    EXPECT_TRUE(std::fabs(soft(1e7f) - 2.0f) < 1e-5f && soft(1e7f) < 2.0f && std::fabs(soft(-1e7f) + 2.0f) < 1e-5f);
    // Limits on the far side of zero take s = 1.
    EXPECT_EQ(VLMSoftLimit(S(-1), S(0.5f), S(1), S(-0.5f), S(3)).x, 1.0f + (-1.5f * 2.0f) / (2.0f + 1.0f));
    EXPECT_EQ(VLMSoftLimit(S(-1), S(0.5f), S(1), S(-0.5f), S(-3)).x, -1.0f + (-1.5f * -2.0f) / (2.0f + 1.0f));
    // A test that holds in any lane decides.
    EXPECT_EQ(VLMSoftLimit(S(-1), S(-2), S(1), S(2), V(3, -3, 0, 0)).x, -1.0f + (1.0f * 4.0f) / (4.0f + 2.0f));
    EXPECT_TRUE(std::isnan(soft(kNaN)));

    EXPECT_TRUE(VLMSignFloat(-0.0f) == 1.0f && VLMSignFloat(-1e-30f) == -1.0f && VLMSignFloat(kNaN) == -1.0f);
    EXPECT_TRUE(VLMRecipFloat(3.0f) == 1.0f / 3.0f && VLMRecipFloat(-0.0f) == -kInf);  // a true division
}

}  // namespace

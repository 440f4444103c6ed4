// The scalar and vector kernels: bit for bit against scalar transcriptions of
// their documented evaluation orders, and against libm in double within the error
// bounds of the polynomials.
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
const double kPi = 3.14159265358979323846;

// Round-down caller word: no flush-to-zero, everything masked.
constexpr std::uint32_t kRoundDownWord = 0x1F80u | (1u << 13);

// ---- scalar transcriptions of the kernels (float arithmetic, same order)

float RefCosTurns(float t)
{
    const float k = static_cast<float>(_mm_cvtss_si32(_mm_set_ss(t)));  // current rounding mode
    const float u = t - k;
    const float v = 0.25f - std::fabs(u);
    const float v2 = v * v;
    float p = -71.3426819f * v2;
    p = p + 81.390831f;
    p = p * v2;
    p = p + -41.3392105f;
    p = p * v2;
    p = p + 6.28318548f;
    return v * p;
}
float RefSin(float a) { return RefCosTurns(a * 0.159154937f + -0.25f); }
float RefCos(float a) { return RefCosTurns(a * 0.159154937f); }

float RefAsin(float a)
{
    const float s = std::signbit(a) ? -1.0f : 1.0f;
    const float u = 1.0f - std::fabs(a);
    float p = 0.00632429775f * u;
    p = p + 0.000790629594f;
    p = p * u;
    p = p + 0.0203719586f;
    p = p * u;
    p = p + 0.0832338482f;
    p = p * u;
    p = p + 1.0f;
    const float r = std::sqrt(u + u) * p;
    return (1.57079637f - r) * s;
}

// The library's order of the rational arc tangent.
float RefR(float t)
{
    const float t2 = t * t;
    const float num = t + 0.431579739f * (t2 * t);
    const float den = (1.0f + 0.764439464f * t2) + 0.0583193786f * (t2 * t2);
    return num / den;
}

// 2^v without the argument clamp: truncation through the int conversion, then
// the exponent arithmetic. Away from the edges it is the library's kernel.
float RefExp2Unclamped(float v)
{
    const int n = _mm_cvttss_si32(_mm_set_ss(v));
    const float f = v - static_cast<float>(n);
    float p = 0.00993019249f * f;
    p = p + 0.0576519296f;
    p = p * f;
    p = p + 0.240069807f;
    p = p * f;
    p = p + 0.692348063f;
    p = p * f;
    p = p + 1.0f;
    const std::uint32_t b = B(p);
    const long long r = static_cast<long long>(b & 0x7FFFFFFFu) + static_cast<long long>(n) * (1LL << 23);
    const std::uint32_t mag = r < 0 ? 0u : (r > 0x7F800000LL ? 0x7F800000u : static_cast<std::uint32_t>(r));
    return F((b & 0x80000000u) | mag);
}

// log2 of a normal positive v in the library's order: (P(m) - offset) + e.
float RefLog2(float v, bool offsetFirst = true)
{
    const std::uint32_t b = B(v);
    const std::uint32_t field = b & 0x7F800000u;
    const float m = F(b - field + 0x3F000000u);
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

TEST(KernelSinCos, FollowTheDocumentedReductionBitForBit)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(11);
    std::vector<float> inputs = Uniform(rng, -10.0f, 10.0f, 2000);
    for (float big : Uniform(rng, -1.0e6f, 1.0e6f, 2000))
        inputs.push_back(big);
    // Turn and quarter-turn boundaries, where the period count changes.
    for (int k = -8; k <= 8; ++k)
        for (float d : {-1e-6f, 0.0f, 1e-6f})
            inputs.push_back(static_cast<float>(k * kPi / 4.0) + d);
    while (inputs.size() % 4)
        inputs.push_back(0.0f);

    for (std::size_t i = 0; i < inputs.size(); i += 4) {
        const VLMVector4 a = V(inputs[i], inputs[i + 1], inputs[i + 2], inputs[i + 3]);
        VLMVector4 s, c;
        VLMFastSinCos(a, s, c);
        const VLMVector4 want_s = V(RefSin(a.x), RefSin(a.y), RefSin(a.z), RefSin(a.w));
        const VLMVector4 want_c = V(RefCos(a.x), RefCos(a.y), RefCos(a.z), RefCos(a.w));
        ASSERT_TRUE(SameBits(s, want_s)) << "at " << a.x;
        ASSERT_TRUE(SameBits(c, want_c)) << "at " << a.x;
        ASSERT_TRUE(SameBits(VLMVector4Sin(a), want_s));
        ASSERT_TRUE(SameBits(VLMVector4Cos(a), want_c));
        ASSERT_TRUE(SameBits(VLMVector4CosTurns(a), V(RefCosTurns(a.x), RefCosTurns(a.y), RefCosTurns(a.z),
                                                        RefCosTurns(a.w))));
    }

    // The outputs may alias the argument.
    VLMVector4 a = V(0.5f, 1.0f, 2.0f, 3.0f);
    VLMVector4 c;
    VLMFastSinCos(a, a, c);
    EXPECT_TRUE(SameBits(a, V(RefSin(0.5f), RefSin(1.0f), RefSin(2.0f), RefSin(3.0f))));
}

TEST(KernelSinCos, ErrorAgainstLibmGrowsOnlyThroughTheReduction)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(12);
    for (float range : {4.0f, 100.0f, 1.0e4f, 1.0e6f}) {
        double worst_scaled = 0.0;
        for (float x : Uniform(rng, -range, range, 4000)) {
            VLMVector4 s, c;
            VLMFastSinCos(S(x), s, c);
            // Polynomial error plus the phase error of the 1/(2 pi) product, which
            // grows with |a| (float rounding of a/(2 pi) and of the constant).
            const double bound = 1.5e-6 + std::fabs(x) * 1.7e-7;
            const double es = std::fabs(s.x - std::sin(static_cast<double>(x)));
            const double ec = std::fabs(c.x - std::cos(static_cast<double>(x)));
            ASSERT_LE(es, bound) << "sin " << x;
            ASSERT_LE(ec, bound) << "cos " << x;
            worst_scaled = std::max(worst_scaled, std::max(es, ec) / bound);
        }
        EXPECT_GT(worst_scaled, 0.05) << "the bound is not far from what is seen at range " << range;
    }
}

TEST(KernelSinCos, RangeReductionRoundsInTheCurrentMode)
{
    // Under a round-down word the period count is the floor, not the nearest
    // integer: the kernel then leaves its polynomial's interval, exactly as the
    // transcription using the same conversion instruction does. Inputs are read
    // afresh after each switch so that no result is reused across it.
    const VLMVector4 a = V(4.0f, -4.0f, 10.0f, 2.5f);
    VLMVector4 nearest;
    {
        VLMScopedFPGuard guard;
        nearest = VLMVector4Cos(Opaque(a));
    }
    ControlWordScope scope(kRoundDownWord);
    const VLMVector4 got = VLMVector4Cos(Opaque(a));
    const VLMVector4 in = Opaque(a);
    EXPECT_TRUE(SameBits(got, V(RefCos(in.x), RefCos(in.y), RefCos(in.z), RefCos(in.w))));
    EXPECT_FALSE(SameBits(got, nearest));
}

TEST(KernelSinCos, EdgeValuesAndSplattedForms)
{
    VLMScopedFPGuard guard;
    const float pi = 3.14159274f;
    const VLMVector4 s = VLMVector4Sin(V(0.0f, pi / 2, pi, -pi / 2));
    EXPECT_LE(MaxDiff(s, {0, 1, 0, -1}), 2e-6);
    EXPECT_NEAR(VLMVector4Cos(S(2.0f * pi * 1000.0f)).x, 1.0f, 1e-4f);
    EXPECT_NEAR(VLMVector4CosTurns(V(0.25f, 0.5f, 3.0f, -1.5f)).y, -1.0f, 2e-6f);

    EXPECT_LE(MaxDiff(VLMVector4SinXYZCosW(S(pi / 6)), {0.5, 0.5, 0.5, std::sqrt(3.0) / 2}), 2e-6);
    // Lanes x and w are rounded, lane x's count serves y and z, whatever y and z hold.
    const VLMVector4 t = V(1.0f, 1.0f, 1.0f, 2.0f);
    const VLMVector4 sc = VLMVector4SinXYZCosW(t);
    EXPECT_TRUE(SameBits(sc, V(RefSin(1.0f), RefSin(1.0f), RefSin(1.0f), RefCos(2.0f))));
    const VLMVector4 odd = VLMVector4SinXYZCosW(V(1.0f, 10.0f, 10.0f, 2.0f));  // y, z use x's count
    EXPECT_GT(std::fabs(odd.y - std::sin(10.0f)), 0.1f);

    // Axis-angle quaternions against the double formula.
    EXPECT_LE(MaxDiff(VLMQuatFromAxisAngle(S(pi), V(0, 0, 1, 0)), {0, 0, 1, 0}), 2e-6);
    std::mt19937 rng(13);
    for (int i = 0; i < 500; ++i) {
        const D4 axis = Normalized({std::normal_distribution<double>()(rng), std::normal_distribution<double>()(rng),
                                    std::normal_distribution<double>()(rng), 0.0});
        const float angle = std::uniform_real_distribution<float>(-20.0f, 20.0f)(rng);
        const VLMVector4 q = VLMQuatFromAxisAngle(
            S(angle), V(static_cast<float>(axis[0]), static_cast<float>(axis[1]), static_cast<float>(axis[2]), 0));
        const double h = angle / 2.0;
        ASSERT_LE(MaxDiff(q, {axis[0] * std::sin(h), axis[1] * std::sin(h), axis[2] * std::sin(h), std::cos(h)}),
                  4e-6);
    }
    // The w lane of the axis scales the cosine by (axis.w + 1).
    EXPECT_NEAR(VLMQuatFromAxisAngle(S(0.0f), V(0, 0, 1, 1)).w, 2.0f, 1e-5f);
}

// ---------------------------------------------------------------------------
// Arc sine, arc cosine, triangle angle

TEST(KernelAsin, DocumentedOrderAndErrorBound)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(21);
    std::vector<float> inputs = Uniform(rng, -1.0f, 1.0f, 4000);
    for (float e : {-1.0f, -0.999999f, -0.5f, -0.0f, 0.0f, 1e-7f, 0.5f, 0.9999f, 1.0f})
        inputs.push_back(e);
    while (inputs.size() % 4)
        inputs.push_back(0.25f);
    double worst = 0.0;
    for (std::size_t i = 0; i < inputs.size(); i += 4) {
        const VLMVector4 a = V(inputs[i], inputs[i + 1], inputs[i + 2], inputs[i + 3]);
        const VLMVector4 s = VLMFastAsin(a);
        ASSERT_TRUE(SameBits(s, V(RefAsin(a.x), RefAsin(a.y), RefAsin(a.z), RefAsin(a.w))));
        const VLMVector4 c = VLMFastAcos(a);
        for (int k = 0; k < 4; ++k) {
            const double x = Lane(a, k);
            worst = std::max(worst, std::fabs(Lane(s, k) - std::asin(x)));
            worst = std::max(worst, std::fabs(Lane(c, k) - std::acos(x)));
            ASSERT_EQ(B(Lane(c, k)), B(1.57079637f - Lane(s, k)));
        }
    }
    EXPECT_LE(worst, 2.3e-5);
    EXPECT_GT(worst, 1.0e-5);  // the polynomial's own error, not a library call

    EXPECT_EQ(VLMFastAsin(S(1.0f)).x, 1.57079637f);
    EXPECT_EQ(VLMFastAsin(S(-1.0f)).x, -1.57079637f);
    EXPECT_TRUE(std::isnan(VLMFastAsin(S(1.0001f)).x));
    EXPECT_TRUE(std::isnan(VLMFastAcos(S(-1.0001f)).x));
    EXPECT_EQ(VLMFastAcos(S(-1.0f)).x, 3.14159274f);
    EXPECT_TRUE(std::signbit(VLMFastAsin(S(-0.0f)).x));  // the sign bit decides, -0 gives -1 x r
}

TEST(KernelTriangleAngle, LawOfCosinesWithClampedSides)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> side(0.1f, 10.0f);
    for (int i = 0; i < 2000; ++i) {
        const float a = side(rng), b = side(rng);
        const float c = std::uniform_real_distribution<float>(std::fabs(a - b) * 1.01f, (a + b) * 0.99f)(rng);
        const double want =
            std::acos((static_cast<double>(a) * a + static_cast<double>(b) * b - static_cast<double>(c) * c) /
                      (2.0 * a * b));
        ASSERT_NEAR(VLMTriangleAngle(S(c), S(a), S(b)).x, want, 2e-4) << a << " " << b << " " << c;
    }
    EXPECT_EQ(VLMTriangleAngle(S(5.0f), S(1.0f), S(2.0f)).x, 3.14159274f);  // c > a + b: straight
    EXPECT_EQ(VLMTriangleAngle(S(2.0f), S(0.0f), S(2.0f)).x, 3.14159274f);  // 0/0 cosine -> -1
    EXPECT_EQ(VLMTriangleAngle(S(2.0f), S(2.0f), S(0.0f)).x, 3.14159274f);
    EXPECT_NEAR(VLMTriangleAngle(S(std::sqrt(2.0f)), S(1.0f), S(1.0f)).x, kPi / 2, 3e-5);
    const VLMVector4 lanes = VLMTriangleAngle(V(1, 2, 3, 4), V(1, 1, 1, 4), V(1, 1, 2, 4));
    EXPECT_NEAR(lanes.x, kPi / 3, 3e-5);
    EXPECT_EQ(lanes.y, 3.14159274f);
    EXPECT_EQ(lanes.z, 3.14159274f);
    EXPECT_NEAR(lanes.w, kPi / 3, 3e-5);
}

// ---------------------------------------------------------------------------
// Arc tangent

TEST(KernelAtan, RationalOrderAndErrorBound)
{
    std::mt19937 rng(31);
    std::vector<float> inputs = Uniform(rng, -4.0f, 4.0f, 3000);
    for (float big : Uniform(rng, -1.0e6f, 1.0e6f, 500))
        inputs.push_back(big);
    double worst = 0.0;
    for (float x : inputs) {
        const float m = std::fabs(x);
        const float r = m < 1.0f ? RefR(m) : 1.57079637f - RefR(1.0f / m);
        ASSERT_EQ(B(VLMFastAtan(x)), B(x >= 0.0f ? r : -r)) << x;
        worst = std::max(worst, std::fabs(VLMFastAtan(x) - std::atan(static_cast<double>(x))));
    }
    EXPECT_LE(worst, 7e-6);
    EXPECT_EQ(VLMFastAtan(kInf), 1.57079637f);
    EXPECT_EQ(VLMFastAtan(-kInf), -1.57079637f);
    EXPECT_EQ(B(VLMFastAtan(-0.0f)), 0u);  // -0 takes the non-negative side
    EXPECT_TRUE(std::isnan(VLMFastAtan(kNaN)));
    EXPECT_TRUE(SameBits(VLMVector4Atan(V(1.0f, 7.0f, kNaN, -3.0f)), S(VLMFastAtan(1.0f))));
}

TEST(KernelAtan2, AllQuadrantsAxesAndSignedZeros)
{
    std::mt19937 rng(32);
    std::normal_distribution<float> g(0.0f, 3.0f);
    double worst = 0.0;
    int reciprocal_differs = 0;
    for (int i = 0; i < 20000; ++i) {
        const float y = g(rng), x = g(rng);
        const float got = VLMFastAtan2(y, x);
        worst = std::max(worst, std::fabs(got - std::atan2(static_cast<double>(y), static_cast<double>(x))));
        if (std::fabs(y / x) >= 1.0f) {
            // The library's rule: x / y afresh, not 1 / q.
            float want = 1.57079637f - RefR(x / y);
            if (y < 0.0f)
                want -= 3.14159274f;
            ASSERT_EQ(B(got), B(want)) << y << ", " << x;
            if (B(1.57079637f - RefR(1.0f / (y / x))) != B(1.57079637f - RefR(x / y)))
                ++reciprocal_differs;
        }
    }
    EXPECT_LE(worst, 1e-5);
    EXPECT_GT(reciprocal_differs, 0) << "the sample does not tell the two reciprocal rules apart";

    const float pi = 3.14159274f, half = 1.57079637f;
    EXPECT_NEAR(VLMFastAtan2(1, -1), 3 * kPi / 4, 1e-5);
    EXPECT_NEAR(VLMFastAtan2(-1, -1), -3 * kPi / 4, 1e-5);
    EXPECT_NEAR(VLMFastAtan2(1, 1), kPi / 4, 1e-5);
    EXPECT_NEAR(VLMFastAtan2(-1, 1), -kPi / 4, 1e-5);
    // Axes.
    EXPECT_EQ(VLMFastAtan2(0.0f, 1.0f), 0.0f);
    EXPECT_EQ(VLMFastAtan2(1.0f, 0.0f), half);
    EXPECT_EQ(VLMFastAtan2(0.0f, -1.0f), pi);
    EXPECT_EQ(VLMFastAtan2(-1.0f, 0.0f), half - pi);
    EXPECT_EQ(VLMFastAtan2(1.0f, -0.0f), half);
    EXPECT_EQ(VLMFastAtan2(-1.0f, -0.0f), half - pi);
    // Signed zeros: -0 counts as y >= 0, so the negative x axis is +pi from both sides.
    EXPECT_EQ(VLMFastAtan2(-0.0f, -1.0f), pi);
    EXPECT_EQ(B(VLMFastAtan2(-0.0f, 1.0f)), B(-0.0f));
    EXPECT_TRUE(std::isnan(VLMFastAtan2(0.0f, 0.0f)));
    EXPECT_TRUE(std::isnan(VLMFastAtan2(-0.0f, -0.0f)));
    EXPECT_TRUE(std::isnan(VLMFastAtan2(kNaN, 1.0f)));
    EXPECT_EQ(VLMFastAtan2(kInf, 3.0f), half);
    EXPECT_EQ(VLMFastAtan2(-kInf, 3.0f), half - pi);
    EXPECT_EQ(VLMFastAtan2(2.0f, -kInf), pi);
    // Results stay in (-pi, pi].
    for (int i = 0; i < 2000; ++i) {
        const float r = VLMFastAtan2(g(rng), g(rng));
        ASSERT_TRUE(r > -pi && r <= pi) << r;
    }
    EXPECT_TRUE(SameBits(VLMVector4Atan2(V(1.0f, 0.0f, kNaN, 0.0f), V(-1.0f, 0.0f, 0.0f, kNaN)),
                         S(VLMFastAtan2(1.0f, -1.0f))));
}

// ---------------------------------------------------------------------------
// Exponential family

TEST(KernelExp2, OrdinaryArgumentsAreBitIdenticalToTheUnclampedKernel)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(41);
    std::vector<float> inputs = Uniform(rng, -125.0f, 127.99f, 20000);
    for (float v : Uniform(rng, -2.0f, 2.0f, 5000))
        inputs.push_back(v);
    for (float v : {-125.0f, -1.5f, -1.0f, -0.0f, 0.0f, 0.5f, 1.0f, 127.0f, 127.999f})
        inputs.push_back(v);
    double worst_above = 0.0, worst_below = 0.0;
    for (float v : inputs) {
        const VLMVector4 r = VLMExp2(V(v, kNaN, 1e30f, -kInf));
        ASSERT_TRUE(Splatted(r));
        ASSERT_EQ(B(r.x), B(RefExp2Unclamped(v))) << v;
        const double rel = std::fabs(r.x / std::exp2(static_cast<double>(v)) - 1.0);
        double& worst = v >= 0.0f ? worst_above : worst_below;  // f in [0, 1) or (-1, 0]
        worst = std::max(worst, rel);
    }
    EXPECT_LE(worst_above, 1.7e-4);
    EXPECT_LE(worst_below, 2.5e-4);
    // The path for the edges gives the same bits on ordinary arguments.
    for (std::size_t i = 0; i < inputs.size(); i += 4) {
        const __m128 v = _mm_setr_ps(inputs[i], inputs[(i + 1) % inputs.size()], inputs[(i + 2) % inputs.size()],
                                     inputs[(i + 3) % inputs.size()]);
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, vlm_detail::Exp2Edges(v));
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(B(lanes[k]), B(Exp2(inputs[(i + k) % inputs.size()])));
    }
    EXPECT_NEAR(Exp2(-1.5f), 0.35355339, 1e-4);
}

TEST(KernelExp2, SaturatesInsteadOfWrappingForHugeInfiniteAndNaNArguments)
{
    VLMScopedFPGuard guard;
    EXPECT_EQ(Exp2(128.0f), kInf);
    EXPECT_EQ(Exp2(200.0f), kInf);
    EXPECT_EQ(Exp2(-200.0f), 0.0f);
    EXPECT_EQ(Exp2(-600.0f), 0.0f);
    // Beyond the int range the truncation used to saturate and give 0.
    EXPECT_EQ(Exp2(kInf), kInf);
    EXPECT_EQ(Exp2(3.0e9f), kInf);
    EXPECT_EQ(Exp2(FLT_MAX), kInf);
    EXPECT_EQ(Exp2(-kInf), 0.0f);
    EXPECT_EQ(Exp2(-3.0e9f), 0.0f);
    EXPECT_EQ(Exp2(-FLT_MAX), 0.0f);
    EXPECT_TRUE(std::isnan(Exp2(kNaN)));
    EXPECT_TRUE(std::isnan(Exp2(-kNaN)));
    // The results just below the normal range are flushed under the library word...
    EXPECT_EQ(Exp2(Opaque(-130.0f)), 0.0f);
}

TEST(KernelExp2, ResultsBelowTheNormalRangeAreTrueDenormalsOutsideFlushToZero)
{
    ControlWordScope scope(0x1F80u);  // round to nearest, no flush-to-zero
    EXPECT_EQ(Exp2(-130.0f), std::ldexp(1.0f, -130));
    EXPECT_EQ(Exp2(-149.0f), std::ldexp(1.0f, -149));
    EXPECT_EQ(Exp2(-151.0f), 0.0f);
    EXPECT_NEAR(Exp2(-126.5f) / std::exp2(-126.5), 1.0, 3e-4);
}

TEST(KernelLog2, OrdinaryArgumentsFollowTheLibraryOrder)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    std::uniform_int_distribution<int> exponent(-126, 127);
    double worst = 0.0;
    int orders_differ = 0;
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(mantissa(rng), exponent(rng));
        const VLMVector4 r = VLMLog2(V(v, -1.0f, kNaN, 0.0f));
        ASSERT_TRUE(Splatted(r));
        ASSERT_EQ(B(r.x), B(RefLog2(v))) << v;
        if (B(RefLog2(v, true)) != B(RefLog2(v, false)))
            ++orders_differ;
        worst = std::max(worst, std::fabs(r.x - std::log2(static_cast<double>(v))));
        ASSERT_EQ(B(_mm_cvtss_f32(vlm_detail::Log2Edges(_mm_set1_ps(v)))), B(r.x));  // the edges' path agrees
    }
    EXPECT_LE(worst, 7e-4);
    EXPECT_GT(orders_differ, 0) << "the sample does not tell the two summation orders apart";
    EXPECT_NEAR(Log2(8.0f), 3.0f, 7e-4f);
    EXPECT_NEAR(Log2(FLT_MAX), 128.0f, 7e-4f);
}

TEST(KernelLog2, EdgesNaNInfinityAndDenormals)
{
    VLMScopedFPGuard guard;
    EXPECT_EQ(Log2(0.0f), -kInf);
    EXPECT_EQ(Log2(-0.0f), -kInf);
    EXPECT_EQ(Log2(-3.0f), -kInf);
    EXPECT_EQ(Log2(-kInf), -kInf);
    // Used to come out near 128: the exponent field of an infinity or NaN read as a number.
    EXPECT_EQ(Log2(kInf), kInf);
    EXPECT_TRUE(std::isnan(Log2(kNaN)));
    EXPECT_TRUE(std::isnan(Log2(-kNaN)));
    // Used to come out near -3.57: a denormal has its true logarithm.
    const float tiny = Opaque(F(0x00000200u));  // 2^-140
    EXPECT_NEAR(Log2(tiny), -140.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(1u))), -149.0f, 1e-3f);
    EXPECT_NEAR(Log2(Opaque(F(0x0036666Au))), std::log2(static_cast<double>(F(0x0036666Au))), 1e-3);
    {
        ControlWordScope daz(VLM_LIBRARY_MXCSR | (1u << 6));  // denormals read as zero
        EXPECT_EQ(Log2(Opaque(tiny)), -kInf);  // read afresh under the new word
    }
}

TEST(KernelPow, PowerFromExp2AndLog2)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(43);
    std::uniform_real_distribution<float> base(0.01f, 100.0f), power(-4.0f, 4.0f);
    for (int i = 0; i < 5000; ++i) {
        const float x = base(rng), y = power(rng);
        const float got = VLMPow(S(x), S(y)).x;
        ASSERT_EQ(B(got), B(Exp2(Log2(x) * y)));
        // log2 is off by up to 6.8e-4, which y scales; exp2 adds its relative 2.4e-4.
        const double bound = 0.69315 * 7e-4 * std::fabs(y) + 2.5e-4;
        ASSERT_LE(std::fabs(got / std::pow(static_cast<double>(x), static_cast<double>(y)) - 1.0), bound * 1.01)
            << x << "^" << y;
    }
    EXPECT_NEAR(VLMPow(S(4.0f), S(0.5f)).x, 2.0f, 2e-3f);
    // The zero-base rule.
    EXPECT_EQ(VLMPow(S(0.0f), S(0.0f)).x, 1.0f);
    EXPECT_EQ(VLMPow(S(0.0f), S(2.0f)).x, 0.0f);
    EXPECT_EQ(VLMPow(S(0.0f), S(-2.0f)).x, 0.0f);
    EXPECT_TRUE(SameBits(VLMPow(S(-0.0f), V(3, 0, 1, 1)), S(1.0f)));  // any zero lane of y
    // Any non-zero lane of x (NaN included) takes the logarithm of lane x.
    EXPECT_EQ(VLMPow(V(0, 5, 0, 0), S(2.0f)).x, 0.0f);
    EXPECT_EQ(VLMPow(V(0, kNaN, 0, 0), S(-2.0f)).x, kInf);
    // A negative base has the logarithm -inf.
    EXPECT_EQ(VLMPow(S(-2.0f), S(3.0f)).x, 0.0f);
    EXPECT_EQ(VLMPow(S(-2.0f), S(-3.0f)).x, kInf);
    EXPECT_TRUE(std::isnan(VLMPow(S(-2.0f), S(0.0f)).x));
}

TEST(KernelPow, HugeProductsSaturateAndNaNPropagates)
{
    VLMScopedFPGuard guard;
    EXPECT_EQ(VLMPow(S(10.0f), S(1.0e10f)).x, kInf);  // exponent product beyond the int range
    EXPECT_EQ(VLMPow(S(0.5f), S(1.0e10f)).x, 0.0f);
    EXPECT_EQ(VLMPow(S(kInf), S(2.0f)).x, kInf);
    EXPECT_EQ(VLMPow(S(kInf), S(-2.0f)).x, 0.0f);
    EXPECT_TRUE(std::isnan(VLMPow(S(kNaN), S(2.0f)).x));
    EXPECT_TRUE(std::isnan(VLMPow(S(2.0f), S(kNaN)).x));
    EXPECT_TRUE(Splatted(VLMPow(V(3, 1, 2, 4), V(2, 5, 6, 7))));
    EXPECT_NEAR(VLMPow(V(3, 1, 2, 4), V(2, 5, 6, 7)).w, 9.0f, 0.01f);
}

TEST(KernelFrexpLdexp, BitCases)
{
    int e = 99;
    EXPECT_TRUE(SameBits(VLMFrexp(V(8.0f, 1, 2, 3), e), S(0.5f)));
    EXPECT_EQ(e, 4);
    EXPECT_EQ(VLMFrexp(S(-3.0f), e).x, -0.75f);
    EXPECT_EQ(e, 2);
    EXPECT_EQ(VLMFrexp(S(FLT_MIN), e).x, 0.5f);
    EXPECT_EQ(e, -125);
    EXPECT_EQ(B(VLMFrexp(S(FLT_MAX), e).x), 0x3F7FFFFFu);
    EXPECT_EQ(e, 128);
    // Zero and denormals come back unchanged with e = 0.
    EXPECT_EQ(B(VLMFrexp(S(-0.0f), e).x), 0x80000000u);
    EXPECT_EQ(e, 0);
    EXPECT_EQ(B(VLMFrexp(S(F(0x00012345u)), e).x), 0x00012345u);
    EXPECT_EQ(e, 0);
    // So do infinities and NaN (not a mantissa of 0.5 and an exponent of 129).
    e = 7;
    EXPECT_EQ(VLMFrexp(S(-kInf), e).x, -kInf);
    EXPECT_EQ(e, 0);
    EXPECT_EQ(B(VLMFrexp(S(F(0x7FC01234u)), e).x), 0x7FC01234u);
    EXPECT_EQ(e, 0);
    VLMVector4 ev;
    EXPECT_EQ(VLMFrexpVector(S(-40.0f), ev).x, -0.625f);
    EXPECT_TRUE(SameBits(ev, S(6.0f)));
    VLMVector4 out;
    EXPECT_EQ(&VLMFrexp(out, S(3.0f), e), &out);
    EXPECT_EQ(out.w, 0.75f);

    EXPECT_TRUE(SameBits(VLMLdexp(V(0.75f, 9, 9, 9), 3), S(6.0f)));
    EXPECT_EQ(VLMLdexp(S(-1.5f), -2).x, -0.375f);
    EXPECT_EQ(VLMLdexp(S(1.0f), 127).x, std::ldexp(1.0f, 127));
    EXPECT_EQ(VLMLdexp(S(1.0f), 128).x, kInf);
    EXPECT_EQ(VLMLdexp(S(-1.0f), INT_MAX).x, -kInf);  // no wrap-around
    EXPECT_EQ(B(VLMLdexp(S(-1.0f), INT_MIN).x), 0x80000000u);
    EXPECT_EQ(VLMLdexp(S(1.0f), -126).x, FLT_MIN);
    EXPECT_EQ(B(VLMLdexp(S(0.0f), 50).x), 0u);
    EXPECT_EQ(B(VLMLdexp(S(-0.0f), 50).x), 0x80000000u);
    EXPECT_EQ(VLMLdexp(S(kInf), -5).x, kInf);
    EXPECT_TRUE(std::isnan(VLMLdexp(S(kNaN), 5).x));
    {
        ControlWordScope scope(0x1F80u);  // no flush-to-zero: true denormals both ways
        EXPECT_EQ(VLMLdexp(S(1.5f), -127).x, std::ldexp(1.5f, -127));
        EXPECT_EQ(VLMLdexp(S(F(0x00000300u)), 30).x, std::ldexp(F(0x00000300u), 30));
        EXPECT_EQ(VLMLdexp(S(F(0x00000300u)), 2).x, F(0x00000C00u));
    }
    VLMScopedFPGuard guard;
    EXPECT_EQ(B(VLMLdexp(S(Opaque(-1.5f)), -127).x), 0x80000000u);  // flushed to a signed zero
}

// ---------------------------------------------------------------------------
// Interpolation kernels and scalars

TEST(KernelInterpolation, SmoothStep)
{
    VLMScopedFPGuard guard;
    const VLMVector4 r = VLMVector4SmoothStep(S(1.0f), S(3.0f), V(0.0f, 1.5f, 2.0f, 5.0f));
    EXPECT_EQ(r.x, 0.0f);
    EXPECT_EQ(r.z, 0.5f);
    EXPECT_EQ(r.w, 1.0f);
    const float t = 0.25f;
    EXPECT_EQ(B(r.y), B((t * t) * (3.0f - (t + t))));
    std::mt19937 rng(51);
    for (float x : Uniform(rng, -1.0f, 2.0f, 500)) {
        const double u = std::clamp(static_cast<double>(x), 0.0, 1.0);
        ASSERT_NEAR(VLMVector4SmoothStep(S(0.0f), S(1.0f), S(x)).x, u * u * (3 - 2 * u), 1e-6);
    }
    // Equal edges: at or below gives 0 (a NaN ratio clamps to 0), above gives 1.
    EXPECT_TRUE(SameBits(VLMVector4SmoothStep(S(2.0f), S(2.0f), V(1.0f, 2.0f, 3.0f, 2.0f)), V(0, 0, 1, 0)));
}

TEST(KernelInterpolation, BezierIsRepeatedLerp)
{
    VLMScopedFPGuard guard;
    std::mt19937 rng(52);
    for (int i = 0; i < 500; ++i) {
        const VLMVector4 p0 = RandomVector(rng, 5, 1), p1 = RandomVector(rng, 5, 0), p2 = RandomVector(rng, 5, 2),
                         p3 = RandomVector(rng, 5, -1);
        const VLMVector4 t = RandomVector(rng, 1, 0.5f);
        const VLMVector4 r = VLMVector4Bezier3(t, p0, p1, p2, p3);
        for (int k = 0; k < 4; ++k) {
            const double u = Lane(t, k);
            const double want = (1 - u) * (1 - u) * (1 - u) * Lane(p0, k) + 3 * (1 - u) * (1 - u) * u * Lane(p1, k) +
                                3 * (1 - u) * u * u * Lane(p2, k) + u * u * u * Lane(p3, k);
            ASSERT_NEAR(Lane(r, k), want, 1e-5);
        }
    }
    const VLMVector4 a = V(1, 2, 3, 4), b = V(-1, 0, 5, 2), c = V(7, 7, 7, 7), d = V(0, -3, 1, 9);
    EXPECT_TRUE(SameBits(VLMVector4Bezier3(S(0.0f), a, b, c, d), a));
    EXPECT_TRUE(SameBits(VLMVector4Bezier3(S(1.0f), a, b, c, d), d));
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
    // Continuous at the starts, monotonic, bounded by the limits.
    EXPECT_NEAR(soft(-1, -2, 1, 2, 1.0001f), 1.0001f, 1e-4f);
    float previous = 1.0f;
    for (float x = 1.5f; x < 1e6f; x *= 1.7f) {
        const float y = soft(-1, -2, 1, 2, x);
        ASSERT_GE(y, previous);
        ASSERT_LT(y, 2.0f);
        previous = y;
    }
    EXPECT_NEAR(soft(-1, -2, 1, 2, 1e7f), 2.0f, 1e-5f);
    EXPECT_NEAR(soft(-1, -2, 1, 2, -1e7f), -2.0f, 1e-5f);
    // Limits on the far side of zero take s = 1.
    EXPECT_EQ(soft(-1, 0.5f, 1, -0.5f, 3.0f), 1.0f + (-1.5f * 2.0f) / (2.0f + 1.0f));
    EXPECT_EQ(soft(-1, 0.5f, 1, -0.5f, -3.0f), -1.0f + (-1.5f * -2.0f) / (2.0f + 1.0f));
    // A test that holds in any lane decides.
    const VLMVector4 mixed = VLMSoftLimit(S(-1), S(-2), S(1), S(2), V(3, -3, 0, 0));
    EXPECT_EQ(mixed.x, -1.0f + (1.0f * 4.0f) / (4.0f + 2.0f));
    EXPECT_TRUE(std::isnan(VLMSoftLimit(S(-1), S(-2), S(1), S(2), S(kNaN)).x));
}

TEST(KernelScalars, SignAndReciprocal)
{
    EXPECT_EQ(VLMSignFloat(-0.0f), 1.0f);
    EXPECT_EQ(VLMSignFloat(0.0f), 1.0f);
    EXPECT_EQ(VLMSignFloat(-1e-30f), -1.0f);
    EXPECT_EQ(VLMSignFloat(kNaN), -1.0f);
    EXPECT_EQ(VLMSignFloat(kInf), 1.0f);
    EXPECT_EQ(VLMRecipFloat(3.0f), 1.0f / 3.0f);  // a true division
    EXPECT_EQ(VLMRecipFloat(-0.0f), -kInf);
}

} // namespace

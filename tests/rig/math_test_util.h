// Helpers shared by the rig library's math tests: bit access, lane comparison
// and plain double-precision references for quaternions and matrices.
#ifndef SKW_TESTS_RIG_MATH_TEST_UTIL_H
#define SKW_TESTS_RIG_MATH_TEST_UTIL_H

#include "rig/vlm_base.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace mathtest {

inline VLMVector4 V(float x, float y, float z, float w) { return VLMVector4{x, y, z, w}; }
inline VLMVector4 S(float s) { return VLMVector4{s, s, s, s}; }

inline float F(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline std::uint32_t B(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Values the optimiser cannot fold at compile time (it folds exact operations
// whatever the control word says).
inline float Opaque(float f)
{
    volatile float v = f;
    return v;
}
inline VLMVector4 Opaque(const VLMVector4& a) { return V(Opaque(a.x), Opaque(a.y), Opaque(a.z), Opaque(a.w)); }

inline float Lane(const VLMVector4& v, int i) { return (&v.x)[i]; }

// Bit-for-bit lane comparison: tells -0 from +0 and keeps NaN payloads.
inline ::testing::AssertionResult SameBits(const VLMVector4& got, const VLMVector4& want)
{
    for (int i = 0; i < 4; ++i) {
        if (B(Lane(got, i)) != B(Lane(want, i)))
            return ::testing::AssertionFailure()
                   << "lane " << i << ": got " << Lane(got, i) << " (0x" << std::hex << B(Lane(got, i))
                   << "), want " << std::dec << Lane(want, i) << " (0x" << std::hex << B(Lane(want, i)) << ")";
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult Splatted(const VLMVector4& v)
{
    if (B(v.x) == B(v.y) && B(v.x) == B(v.z) && B(v.x) == B(v.w))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not splatted: (" << v.x << ", " << v.y << ", " << v.z << ", " << v.w
                                         << ")";
}

// Double-precision references.
using D4 = std::array<double, 4>;

inline D4 Wide(const VLMVector4& v) { return {v.x, v.y, v.z, v.w}; }

inline D4 Hamilton(const D4& a, const D4& b)
{
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

inline D4 Conj(const D4& q) { return {-q[0], -q[1], -q[2], q[3]}; }

inline D4 Normalized(const D4& q)
{
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    return {q[0] / n, q[1] / n, q[2] / n, q[3] / n};
}

// q (v, 0) q* for a unit q; only x, y, z are meaningful.
inline D4 Rotate(const D4& q, const D4& v) { return Hamilton(Hamilton(q, {v[0], v[1], v[2], 0.0}), Conj(q)); }

// Largest lane difference over the first `lanes` lanes.
inline double MaxDiff(const VLMVector4& got, const D4& want, int lanes = 4)
{
    double worst = 0.0;
    for (int i = 0; i < lanes; ++i)
        worst = std::fmax(worst, std::fabs(static_cast<double>(Lane(got, i)) - want[i]));
    return worst;
}

// The same rotation: q or -q within tol.
inline ::testing::AssertionResult SameRotation(const VLMVector4& got, const D4& want, double tol)
{
    D4 negated = {-want[0], -want[1], -want[2], -want[3]};
    const double d = std::fmin(MaxDiff(got, want), MaxDiff(got, negated));
    if (d <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ", " << got.w
                                         << ") vs +-(" << want[0] << ", " << want[1] << ", " << want[2] << ", "
                                         << want[3] << "): off by " << d;
}

inline VLMVector4 RandomUnitQuat(std::mt19937& rng)
{
    std::normal_distribution<double> g(0.0, 1.0);
    const D4 q = Normalized({g(rng), g(rng), g(rng), g(rng)});
    return V(static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]), static_cast<float>(q[3]));
}

inline VLMVector4 RandomVector(std::mt19937& rng, float range, float w)
{
    std::uniform_real_distribution<float> u(-range, range);
    return V(u(rng), u(rng), u(rng), w);
}

} // namespace mathtest

#endif

// Shared helpers of the pose-state tests: characters with random T-poses and
// owned states.
#ifndef SKW_TESTS_SOLVER_TEST_UTIL_H
#define SKW_TESTS_SOLVER_TEST_UTIL_H

#include "rig/solver/vlm_state.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_joint.h"

#include "math_test_util.h"
#include "rig_sample.h"

#include <cmath>
#include <cstdlib>
#include <random>

namespace soltest {

inline void* Malloc(std::uint64_t n) { return std::malloc(n); }

// Every node, with random rest rotations; uniform rest scales on request.
inline sample::CharacterPtr RandomTPoseCharacter(unsigned seed, bool uniformScales)
{
    std::mt19937 rng(seed);
    const VLMCharacterDefinition def = sample::FullDefinition();
    auto records = sample::RandomRecords(rng);
    if (uniformScales)
        for (VLMJointGeometry& r : records)
            VLMJointGeometrySetScale(&r, r.scale[0], r.scale[0], r.scale[0]);
    sample::CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, nullptr);
    return c;
}

// The 16 required nodes, no rest geometry (identity T-poses).
inline sample::CharacterPtr PlainCharacter()
{
    VLMCharacterDefinition def{};
    for (int id = 0; id < 16; ++id)
        def.words[id] = 7;
    return sample::Create(def);
}

inline VLMCharacterStateHandle NewState(const VLMCharacter* c)
{
    return VLMAdopt<VLMCharacterStateHandle>(VLMCreateCharacterState(c, &Malloc));
}
inline VLMEffectorSetStateHandle NewSet()
{
    return VLMAdopt<VLMEffectorSetStateHandle>(VLMCreateEffectorSetState(&Malloc));
}

// Double-precision points for geometric checks.
struct P3 {
    double x, y, z;
};
inline P3 At(const VLMVector4& v) { return {v.x, v.y, v.z}; }
inline P3 operator-(const P3& a, const P3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline P3 operator+(const P3& a, const P3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline P3 operator*(double s, const P3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double Dot(const P3& a, const P3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double Len(const P3& a) { return std::sqrt(Dot(a, a)); }
inline P3 Cross(const P3& a, const P3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline P3 RandomDirection(std::mt19937& rng)
{
    std::normal_distribution<double> g;
    const P3 d{g(rng), g(rng), g(rng)};
    return (1 / Len(d)) * d;
}
// The angle of the turn from rotation b to rotation a.
inline double TurnAngle(const VLMVector4& a, const VLMVector4& b)
{
    const mathtest::D4 d = mathtest::Hamilton(mathtest::Wide(a), mathtest::Conj(mathtest::Wide(b)));
    return 2 * std::asin(std::fmin(1.0, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2])));
}
// Every float of the rows finite.
inline ::testing::AssertionResult Finite(const VLMStateRow* rows, int count)
{
    const float* f = &rows[0].globalT.x;
    for (int i = 0; i < count * 24; ++i)
        if (!std::isfinite(f[i]))
            return ::testing::AssertionFailure() << "row " << i / 24 << " float " << i % 24;
    return ::testing::AssertionSuccess();
}

}  // namespace soltest

#endif

// Shared includes and helpers of the solver tests: characters with random
// T-poses, owned states, points in double, row checks.
#ifndef SKW_TESTS_SOLVER_TEST_UTIL_H
#define SKW_TESTS_SOLVER_TEST_UTIL_H

#include "rig/solver/stages/vlm_body_pull.h"
#include "rig/solver/stages/vlm_collar.h"
#include "rig/solver/stages/vlm_compensation.h"
#include "rig/solver/stages/vlm_contact_point.h"
#include "rig/solver/stages/vlm_contact_solve.h"
#include "rig/solver/stages/vlm_digits.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_entry_util.h"
#include "rig/solver/stages/vlm_hips_translation.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_limb_pass.h"
#include "rig/solver/stages/vlm_mirror.h"
#include "rig/solver/stages/vlm_neck.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_property_entries.h"
#include "rig/solver/stages/vlm_roll.h"
#include "rig/solver/stages/vlm_shoulder.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/stages/vlm_solver_math.h"
#include "rig/solver/stages/vlm_spine.h"
#include "rig/solver/stages/vlm_stages.h"
#include "rig/solver/vlm_blend.h"
#include "rig/solver/vlm_bulk.h"
#include "rig/solver/vlm_compose.h"
#include "rig/solver/vlm_effector_frame.h"
#include "rig/solver/vlm_effector_matrix.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_pose_frame.h"
#include "rig/solver/vlm_runtime_entries.h"
#include "rig/solver/vlm_solve.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/solver/vlm_state.h"
#include "rig/solver/vlm_transfer.h"
#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_hierarchy.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_names.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_rotation.h"

#include "math_test_util.h"
#include "rig_sample.h"
#include "solver_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace soltest {

using mathtest::D4;
using mathtest::MaxDiff;
using mathtest::S;
using mathtest::SameBits;
using mathtest::SameRotation;
using mathtest::V;
using mathtest::Wide;

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
// The turn from rotation `from` to `to`, the short way, scaled to `share` of its angle.
inline D4 PartTurn(const D4& to, const D4& from, double share)
{
    const D4 c = mathtest::Hamilton(to, mathtest::Conj(from));
    const double sign = c[3] < 0 ? -1 : 1, v = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    if (!(v > 0))
        return {0, 0, 0, 1};
    const double half = share * std::atan2(v, sign * c[3]), k = sign * std::sin(half) / v;
    return {k * c[0], k * c[1], k * c[2], std::cos(half)};
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

inline ::testing::AssertionResult Finite(const fixtures::Scene& s)
{
    return Finite(s.rows(), int(s.snapshot().size()));
}
// Memory a call must not write: every float of it still the canary pattern.
constexpr std::uint32_t kCanary = 0xEEEEEEEEu;
inline bool Untouched(const float* f, int n)
{
    return std::all_of(f, f + n, [](float x) { return mathtest::B(x) == kCanary; });
}

// A scene's rows: one, all finite, back to a snapshot, unchanged since one.
inline VLMStateRow& Row(const fixtures::Scene& s, int id) { return *VLMNodeRow(s.c(), s.rows(), id); }
inline void Restore(const fixtures::Scene& s, const std::vector<VLMStateRow>& rows)
{
    std::memcpy(s.rows(), rows.data(), rows.size() * sizeof(VLMStateRow));
}
inline bool Unchanged(const fixtures::Scene& s, const std::vector<VLMStateRow>& rows)
{
    return std::memcmp(s.rows(), rows.data(), rows.size() * sizeof(VLMStateRow)) == 0;
}

// A property set of defaults; an effector set's block as its layout.
inline VLMPropertySetState Defaults()
{
    VLMPropertySetState p;
    VLMPropertySetDefaults(&p);
    return p;
}
inline VLMEffectorSetLayout* Layout(VLMEffectorSetState* set) { return reinterpret_cast<VLMEffectorSetLayout*>(set); }

// A sampled pose on random rest rotations, no limits; mirrored rest rotations and an inverted left arm on request.
inline fixtures::Scene Make(const fixtures::Proportions& p, unsigned seed, bool symmetric = false,
                            bool inverted = false)
{
    return fixtures::Scene(p, {false, {false, false, inverted, false}, true, symmetric, seed},
                           {0.5f, 0.3f, 10.0f, true, true});
}

// Whether the scene's character has the node; a node's place relative to the hips.
inline bool Has(const fixtures::Scene& s, int id) { return VLMCharacterCompactIndex(s.c(), id) >= 0; }
inline P3 FromHips(const fixtures::Scene& s, int id)
{
    return At(Row(s, id).globalT) - At(Row(s, VLM_NODE_HIPS).globalT);
}

// A sampled pose with effectors taken from it, every reach lane 1, default pulls.
struct Posed : fixtures::Scene {
    explicit Posed(const fixtures::Proportions& p, unsigned seed = 1, bool limits = false)
        : fixtures::Scene(p, {limits, {}, true, false, seed}, {0.5f, 0.3f, 10.0f, true, true})
    {
        VLMSetPullAndStiffnessFromProperties(set.get(), &properties);
        VLMComputeEffectorsFromPose(c(), effectors(), rows(), &properties);
        for (VLMVector4& lane : effectors()->blend)
            lane.x = lane.y = 1.0f;
    }
    VLMStateRow& row(int id) const { return *VLMNodeRow(c(), rows(), id); }
    VLMVector4 euler(int id) const
    {
        VLMVector4 angles;
        VLMNodeEulerFromRotation(&VLMCharacterNodeRecord(c(), id)->rotation, angles, row(id).localQ);
        return angles;
    }
    // Largest move of any node against a snapshot, in cm and radians.
    double moved(const std::vector<VLMStateRow>& before) const
    {
        double worst = 0;
        for (std::size_t i = 0; i < before.size(); ++i)
            worst = std::fmax(worst, std::fmax(Len(At(rows()[i].globalT) - At(before[i].globalT)),
                                               177 * TurnAngle(rows()[i].globalQ, before[i].globalQ)));
        return worst;
    }
};

}  // namespace soltest

#endif

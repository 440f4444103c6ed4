// Shared helpers of the pose-state tests: characters with random T-poses and
// owned states.
#ifndef SKW_TESTS_SOLVER_TEST_UTIL_H
#define SKW_TESTS_SOLVER_TEST_UTIL_H

#include "rig/solver/vlm_state.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_joint.h"

#include "math_test_util.h"
#include "rig_sample.h"

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

}  // namespace soltest

#endif

// Test data for the characterization data path: definition words with every
// mix of the three definition bits, and joint records with arbitrary rest
// geometry, rotations, limits, masks and orders.
#ifndef SKW_RIG_SAMPLE_H
#define SKW_RIG_SAMPLE_H

#include "vlm_base.h"
#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_joint.h"

#include "test_alloc.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

namespace sample {

struct CharacterDeleter {
    void operator()(VLMCharacter* c) const { VLMDestroyCharacter(c, &TestAllocator::release); }
};
using CharacterPtr = std::unique_ptr<VLMCharacter, CharacterDeleter>;

inline CharacterPtr Create(const VLMCharacterDefinition& def)
{
    return CharacterPtr(VLMCreateCharacter(&def, &TestAllocator::allocate));
}

// Every node used; the definition bits cycle through full (7), used only (1),
// used with the meaningless bit 1 (3) and used with the rotation bit only (5),
// mostly full.
inline VLMCharacterDefinition FullDefinition()
{
    VLMCharacterDefinition def{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        static constexpr std::uint32_t kMix[] = {7, 7, 7, 1, 7, 3, 7, 5};
        def.words[id] = kMix[id % 8];
    }
    return def;
}

inline void RandomUnitQuat(std::mt19937& rng, float* q)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    float len = 0.0f;
    do {
        for (int i = 0; i < 4; ++i)
            q[i] = n(rng);
        len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    } while (len < 1e-3f);
    for (int i = 0; i < 4; ++i)
        q[i] /= len;
}

// One dense record per node id: random rest positions (within 1 m), rest
// rotations, scales, pre- and post-rotations, limits (minimum below maximum),
// masks, orders and parent-offset rotations.
inline std::array<VLMJointGeometry, VLM_NODE_COUNT> RandomRecords(std::mt19937& rng)
{
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<std::uint32_t> mask(0, 63), order(0, 12);
    std::array<VLMJointGeometry, VLM_NODE_COUNT> records{};
    for (VLMJointGeometry& r : records) {
        VLMJointGeometryInit(&r);
        VLMJointGeometrySetTranslate(&r, 100.0f * unit(rng) - 50.0f, 180.0f * unit(rng), 40.0f * unit(rng) - 20.0f);
        RandomUnitQuat(rng, r.rotateQ);
        VLMJointGeometrySetScale(&r, 0.5f + unit(rng), 0.5f + unit(rng), 0.5f + unit(rng));
        RandomUnitQuat(rng, r.preRotQ);
        RandomUnitQuat(rng, r.postRotQ);
        VLMJointGeometrySetMinRLimit(&r, -3.0f * unit(rng), -3.0f * unit(rng), -3.0f * unit(rng));
        VLMJointGeometrySetMaxRLimit(&r, 3.0f * unit(rng), 3.0f * unit(rng), 3.0f * unit(rng));
        VLMJointGeometrySetLimitEnableMask(&r, mask(rng));
        VLMJointGeometrySetRotationOrder(&r, static_cast<VLMRotationOrder>(order(rng)));
        RandomUnitQuat(rng, r.parentOffsetRotateQ);
    }
    return records;
}

} // namespace sample

#endif

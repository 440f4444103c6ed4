// Test data for the characterization data path: a humanoid rest pose for all
// 172 nodes (positions in cm, roughly a 177 cm figure standing in a T-pose),
// definition words with every mix of the three definition bits, and joint
// records with arbitrary rotations, limits, masks and orders.
#ifndef SKW_RIG_SAMPLE_H
#define SKW_RIG_SAMPLE_H

#include "rig/vlm_base.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_joint.h"

#include "test_alloc.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

namespace sample {

using CharacterPtr = VLMCharacterHandle;

// Takes a character allocated through the counting allocator.
inline CharacterPtr Adopt(VLMCharacter* character)
{
    return VLMAdopt<CharacterPtr>(character, &TestAllocator::release);
}

inline CharacterPtr Create(const VLMCharacterDefinition& def)
{
    return Adopt(VLMCreateCharacter(&def, &TestAllocator::allocate));
}

struct Point {
    float x, y, z;
};

// Rest position of every node id.
inline std::array<Point, VLM_NODE_COUNT> RestPositions()
{
    std::array<Point, VLM_NODE_COUNT> p{};
    auto both = [&](int left, int right, Point at) {
        p[left] = at;
        p[right] = {-at.x, at.y, at.z};
    };
    p[0] = {0, 0, 0};
    p[1] = {0, 97.2f, -7.3f};
    p[49] = {0, 97.2f, -7.3f};
    both(2, 5, {9.6f, 93.6f, 0});
    both(3, 6, {9.6f, 50.9f, -0.4f});
    both(4, 7, {9.6f, 7.6f, -2.6f});
    both(16, 17, {9.6f, 1.3f, 8.3f});
    both(41, 43, {9.6f, 72.0f, -0.2f});
    both(42, 44, {9.6f, 29.0f, -1.5f});
    p[8] = {0, 108, -5.3f};
    for (int k = 0; k < 9; ++k)
        p[23 + k] = {0, 112.0f + 4.0f * float(k), -4.0f};
    p[20] = {0, 151.5f, -0.7f};
    for (int k = 0; k < 9; ++k)
        p[32 + k] = {0, 152.5f + 0.9f * float(k), 0.0f};
    p[15] = {0, 160.8f, 2};
    both(18, 19, {8.9f, 143.2f, -1.1f});
    both(170, 171, {14.0f, 143.6f, -0.8f});
    both(9, 12, {18.7f, 144, -0.5f});
    both(45, 47, {31.8f, 144, -1.3f});
    both(10, 13, {44.9f, 144, -2.2f});
    both(46, 48, {58.0f, 144, -2.0f});
    both(11, 14, {71.4f, 144, -1.8f});
    both(21, 22, {76.0f, 143.5f, -1.8f});
    for (int d = 0; d < 6; ++d) {
        const float spread = -5.0f + 2.0f * float(d);
        both(146 + d, 152 + d, {78.0f, 143.5f, spread});
        both(158 + d, 164 + d, {9.6f + spread * 0.4f, 1.0f, 10.0f});
        for (int j = 0; j < 4; ++j) {
            both(50 + 4 * d + j, 74 + 4 * d + j, {82.0f + 2.5f * float(j), 143.0f - 0.2f * float(j), spread});
            both(98 + 4 * d + j, 122 + 4 * d + j, {9.6f + spread * 0.4f, 0.8f, 12.0f + 1.5f * float(j)});
        }
    }
    return p;
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

// One dense record per node id: the rest positions, and random rest
// rotations, scales, pre- and post-rotations, limits (minimum below maximum),
// masks, orders and parent-offset rotations.
inline std::array<VLMJointGeometry, VLM_NODE_COUNT> RandomRecords(std::mt19937& rng)
{
    const auto positions = RestPositions();
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<std::uint32_t> mask(0, 63), order(0, 12);
    std::array<VLMJointGeometry, VLM_NODE_COUNT> records{};
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        VLMJointGeometry& r = records[id];
        VLMJointGeometryInit(&r);
        VLMJointGeometrySetTranslate(&r, positions[id].x, positions[id].y, positions[id].z);
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

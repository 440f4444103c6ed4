// The settings records word by word and the capped-size rule.
#include "view3d/skeleton_display_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(SkeletonDisplaySettings, DefaultWordsInOrder)
{
    const SkeletonDisplaySettings settings;
    std::uint32_t words[16];
    std::memcpy(words, &settings, sizeof words);
    const int ints[] = {0, 15};
    const float floats[] = {-64.0f, 0.1f, -64.0f, 0.2f, -10.0f, 0.6f, 0.4f, -16.0f, 0.4f, -16.0f, 0.4f};
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(static_cast<int>(words[i]), ints[i]) << "word " << i;
    for (int i = 0; i < 11; ++i) {
        float f;
        std::memcpy(&f, &words[2 + i], sizeof f);
        EXPECT_EQ(f, floats[i]) << "word " << 2 + i;
    }
    for (int i = 13; i < 16; ++i)
        EXPECT_EQ(static_cast<int>(words[i]), 32) << "word " << i;

    // The rotation-limit sub-record on its own starts at word 8.
    const SkeletonRotationLimitSettings limits;
    EXPECT_EQ(std::memcmp(&limits, &words[8], sizeof limits), 0);

    const SkeletonEffectorSettings effectors;
    EXPECT_EQ(effectors.Flags(), 3);
    EXPECT_EQ(effectors.SphereRadius(), -64.0f);
    EXPECT_EQ(effectors.AxisLength(), -10.0f);
}

TEST(SkeletonDisplaySettings, CappedSizes)
{
    struct Case {
        float size, cap, length, expected;
    } const cases[] = {
        {0.02f, 0.1f, 1.0f, 0.02f},  // the cap is larger
        {0.02f, 0.1f, 0.1f, 0.01f},  // the cap is smaller
        {0.02f, 0.0f, 0.001f, 0.02f},  // no cap
        {0.02f, -1.0f, 0.001f, 0.02f}, {-0.5f, 0.2f, 1.0f, -0.5f},  // a negative size stays as it is
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(SkeletonCappedSize(c.size, c.cap, c.length), c.expected)
            << c.size << " capped by " << c.cap << " x " << c.length;

    SkeletonDisplaySettings s;
    s.boneHalfWidth = 1.0f;
    s.jointSphereRadius = 2.0f;
    s.jointAxisLength = 3.0f;
    s.limits.twistArcRadius = 4.0f;
    s.limits.swingSphereRadius = 5.0f;
    // Each getter pairs its size with its own cap ratio (0.1, 0.2, 0.6, 0.4, 0.4).
    EXPECT_FLOAT_EQ(s.BoneHalfWidth(1.0f), 0.1f);
    EXPECT_FLOAT_EQ(s.JointSphereRadius(1.0f), 0.2f);
    EXPECT_FLOAT_EQ(s.JointAxisLength(1.0f), 0.6f);
    EXPECT_FLOAT_EQ(s.TwistArcRadius(1.0f), 0.4f);
    EXPECT_FLOAT_EQ(s.SwingSphereRadius(2.0f), 0.8f);
}

}  // namespace

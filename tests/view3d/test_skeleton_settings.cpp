// The settings records word by word and the capped-size rule.
#include "view3d/skeleton_display_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SkeletonDisplaySettings, DefaultWordsInOrder)
{
    const SkeletonDisplaySettings settings;
    const int ints[16] = {0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 32, 32};
    const float floats[16] = {0, 0, -64.0f, 0.1f, -64.0f, 0.2f, -10.0f, 0.6f, 0.4f, -16.0f, 0.4f, -16.0f, 0.4f};
    for (int i = 0; i < 16; ++i) {
        const void* expected = i < 2 || i > 12 ? static_cast<const void*>(&ints[i]) : &floats[i];
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&settings) + 4 * i, expected, 4), 0) << "word " << i;
    }
    // The rotation-limit sub-record on its own is words 8-15.
    const SkeletonRotationLimitSettings limits;
    EXPECT_EQ(std::memcmp(&limits, &settings.limits, sizeof limits), 0);
    const SkeletonEffectorSettings effectors;
    EXPECT_TRUE(effectors.Flags() == 3 && effectors.SphereRadius() == -64.0f && effectors.AxisLength() == -10.0f);
}

TEST(SkeletonDisplaySettings, CappedSizes)
{
    struct Case {
        float size, cap, length, expected;
    } const cases[] = {
        {0.02f, 0.1f, 1.0f, 0.02f},                                 // the cap is larger
        {0.02f, 0.1f, 0.1f, 0.01f},                                 // the cap is smaller
        {0.02f, 0.0f, 0.001f, 0.02f},                               // no cap
        {0.02f, -1.0f, 0.001f, 0.02f}, {-0.5f, 0.2f, 1.0f, -0.5f},  // a negative size stays as it is
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(SkeletonCappedSize(c.size, c.cap, c.length), c.expected) << c.size << " capped by " << c.cap;

    // Each getter pairs its size with its own cap ratio (0.1, 0.2, 0.6, 0.4, 0.4).
    SkeletonDisplaySettings s;
    s.boneHalfWidth = s.jointSphereRadius = s.jointAxisLength = 9.0f;
    s.limits.twistArcRadius = s.limits.swingSphereRadius = 9.0f;
    EXPECT_FLOAT_EQ(s.BoneHalfWidth(1) + s.JointSphereRadius(1) + s.JointAxisLength(10), 6.3f);
    EXPECT_FLOAT_EQ(s.TwistArcRadius(1) + s.SwingSphereRadius(100), 9.4f);
}

}  // namespace

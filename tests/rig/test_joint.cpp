#include "vlm_joint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Reads the float at a byte offset of the record, as the stream would see it.
float floatAt(const VLMJointGeometry& g, std::size_t offset)
{
    float f;
    std::memcpy(&f, reinterpret_cast<const unsigned char*>(&g) + offset, sizeof f);
    return f;
}

std::uint32_t wordAt(const void* record, std::size_t offset)
{
    std::uint32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(record) + offset, sizeof w);
    return w;
}

VLMJointGeometry garbageRecord()
{
    VLMJointGeometry g;
    std::memset(&g, 0xA5, sizeof g);
    return g;
}

// Fills every field through the setters with values that differ everywhere.
VLMJointGeometry filledRecord()
{
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    VLMJointGeometrySetTranslate(&g, 1, 2, 3);
    VLMJointGeometrySetRotateQ(&g, 4, 5, 6, 7);
    VLMJointGeometrySetScale(&g, 8, 9, 10);
    VLMJointGeometrySetPreRotQ(&g, 11, 12, 13, 14);
    VLMJointGeometrySetPostRotQ(&g, 15, 16, 17, 18);
    VLMJointGeometrySetMinRLimit(&g, 19, 20, 21);
    VLMJointGeometrySetMaxRLimit(&g, 22, 23, 24);
    VLMJointGeometrySetLimitEnableMask(&g, 0x2A);
    VLMJointGeometrySetParentOffsetRotateQ(&g, 25, 26, 27, 28);
    VLMJointGeometrySetRotationOrder(&g, VLM_ROTATION_EULER_ZYX);
    return g;
}

} // namespace

TEST(JointGeometryRecord, InitGivesZeroScaleAndIdentityQuaternionsOverAnyMemory)
{
    VLMJointGeometry g = garbageRecord();
    EXPECT_EQ(VLMJointGeometryConstruct(&g), &g);
    // T, R, S, pre, post, max, min: the floats in front of the mask.
    const float expected[24] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,
                                0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(floatAt(g, 4 * i), expected[i]) << "float " << i;
    EXPECT_EQ(wordAt(&g, 96), 0u);
    EXPECT_EQ(floatAt(g, 100), 0.0f);
    EXPECT_EQ(floatAt(g, 104), 0.0f);
    EXPECT_EQ(floatAt(g, 108), 0.0f);
    EXPECT_EQ(floatAt(g, 112), 1.0f);
    EXPECT_EQ(wordAt(&g, 116), 0u);
    // No negative zeros: the stream writes these bytes as they are.
    for (std::size_t off = 0; off < sizeof g; off += 4)
        EXPECT_NE(wordAt(&g, off), 0x80000000u) << "offset " << off;
}

TEST(JointGeometryRecord, SettersWriteTheStoredLayoutWithMaximumBeforeMinimum)
{
    const VLMJointGeometry g = filledRecord();
    // Stored order: T, R, S, pre, post, max, min, mask, parent offset, order.
    const float storedFloats[24] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                    13, 14, 15, 16, 17, 18, 22, 23, 24, 19, 20, 21};
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(floatAt(g, 4 * i), storedFloats[i]) << "offset " << 4 * i;
    EXPECT_EQ(wordAt(&g, 96), 0x2Au);
    EXPECT_EQ(floatAt(g, 100), 25.0f);
    EXPECT_EQ(floatAt(g, 112), 28.0f);
    EXPECT_EQ(wordAt(&g, 116), 10u);
    // The getters read the same places.
    EXPECT_EQ(VLMJointGeometryGetMaxRLimit(&g), &g.maxRLimit[0]);
    EXPECT_EQ(VLMJointGeometryGetMinRLimit(&g)[2], 21.0f);
    EXPECT_EQ(VLMJointGeometryGetParentOffsetRotateQ(&g)[0], 25.0f);
    EXPECT_EQ(VLMJointGeometryGetPostRotQ(&g)[3], 18.0f);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&g), 0x2Au);
    EXPECT_EQ(VLMJointGeometryGetRotationOrder(&g), VLM_ROTATION_EULER_ZYX);
}

TEST(JointGeometryRecord, EnableSettersTouchOnlyTheirThreeBits)
{
    VLMJointGeometry g;
    VLMJointGeometryInit(&g);
    VLMJointGeometrySetLimitEnableMask(&g, 0x38);
    VLMJointGeometrySetMinRLimitEnable(&g, true, false, true);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&g), 0x3Du);
    VLMJointGeometrySetMaxRLimitEnable(&g, false, false, false);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&g), 0x05u);

    // Unused high bits survive both setters.
    VLMJointGeometrySetLimitEnableMask(&g, 0xFFFFFFC0u | 0x3F);
    VLMJointGeometrySetMinRLimitEnable(&g, true, false, true);
    VLMJointGeometrySetMaxRLimitEnable(&g, false, true, false);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&g), 0xFFFFFFC0u | 0x15u);

    VLMJointGeometrySetLimitEnableMask(&g, 0x15);  // min X, min Z, max Y
    EXPECT_TRUE(VLMJointGeometryHasMinRLimitX(&g));
    EXPECT_FALSE(VLMJointGeometryHasMinRLimitY(&g));
    EXPECT_TRUE(VLMJointGeometryHasMinRLimitZ(&g));
    EXPECT_FALSE(VLMJointGeometryHasMaxRLimitX(&g));
    EXPECT_TRUE(VLMJointGeometryHasMaxRLimitY(&g));
    EXPECT_FALSE(VLMJointGeometryHasMaxRLimitZ(&g));
}

TEST(JointGeometryRecord, EqualityIgnoresOnlyTheParentOffsetRotation)
{
    const VLMJointGeometry a = filledRecord();
    VLMJointGeometry b = a;
    VLMJointGeometrySetParentOffsetRotateQ(&b, 0, 0, 0.70710677f, 0.70710677f);
    EXPECT_TRUE(VLMJointGeometryEqual(&a, &b));
    EXPECT_FALSE(VLMJointGeometryNotEqual(&a, &b));

    // Every other float takes part: change each one alone.
    for (std::size_t off = 0; off < 96; off += 4) {
        VLMJointGeometry c = a;
        float f = floatAt(c, off) + 0.5f;
        std::memcpy(reinterpret_cast<unsigned char*>(&c) + off, &f, sizeof f);
        EXPECT_FALSE(VLMJointGeometryEqual(&a, &c)) << "offset " << off;
        EXPECT_TRUE(VLMJointGeometryNotEqual(&a, &c)) << "offset " << off;
    }
    VLMJointGeometry mask = a;
    VLMJointGeometrySetLimitEnableMask(&mask, 0x2B);
    EXPECT_FALSE(VLMJointGeometryEqual(&a, &mask));
    VLMJointGeometry order = a;
    VLMJointGeometrySetRotationOrder(&order, VLM_ROTATION_SPHERIC_XYZ);
    EXPECT_FALSE(VLMJointGeometryEqual(&a, &order));
}

TEST(JointGeometryRecord, EqualityIsFloatEqualityNotByteEquality)
{
    VLMJointGeometry a, b;
    VLMJointGeometryInit(&a);
    VLMJointGeometryInit(&b);
    VLMJointGeometrySetTranslate(&b, -0.0f, 0.0f, -0.0f);
    VLMJointGeometrySetMinRLimit(&b, -0.0f, -0.0f, -0.0f);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_TRUE(VLMJointGeometryEqual(&a, &b));

    VLMJointGeometry n = a;
    VLMJointGeometrySetTranslate(&n, std::nanf(""), 0, 0);
    EXPECT_FALSE(VLMJointGeometryEqual(&n, &n));
    EXPECT_TRUE(VLMJointGeometryNotEqual(&n, &n));
    // A NaN in the ignored parent offset does not matter.
    VLMJointGeometry p = a;
    VLMJointGeometrySetParentOffsetRotateQ(&p, std::nanf(""), 0, 0, 1);
    EXPECT_TRUE(VLMJointGeometryEqual(&p, &a));
}

TEST(BoneInversionRecord, InitClearsAndEachLimbHasItsOwnSlot)
{
    VLMBoneInversion inv;
    std::memset(&inv, 0xFF, sizeof inv);
    EXPECT_EQ(VLMBoneInversionInit(&inv), &inv);
    for (std::size_t off = 0; off < 16; off += 4)
        EXPECT_EQ(wordAt(&inv, off), 0u);

    VLMBoneInversionSetLeftLeg(&inv, 11);
    VLMBoneInversionSetRightLeg(&inv, 22);
    VLMBoneInversionSetLeftForeArm(&inv, 33);
    VLMBoneInversionSetRightForeArm(&inv, 44);
    EXPECT_EQ(wordAt(&inv, 0), 11u);
    EXPECT_EQ(wordAt(&inv, 4), 22u);
    EXPECT_EQ(wordAt(&inv, 8), 33u);
    EXPECT_EQ(wordAt(&inv, 12), 44u);
    EXPECT_EQ(VLMBoneInversionGetLeftLeg(&inv), 11u);
    EXPECT_EQ(VLMBoneInversionGetRightLeg(&inv), 22u);
    EXPECT_EQ(VLMBoneInversionGetLeftForeArm(&inv), 33u);
    EXPECT_EQ(VLMBoneInversionGetRightForeArm(&inv), 44u);
}

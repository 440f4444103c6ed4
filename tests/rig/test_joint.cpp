#include "rig/vlm_joint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The 32-bit word at a byte offset, as the stream sees it.
std::uint32_t wordAt(const void* record, std::size_t offset)
{
    std::uint32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(record) + offset, sizeof w);
    return w;
}
float floatAt(const void* record, std::size_t offset)
{
    const std::uint32_t w = wordAt(record, offset);
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}

// Every field set through its setter, with values that differ everywhere.
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

}  // namespace

TEST(JointGeometryRecord, InitAndSettersWriteTheStoredLayout)
{
    VLMJointGeometry g;
    std::memset(&g, 0xA5, sizeof g);
    EXPECT_EQ(VLMJointGeometryConstruct(&g), &g);
    // T, R, S, pre, post, max, min, mask, parent offset, order; exact bits, so
    // no negative zero slips into the stream.
    const std::uint32_t one = 0x3F800000u;
    const std::uint32_t init[30] = {0, 0, 0,   0, 0, 0, one, 0, 0, 0, 0, 0, 0, one, 0,
                                    0, 0, one, 0, 0, 0, 0,   0, 0, 0, 0, 0, 0, one, 0};
    for (std::size_t i = 0; i < 30; ++i)
        EXPECT_EQ(wordAt(&g, 4 * i), init[i]) << "word " << i;

    g = filledRecord();
    const float stored[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 22, 23, 24, 19, 20, 21};
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(floatAt(&g, 4 * i), stored[i]) << "offset " << 4 * i;
    EXPECT_EQ(wordAt(&g, 96), 0x2Au);
    EXPECT_EQ(floatAt(&g, 100), 25.0f);
    EXPECT_EQ(floatAt(&g, 112), 28.0f);
    EXPECT_EQ(wordAt(&g, 116), 10u);
    // The getters read the same places.
    EXPECT_EQ(VLMJointGeometryGetTranslate(&g)[2], 3.0f);
    EXPECT_EQ(VLMJointGeometryGetRotateQ(&g)[3], 7.0f);
    EXPECT_EQ(VLMJointGeometryGetScale(&g)[0], 8.0f);
    EXPECT_EQ(VLMJointGeometryGetPreRotQ(&g)[0], 11.0f);
    EXPECT_EQ(VLMJointGeometryGetPostRotQ(&g)[3], 18.0f);
    EXPECT_EQ(VLMJointGeometryGetMaxRLimit(&g)[0], 22.0f);
    EXPECT_EQ(VLMJointGeometryGetMinRLimit(&g)[2], 21.0f);
    EXPECT_EQ(VLMJointGeometryGetParentOffsetRotateQ(&g)[0], 25.0f);
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
    VLMJointGeometrySetLimitEnableMask(&g, 0xFFFFFFFFu);
    VLMJointGeometrySetMinRLimitEnable(&g, true, false, true);
    VLMJointGeometrySetMaxRLimitEnable(&g, false, true, false);
    EXPECT_EQ(VLMJointGeometryGetLimitEnableMask(&g), 0xFFFFFFC0u | 0x15u) << "unused bits survive";

    VLMJointGeometrySetLimitEnableMask(&g, 0x15);  // min X, min Z, max Y
    EXPECT_TRUE(VLMJointGeometryHasMinRLimitX(&g));
    EXPECT_FALSE(VLMJointGeometryHasMinRLimitY(&g));
    EXPECT_TRUE(VLMJointGeometryHasMinRLimitZ(&g));
    EXPECT_FALSE(VLMJointGeometryHasMaxRLimitX(&g));
    EXPECT_TRUE(VLMJointGeometryHasMaxRLimitY(&g));
    EXPECT_FALSE(VLMJointGeometryHasMaxRLimitZ(&g));
}

TEST(JointGeometryRecord, EqualityIsFloatEqualityOfEveryFieldButTheParentOffset)
{
    const VLMJointGeometry a = filledRecord();
    VLMJointGeometry b = a;
    VLMJointGeometrySetParentOffsetRotateQ(&b, std::nanf(""), 0, 0.7f, 0.7f);
    EXPECT_TRUE(VLMJointGeometryEqual(&a, &b));
    EXPECT_FALSE(VLMJointGeometryNotEqual(&a, &b));

    // Every other word takes part: change each one alone.
    for (std::size_t off : {0, 12, 24, 28, 36, 40, 52, 56, 68, 72, 80, 84, 92, 96, 116}) {
        VLMJointGeometry c = a;
        const std::uint32_t w = wordAt(&c, off) + 1;
        std::memcpy(reinterpret_cast<unsigned char*>(&c) + off, &w, sizeof w);
        EXPECT_FALSE(VLMJointGeometryEqual(&a, &c)) << "offset " << off;
        EXPECT_TRUE(VLMJointGeometryNotEqual(&a, &c)) << "offset " << off;
    }

    // 0 equals -0 although the bytes differ; a NaN equals nothing.
    VLMJointGeometryInit(&b);
    VLMJointGeometry z = b;
    VLMJointGeometrySetTranslate(&z, -0.0f, 0.0f, -0.0f);
    VLMJointGeometrySetMinRLimit(&z, -0.0f, -0.0f, -0.0f);
    EXPECT_NE(std::memcmp(&b, &z, sizeof b), 0);
    EXPECT_TRUE(VLMJointGeometryEqual(&b, &z));
    VLMJointGeometrySetScale(&z, std::nanf(""), 0, 0);
    EXPECT_FALSE(VLMJointGeometryEqual(&z, &z));
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
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_EQ(wordAt(&inv, 4 * k), 11u * (k + 1));
    EXPECT_EQ(VLMBoneInversionGetLeftLeg(&inv), 11u);
    EXPECT_EQ(VLMBoneInversionGetRightLeg(&inv), 22u);
    EXPECT_EQ(VLMBoneInversionGetLeftForeArm(&inv), 33u);
    EXPECT_EQ(VLMBoneInversionGetRightForeArm(&inv), 44u);
}

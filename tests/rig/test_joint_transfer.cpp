#include "vlm_access.h"
#include "vlm_character.h"
#include "vlm_characterize.h"
#include "vlm_joint.h"
#include "vlm_layout.h"

#include "rig_sample.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using sample::CharacterPtr;

VLMBoneInversion Flags(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    VLMBoneInversion inversion;
    VLMBoneInversionInit(&inversion);
    VLMBoneInversionSetLeftLeg(&inversion, a);
    VLMBoneInversionSetRightLeg(&inversion, b);
    VLMBoneInversionSetLeftForeArm(&inversion, c);
    VLMBoneInversionSetRightForeArm(&inversion, d);
    return inversion;
}

bool SameBlock(const VLMCharacter* a, const VLMCharacter* b)
{
    const std::uint32_t size = VLMCharacterHeaderOf(a)->blockSize;
    return size == VLMCharacterHeaderOf(b)->blockSize && std::memcmp(a, b, size) == 0;
}

class JointTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestAllocator::reset();
        std::mt19937 rng(3);
        records = sample::RandomRecords(rng);
        def = sample::FullDefinition();
        def.words[5] = 0;  // RightUpLeg unused
    }
    void TearDown() override { EXPECT_EQ(TestAllocator::live, 0); }

    CharacterPtr Build(const VLMBoneInversion* inversion)
    {
        CharacterPtr c = sample::Create(def);
        VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, inversion);
        return c;
    }

    std::array<VLMJointGeometry, VLM_NODE_COUNT> records;
    VLMCharacterDefinition def;
};

TEST_F(JointTransferTest, DenseAndPackedAddressing)
{
    const CharacterPtr dense = Build(nullptr);
    // The same records handed over packed build the same character.
    std::vector<VLMJointGeometry> packedIn;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (def.words[id] & 1)
            packedIn.push_back(records[id]);
    }
    ASSERT_EQ(packedIn.size(), 171u);
    CharacterPtr packed = sample::Create(def);
    VLMApplyJointGeometries(&def, packed.get(), packedIn.data(), int(packedIn.size()), nullptr);
    EXPECT_TRUE(SameBlock(dense.get(), packed.get()));

    std::array<VLMJointGeometry, VLM_NODE_COUNT> out;
    std::memset(out.data(), 0x5A, sizeof out);
    VLMReadJointGeometries(&def, dense.get(), out.data(), VLM_NODE_COUNT, nullptr);
    const VLMJointGeometry zero{};
    EXPECT_EQ(std::memcmp(&out[5], &zero, sizeof zero), 0) << "unused node: all zero";

    std::vector<VLMJointGeometry> packedOut(packedIn.size() + 1);
    std::memset(packedOut.data(), 0x5A, sizeof(VLMJointGeometry) * packedOut.size());
    VLMReadJointGeometries(&def, dense.get(), packedOut.data(), int(packedIn.size()), nullptr);
    std::size_t k = 0;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (!(def.words[id] & 1))
            continue;
        EXPECT_EQ(std::memcmp(&packedOut[k++], &out[id], sizeof zero), 0) << id;
    }
    const unsigned char* past = reinterpret_cast<const unsigned char*>(&packedOut.back());
    EXPECT_EQ(past[0], 0x5A) << "nothing written past count records";

    // A short packed array is never overrun, on either way.
    std::vector<VLMJointGeometry> few(3);
    VLMReadJointGeometries(&def, dense.get(), few.data(), 3, nullptr);
    EXPECT_EQ(std::memcmp(&few[0], &out[0], sizeof zero), 0);
    CharacterPtr partial = sample::Create(def);
    VLMApplyJointGeometries(&def, partial.get(), few.data(), 3, nullptr);
}

TEST_F(JointTransferTest, ReadBackFieldsFollowTheDefinitionBits)
{
    const CharacterPtr c = Build(nullptr);
    std::array<VLMJointGeometry, VLM_NODE_COUNT> out;
    VLMReadJointGeometries(&def, c.get(), out.data(), VLM_NODE_COUNT, nullptr);
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMJointGeometry& r = out[id];
        const VLMJointGeometry& in = records[id];
        if (!(def.words[id] & 1))
            continue;
        EXPECT_EQ(std::memcmp(r.translate, in.translate, 12), 0) << id;
        EXPECT_EQ(std::memcmp(r.rotateQ, in.rotateQ, 16), 0) << id;
        EXPECT_EQ(std::memcmp(r.scale, in.scale, 12), 0) << id;
        if ((def.words[id] & 7) == 7) {
            // The maximum limits precede the minimum ones in the record; the
            // transfer must not swap them on either way.
            EXPECT_EQ(std::memcmp(r.maxRLimit, in.maxRLimit, 12), 0) << id;
            EXPECT_EQ(std::memcmp(r.minRLimit, in.minRLimit, 12), 0) << id;
            EXPECT_EQ(r.limitEnableMask, in.limitEnableMask) << id;
            EXPECT_EQ(r.rotationOrder, in.rotationOrder) << id;
            EXPECT_EQ(std::memcmp(r.parentOffsetRotateQ, in.parentOffsetRotateQ, 16), 0) << id;
        } else {
            // Lacking bit 1 or bit 2: zeros, quaternions included.
            const unsigned char* tail = reinterpret_cast<const unsigned char*>(&r) + offsetof(VLMJointGeometry, preRotQ);
            EXPECT_EQ(std::count(tail, tail + 120 - offsetof(VLMJointGeometry, preRotQ), 0),
                      long(120 - offsetof(VLMJointGeometry, preRotQ)))
                << id;
        }
    }
}

TEST_F(JointTransferTest, InversionFlagsAreAppliedAfterTheCharacterization)
{
    const VLMBoneInversion leftArm = Flags(0, 0, 1, 0);
    const CharacterPtr plain = Build(nullptr);
    const CharacterPtr c = Build(&leftArm);
    EXPECT_FALSE(VLMGetBoneInverted(c.get(), 0));
    EXPECT_FALSE(VLMGetBoneInverted(c.get(), 1));
    EXPECT_TRUE(VLMGetBoneInverted(c.get(), 2));
    EXPECT_FALSE(VLMGetBoneInverted(c.get(), 3));
    VLMBoneInversion read;
    std::memset(&read, 0x77, sizeof read);
    VLMReadJointGeometries(&def, c.get(), nullptr, 0, &read);
    EXPECT_EQ(std::memcmp(&read, &leftArm, sizeof read), 0);

    // The same as inverting the left arm of the plain character afterwards.
    CharacterPtr later = Build(nullptr);
    VLMSetBoneInverted(later.get(), 2, true);
    EXPECT_TRUE(SameBlock(c.get(), later.get()));
    EXPECT_FALSE(SameBlock(c.get(), plain.get()));
    // Any non-zero word counts as set.
    const VLMBoneInversion odd = Flags(0, 0, 0x100, 0);
    EXPECT_TRUE(SameBlock(Build(&odd).get(), c.get()));
}

// Applying again starts every limb from "not inverted": a flag set before is
// mirrored into the new frames, a flag cleared in the new record is cleared.
TEST_F(JointTransferTest, ReapplyingTakesTheNewFlags)
{
    // Only full definitions here: the transfer rewrites those before the
    // characterization folds the rest rotations into them again.
    for (std::uint32_t& word : def.words)
        word = word & 1 ? 7 : 0;
    const VLMBoneInversion first = Flags(1, 0, 1, 0), second = Flags(1, 1, 0, 0);
    CharacterPtr c = Build(&first);
    std::mt19937 rng(99);
    records = sample::RandomRecords(rng);  // new rest rotations and definitions
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, &second);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(VLMGetBoneInverted(c.get(), k), second.flags[k] != 0) << k;
    const CharacterPtr fresh = Build(&second);
    EXPECT_TRUE(SameBlock(c.get(), fresh.get()));

    // Applying the same values once more changes nothing.
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, &second);
    EXPECT_TRUE(SameBlock(c.get(), fresh.get()));
}

} // namespace

namespace {

TEST_F(JointTransferTest, BothDirectionsRestoreTheCallersControlWord)
{
    const VLMBoneInversion flags = Flags(0, 1, 0, 1);
    CharacterPtr c = sample::Create(def);
    EXPECT_TRUE(RestoresCallerWord(
        [&] { VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, &flags); }));
    std::array<VLMJointGeometry, VLM_NODE_COUNT> out;
    VLMBoneInversion read;
    EXPECT_TRUE(RestoresCallerWord([&] { VLMReadJointGeometries(&def, c.get(), out.data(), VLM_NODE_COUNT, &read); }));
    // The work itself ran under the library's word: the same character as
    // one built under the test's default word.
    EXPECT_TRUE(SameBlock(c.get(), Build(&flags).get()));
}

} // namespace

#include "rig/vlm_character.h"
#include "rig/vlm_characterize.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_layout.h"

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
    return VLMBoneInversion{{a, b, c, d}};
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

    CharacterPtr Build(const VLMBoneInversion* inversion, const VLMJointGeometry* in = nullptr, int count = 172)
    {
        CharacterPtr c = sample::Create(def);
        VLMApplyJointGeometries(&def, c.get(), in ? in : records.data(), count, inversion);
        return c;
    }

    std::array<VLMJointGeometry, VLM_NODE_COUNT> records;
    VLMCharacterDefinition def;
};

TEST_F(JointTransferTest, DenseAndPackedAddressingAndTheFieldsEachWordCarries)
{
    std::vector<VLMJointGeometry> packedIn;
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        if (def.words[id] & 1)
            packedIn.push_back(records[id]);
    }
    const CharacterPtr dense = Build(nullptr);
    EXPECT_TRUE(SameBlock(dense.get(), Build(nullptr, packedIn.data(), int(packedIn.size())).get()));

    std::array<VLMJointGeometry, VLM_NODE_COUNT> out;
    std::memset(out.data(), 0x5A, sizeof out);
    VLMReadJointGeometries(&def, dense.get(), out.data(), VLM_NODE_COUNT, nullptr);
    const VLMJointGeometry zero{};
    EXPECT_EQ(std::memcmp(&out[5], &zero, sizeof zero), 0) << "unused node: all zero";
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMJointGeometry& r = out[id];
        const VLMJointGeometry& in = records[id];
        if (!(def.words[id] & 1))
            continue;
        EXPECT_EQ(std::memcmp(r.translate, in.translate, 40), 0) << id << ": T, R and S as applied";
        if ((def.words[id] & 7) == 7) {
            // Maximum limits precede the minimum ones in the record; neither
            // direction may swap them.
            EXPECT_EQ(std::memcmp(r.maxRLimit, in.maxRLimit, 12), 0) << id;
            EXPECT_EQ(std::memcmp(r.minRLimit, in.minRLimit, 12), 0) << id;
            EXPECT_EQ(r.limitEnableMask, in.limitEnableMask) << id;
            EXPECT_EQ(r.rotationOrder, in.rotationOrder) << id;
            EXPECT_EQ(std::memcmp(r.parentOffsetRotateQ, in.parentOffsetRotateQ, 16), 0) << id;
        } else {
            // Lacking bit 1 or bit 2: zeros, quaternions included.
            const auto* tail = reinterpret_cast<const unsigned char*>(&r) + offsetof(VLMJointGeometry, preRotQ);
            EXPECT_TRUE(std::all_of(tail, tail + 80, [](unsigned char b) { return b == 0; })) << id;
        }
    }

    // Packed: the same records without gaps, and nothing past count.
    std::vector<VLMJointGeometry> packedOut(packedIn.size() + 1);
    std::memset(packedOut.data(), 0x5A, sizeof(VLMJointGeometry) * packedOut.size());
    VLMReadJointGeometries(&def, dense.get(), packedOut.data(), int(packedIn.size()), nullptr);
    for (int id = 0, k = 0; id < VLM_NODE_COUNT; ++id) {
        if (def.words[id] & 1) {
            EXPECT_EQ(std::memcmp(&packedOut[k++], &out[id], sizeof zero), 0) << id;
        }
    }
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&packedOut.back())[0], 0x5A);
    // A short packed array is never overrun, in either direction (the
    // sanitizer build checks the heap blocks).
    std::vector<VLMJointGeometry> few(3);
    VLMReadJointGeometries(&def, dense.get(), few.data(), 3, nullptr);
    EXPECT_EQ(std::memcmp(&few[2], &out[2], sizeof zero), 0);
    Build(nullptr, few.data(), 3);
}

TEST_F(JointTransferTest, InversionFlagsAreAppliedAfterTheCharacterization)
{
    const VLMBoneInversion leftArm = Flags(0, 0, 1, 0);
    CharacterPtr c;
    EXPECT_TRUE(RestoresCallerWord([&] { c = Build(&leftArm); }));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(VLMGetBoneInverted(c.get(), k), k == 2) << k;
    VLMBoneInversion read;
    std::memset(&read, 0x77, sizeof read);
    EXPECT_TRUE(RestoresCallerWord([&] { VLMReadJointGeometries(&def, c.get(), nullptr, 0, &read); }));
    EXPECT_EQ(std::memcmp(&read, &leftArm, sizeof read), 0);

    // The same as inverting the left arm of a plain character afterwards (built
    // under the test's own word: the work above ran under the library's).
    const CharacterPtr later = Build(nullptr);
    EXPECT_FALSE(SameBlock(c.get(), later.get()));
    VLMSetBoneInverted(later.get(), 2, true);
    EXPECT_TRUE(SameBlock(c.get(), later.get()));
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
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, &second);
    EXPECT_TRUE(SameBlock(c.get(), fresh.get())) << "the same values once more change nothing";
}

}  // namespace

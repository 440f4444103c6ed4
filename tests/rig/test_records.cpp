#include "rig/vlm_character.h"
#include "rig/vlm_records.h"

#include "rig_sample.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// A miniature block in the character's style: a descriptor, an index table by
// node id (id 3k has index k for k < 10, the rest absent) and an array with its
// spare element in front.
struct alignas(16) MiniBlock {
    VLMTableDescriptor descriptor;
    std::int32_t indexTable[VLM_NODE_COUNT];
    VLMTPoseEntry elements[11];
};

}  // namespace

TEST(RecordAddresses, SignedIndicesAndDescriptorsReachTheSpareInFront)
{
    float floats[4] = {};
    EXPECT_EQ(VLMFloatArrayAt(floats + 1, -1), &floats[0]);
    EXPECT_EQ(VLMFloatArrayAt(floats + 1, 2), &floats[3]);
    VLMVector4 vectors[3] = {};
    EXPECT_EQ(VLMVector4ArrayAt(vectors + 1, -1), &vectors[0]);

    // Offsets are self-relative: they resolve inside a byte-for-byte copy.
    auto first = std::make_unique<MiniBlock>();
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        first->indexTable[id] = id % 3 == 0 && id < 30 ? id / 3 : -1;
    VLMTableDescriptorSet(&first->descriptor, &first->elements[1], first->indexTable);
    EXPECT_EQ(first->descriptor.indexTableOffset, std::int64_t(offsetof(MiniBlock, indexTable)));
    auto copy = std::make_unique<MiniBlock>();
    std::memcpy(static_cast<void*>(copy.get()), first.get(), sizeof(MiniBlock));
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        ASSERT_EQ(VLMTPoseEntryById(&copy->descriptor, id), &copy->elements[id % 3 == 0 && id < 30 ? id / 3 + 1 : 0])
            << id;
    EXPECT_EQ(VLMTableDescriptorReset(&copy->descriptor), &copy->descriptor);
    EXPECT_EQ(copy->descriptor.indexTableOffset | copy->descriptor.elementOffset, 0);

    // In a character: every id lands inside the block, absent ones on the spares.
    VLMCharacterDefinition def{};
    for (int id : {1, 2, 3, 4, 8, 15})
        def.words[id] = 7;
    sample::CharacterPtr c = sample::Create(def);
    ASSERT_TRUE(c);
    const VLMCharacterHeader* header = VLMCharacterHeaderOf(c.get());
    const VLMNodeRecord* records = VLMCharacterNodeRecords(c.get());
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const std::int32_t k = header->nodeMap[id];
        EXPECT_EQ(VLMNodeRecordById(&header->nodes, id), records + k) << id;
        EXPECT_EQ(VLMTPoseEntryById(&header->tpose, id), VLMCharacterTPoseEntries(c.get()) + k) << id;
        EXPECT_EQ(VLMTPoseEntryById(&header->tpose, id)->presence != 0, k >= 0) << id;
    }
}

TEST(NodeBitSet, FillAssignClearAndTestAgainstAReferenceSet)
{
    VLMNodeBitSet set{};
    EXPECT_EQ(VLMNodeBitSetFill(&set, -5), &set);
    for (std::uint32_t i = 0; i < 192; ++i)
        ASSERT_TRUE(VLMNodeBitSetTest(&set, i)) << i;  // the 20 bits above node 171 too
    VLMNodeBitSetFill(&set, 0);
    for (std::uint32_t w : set.words)
        EXPECT_EQ(w, 0u);

    // Assign adds the bit only after clearing it: no carry into the next bit.
    set.words[1] = 0xA5A5A5A5u;
    VLMNodeBitSetAssign(&set, 33, 7);
    VLMNodeBitSetAssign(&set, 33, 7);
    EXPECT_EQ(set.words[1], 0xA5A5A5A7u);
    VLMNodeBitSetAssign(&set, 63, 0);
    EXPECT_EQ(set.words[1], 0x25A5A5A7u);

    std::mt19937 rng(1234u);
    std::uniform_int_distribution<std::uint32_t> index(0, 191);
    std::uniform_int_distribution<int> value(-3, 3);
    std::bitset<192> reference;
    VLMNodeBitSetFill(&set, 0);
    for (int step = 0; step < 5000; ++step) {
        const std::uint32_t i = index(rng);
        const int v = value(rng);
        if (step % 3 == 0) {
            VLMNodeBitSetClear(&set, i);
            reference.reset(i);
        } else {
            VLMNodeBitSetAssign(&set, i, v);
            reference.set(i, v != 0);
        }
    }
    for (std::uint32_t i = 0; i < 192; ++i) {
        ASSERT_EQ(VLMNodeBitSetTest(&set, i), reference.test(i)) << i;
        ASSERT_EQ((set.words[i / 32] >> (i % 32)) & 1u, reference.test(i) ? 1u : 0u) << i;
    }
}

TEST(RotationLimitBlock, FlagTestsSettersAndReset)
{
    VLMRotationPart part{};
    for (int bit = 0; bit < 32; ++bit) {
        part.flags = 1u << bit;
        EXPECT_EQ(VLMHasRotationLimits(&part), bit >= 1 && bit <= 6) << bit;
        EXPECT_EQ(VLMHasPreRotation(&part), bit == 7 ? 1 : 0) << bit;
        EXPECT_EQ(VLMHasPostRotation(&part), bit == 8 ? 1 : 0) << bit;
    }

    part.rotationOrder = 7;
    VLMSetFloat3At0(&part, -1.0f, -2.0f, -3.0f);
    VLMSetFloat3At3(&part, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(part.minLimit[2], -3.0f);
    EXPECT_EQ(part.maxLimit[0], 1.0f);
    float record[6] = {};
    VLMSetFloat3At0(record, 1, 2, 3);
    VLMSetFloat3At3(record, 4, 5, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(record[i], float(i + 1));

    // The reset clears the limits and their enable bits; bit 0 and the pre-
    // and post-rotation bits describe values that are still stored.
    part.flags = 0x1FFu;
    VLMRotationLimitsReset(&part);
    EXPECT_EQ(part.flags, 0x181u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(part.minLimit[i] == 0.0f && part.maxLimit[i] == 0.0f, true) << i;
    EXPECT_EQ(part.rotationOrder, 7u);
    std::uint32_t word = 99;
    VLMWordReset(&word);
    EXPECT_EQ(word, 0u);
}

TEST(SolverRecords, EffectorPairsJointRotationAndLanePairs)
{
    auto pairs = std::make_unique<VLMPairArray8>();
    for (int i = 0; i < 8; ++i) {
        const float f = float(10 * i);
        pairs->entries[i] = VLMPairEntry{{f + 1, f + 2, f + 3, 0}, {f + 4, f + 5, f + 6, f + 7}, {-9, -9, -9, -9}};
        pairs->lanes[i] = VLMVector4{f + 0.25f, f + 0.5f, f + 0.75f, f + 1.0f};
    }
    pairs->trailing[0] = VLMVector4{100, 101, 102, 0};
    pairs->trailing[1] = VLMVector4{0, 0, 0.5f, 0.5f};
    auto set = std::make_unique<VLMEffectorSetLayout>();
    std::memset(static_cast<void*>(set.get()), 0, sizeof *set);
    const std::int32_t ids[8] = {3, 7, 13, 20, 21, 22, 23, 44};  // 44 lies outside the set
    VLMStoreEffectorPairs(pairs.get(), ids, 2, set.get());
    for (int i = 0; i < 7; ++i) {
        const VLMTransformTQS& e = set->effectors[ids[i]];
        EXPECT_EQ(std::memcmp(&e.t, &pairs->entries[i].t, 32), 0) << i;  // T and Q
        EXPECT_EQ(e.s.x, 0.0f) << "the scale is not part of a pair";
        EXPECT_EQ(std::memcmp(&set->blend[ids[i]], &pairs->lanes[i], 16), 0) << i;
    }
    EXPECT_EQ(set->effectors[0].t.x, 0.0f);
    EXPECT_EQ(set->extremities[2].t.x, 100.0f);
    EXPECT_EQ(set->extremities[2].q.w, 0.5f);
    EXPECT_EQ(set->extremities[1].t.x, 0.0f);
    VLMStoreEffectorPairs(pairs.get(), ids, 4, set.get());  // extremity index out of range
    EXPECT_EQ(set->rollAngles[0].x, 0.0f);

    VLMTransformTQS transforms[6];
    VLMVector4 vectors[6];
    for (int k = 0; k < 6; ++k) {
        transforms[k].q = VLMVector4{float(k), 0, 0, 1};
        vectors[k] = VLMVector4{-1, float(k) * 10, -1, -1};
    }
    const std::int32_t table[3] = {5, 0, 1};
    VLMVector4 rotation{}, out{};
    EXPECT_EQ(&VLMPickJointRotation(out, table, transforms, vectors, true, 1, rotation), &out);
    EXPECT_EQ(rotation.x, 3.0f);
    EXPECT_EQ(out.x, 30.0f);
    EXPECT_EQ(out.w, 30.0f);
    VLMPickJointRotation(out, table, transforms, vectors, false, 0, rotation);
    EXPECT_EQ(rotation.x, 5.0f);
    EXPECT_EQ(out.z, 50.0f);

    const struct {
        void (*set)(VLMVector4*, float);
        int first, last;
        bool laneZ;
    } runs[] = {{VLMSetLanePairs6To7, 6, 7, false},
                {VLMSetLanePairs9To11, 9, 11, false},
                {VLMSetLanePairs12To15, 12, 15, false},
                {VLMSetLanePairs24To31, 24, 31, false},
                {VLMSetLaneZ6To7, 6, 7, true}};
    for (const auto& c : runs) {
        std::vector<VLMVector4> record(33, VLMVector4{-1, -1, -1, -1});
        c.set(record.data(), 2.5f);
        for (int i = 0; i < 33; ++i) {
            const bool inRun = i >= c.first && i <= c.last;
            const float xy = inRun && !c.laneZ ? 2.5f : -1.0f, z = inRun && c.laneZ ? 2.5f : -1.0f;
            EXPECT_TRUE(record[i].x == xy && record[i].y == xy && record[i].z == z && record[i].w == -1.0f)
                << c.first << " " << i;
        }
    }
}

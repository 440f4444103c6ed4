#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_records.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

// A miniature block in the character's style: a descriptor, an index table by
// node id and a record array with its spare element in front.
template <class Element, int Count>
struct alignas(16) MiniBlock {
    VLMTableDescriptor descriptor;
    std::int32_t indexTable[VLM_NODE_COUNT];
    Element elements[Count + 1];  // elements[0] is the spare element

    // Node id k * 3 has compact index k for k < Count; every other id is absent.
    void Build()
    {
        std::memset(static_cast<void*>(this), 0, sizeof *this);
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            indexTable[id] = (id % 3 == 0 && id / 3 < Count) ? id / 3 : -1;
        VLMTableDescriptorSet(&descriptor, &elements[1], indexTable);
    }
};

using NodeBlock = MiniBlock<VLMNodeRecord, 10>;
using TPoseBlock = MiniBlock<VLMTPoseEntry, 10>;

bool Inside(const void* p, const void* block, std::size_t size)
{
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const auto b = reinterpret_cast<std::uintptr_t>(block);
    return a >= b && a < b + size;
}

} // namespace

TEST(RecordAddresses, SignedIndexReachesTheSpareElementInFront)
{
    float floats[4] = {1, 2, 3, 4};
    EXPECT_EQ(VLMFloatArrayAt(floats + 1, -1), &floats[0]);
    EXPECT_EQ(VLMFloatArrayAt(floats + 1, 2), &floats[3]);
    VLMVector4 vectors[3] = {};
    EXPECT_EQ(VLMVector4ArrayAt(vectors + 1, -1), &vectors[0]);
    EXPECT_EQ(VLMVector4ArrayAt(vectors, 2), &vectors[2]);
}

TEST(TableDescriptor, SetOffsetsResolveInsideACopiedBlock)
{
    auto first = std::make_unique<TPoseBlock>();
    first->Build();
    EXPECT_EQ(first->descriptor.indexTableOffset, std::int64_t(offsetof(TPoseBlock, indexTable)));
    EXPECT_EQ(first->descriptor.elementOffset, std::int64_t(offsetof(TPoseBlock, elements) + sizeof(VLMTPoseEntry)));
    for (int k = 0; k <= 10; ++k)
        first->elements[k].presence = std::uint32_t(k);
    auto second = std::make_unique<TPoseBlock>();
    std::memcpy(static_cast<void*>(second.get()), first.get(), sizeof(TPoseBlock));

    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMTPoseEntry* entry = VLMTPoseEntryById(&second->descriptor, id);
        const bool present = id % 3 == 0 && id / 3 < 10;
        ASSERT_EQ(entry, &second->elements[present ? id / 3 + 1 : 0]) << id;  // absent: the spare entry
    }
    auto nodes = std::make_unique<NodeBlock>();
    nodes->Build();
    const VLMTableDescriptor* constDescriptor = &nodes->descriptor;
    EXPECT_EQ(VLMNodeRecordById(constDescriptor, 27), &nodes->elements[10]);
    EXPECT_EQ(VLMNodeRecordById(&nodes->descriptor, 28), &nodes->elements[0]);

    EXPECT_EQ(VLMTableDescriptorReset(&nodes->descriptor), &nodes->descriptor);
    EXPECT_EQ(nodes->descriptor.indexTableOffset, 0);
    EXPECT_EQ(nodes->descriptor.elementOffset, 0);
}

TEST(TableDescriptor, CharacterDescriptorsReachPresentNodesAndTheSpareEntries)
{
    VLMCharacterDefinition definition{};
    for (int id : {1, 2, 3, 4, 8, 15})  // Hips, left leg, spine, head
        definition.words[id] = 7;
    VLMCharacter* character = VLMCreateCharacter(&definition, [](std::uint64_t n) { return std::malloc(n); });
    ASSERT_NE(character, nullptr);
    VLMCharacterHeader* header = VLMCharacterHeaderOf(character);
    unsigned char* block = reinterpret_cast<unsigned char*>(character);
    const VLMNodeRecord* firstRecord = reinterpret_cast<const VLMNodeRecord*>(block + header->nodeRecordOffset);

    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMNodeRecord* record = VLMNodeRecordById(&header->nodes, id);
        const VLMTPoseEntry* entry = VLMTPoseEntryById(&header->tpose, id);
        ASSERT_TRUE(Inside(record, block, header->blockSize) && Inside(entry, block, header->blockSize)) << id;
        if (header->nodeMap[id] < 0) {
            EXPECT_EQ(record, firstRecord - 1) << id;
            EXPECT_EQ(entry->presence, 0u) << id;
        } else {
            EXPECT_EQ(record, firstRecord + header->nodeMap[id]) << id;
            EXPECT_EQ(record->nodeId, std::uint32_t(id)) << id;
        }
    }
    VLMDestroyCharacter(character, [](void* raw) { std::free(raw); });
}

TEST(NodeBitSet, FillSetsAll192BitsAndClearsThemAgain)
{
    VLMNodeBitSet set{};
    EXPECT_EQ(VLMNodeBitSetFill(&set, 1), &set);
    for (std::uint32_t w : set.words)
        EXPECT_EQ(w, 0xFFFFFFFFu);
    for (std::uint32_t i = 0; i < 192; ++i)
        EXPECT_TRUE(VLMNodeBitSetTest(&set, i)) << i;  // includes the 20 bits above node 171
    VLMNodeBitSetFill(&set, -5);
    EXPECT_EQ(set.words[5], 0xFFFFFFFFu);
    VLMNodeBitSetFill(&set, 0);
    for (std::uint32_t w : set.words)
        EXPECT_EQ(w, 0u);
}

TEST(NodeBitSet, AssignTakesAnyNonZeroValueAndKeepsTheOtherBits)
{
    VLMNodeBitSet set{};
    set.words[1] = 0xA5A5A5A5u;
    VLMNodeBitSetAssign(&set, 33, 7);  // bit 1 of word 1 was 0
    EXPECT_EQ(set.words[1], 0xA5A5A5A7u);
    VLMNodeBitSetAssign(&set, 33, 7);  // already set: unchanged, no carry into bit 2
    EXPECT_EQ(set.words[1], 0xA5A5A5A7u);
    VLMNodeBitSetAssign(&set, 32, 0);
    EXPECT_EQ(set.words[1], 0xA5A5A5A6u);
    VLMNodeBitSetAssign(&set, 63, -1);
    EXPECT_EQ(set.words[1], 0xA5A5A5A6u);
    VLMNodeBitSetAssign(&set, 63, 0);
    EXPECT_EQ(set.words[1], 0x25A5A5A6u);
    for (int w : {0, 2, 3, 4, 5})
        EXPECT_EQ(set.words[w], 0u);
}

TEST(NodeBitSet, RandomOperationsMatchAReferenceSet)
{
    std::mt19937 rng(1234u);
    std::uniform_int_distribution<std::uint32_t> index(0, 191);
    std::uniform_int_distribution<int> op(0, 2);
    std::uniform_int_distribution<int> value(-3, 3);
    VLMNodeBitSet set{};
    std::bitset<192> reference;
    for (int step = 0; step < 5000; ++step) {
        const std::uint32_t i = index(rng);
        switch (op(rng)) {
        case 0:
            VLMNodeBitSetClear(&set, i);
            reference.reset(i);
            break;
        default: {
            const int v = value(rng);
            VLMNodeBitSetAssign(&set, i, v);
            reference.set(i, v != 0);
            break;
        }
        }
    }
    for (std::uint32_t i = 0; i < 192; ++i) {
        ASSERT_EQ(VLMNodeBitSetTest(&set, i), reference.test(i)) << i;
        ASSERT_EQ((set.words[i / 32] >> (i % 32)) & 1u, reference.test(i) ? 1u : 0u) << i;
    }
}

TEST(RotationLimitBlock, FlagTestsLookOnlyAtTheirOwnBits)
{
    VLMRotationPart part{};
    for (int bit = 0; bit < 32; ++bit) {
        part.flags = 1u << bit;
        EXPECT_EQ(VLMHasRotationLimits(&part), bit >= 1 && bit <= 6) << bit;  // not bits 0, 7, 8
        EXPECT_EQ(VLMHasPreRotation(&part), bit == 7 ? 1 : 0) << bit;
        EXPECT_EQ(VLMHasPostRotation(&part), bit == 8 ? 1 : 0) << bit;
    }
    part.flags = 0xFFFFFFFFu;
    EXPECT_EQ(VLMHasPreRotation(&part), 1);
    EXPECT_EQ(VLMHasPostRotation(&part), 1);
}

TEST(RotationLimitBlock, SettersWriteMinimumThenMaximumAndResetClearsOnlyTheBlock)
{
    VLMRotationPart part{};
    part.rotationOrder = 7;
    part.preRotation = VLMVector4{1, 2, 3, 4};
    VLMSetFloat3At0(&part, -1.0f, -2.0f, -3.0f);
    VLMSetFloat3At3(&part, 1.0f, 2.0f, 3.0f);
    part.flags = 0x1FFu;
    EXPECT_EQ(part.minLimit[0], -1.0f);
    EXPECT_EQ(part.minLimit[2], -3.0f);
    EXPECT_EQ(part.maxLimit[0], 1.0f);
    EXPECT_EQ(part.maxLimit[2], 3.0f);

    float record[6] = {};
    VLMSetFloat3At0(record, 1, 2, 3);
    VLMSetFloat3At3(record, 4, 5, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(record[i], float(i + 1));

    VLMRotationLimitsReset(&part);
    EXPECT_EQ(part.flags, 0x181u) << "limit bits cleared; assignment, pre- and post-rotation bits kept";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(part.minLimit[i], 0.0f);
        EXPECT_EQ(part.maxLimit[i], 0.0f);
    }
    EXPECT_EQ(part.rotationOrder, 7u);
    EXPECT_EQ(part.preRotation.w, 4.0f);

    std::uint32_t word = 99;
    VLMWordReset(&word);
    EXPECT_EQ(word, 0u);
}

TEST(EffectorPairs, StoreWritesPairsBlendsAndTheExtremity)
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
    for (VLMTransformTQS& e : set->effectors)
        e.s = VLMVector4{1, 1, 1, 1};
    const std::int32_t ids[8] = {3, 7, 13, 20, 21, 22, 23, 44};  // 44 lies outside the set

    VLMStoreEffectorPairs(pairs.get(), ids, 2, set.get());

    for (int i = 0; i < 7; ++i) {
        const VLMTransformTQS& e = set->effectors[ids[i]];
        EXPECT_EQ(std::memcmp(&e.t, &pairs->entries[i].t, 16), 0) << i;
        EXPECT_EQ(std::memcmp(&e.q, &pairs->entries[i].q, 16), 0) << i;
        EXPECT_EQ(e.s.x, 1.0f) << "the scale is not part of a pair";
        EXPECT_EQ(std::memcmp(&set->blend[ids[i]], &pairs->lanes[i], 16), 0) << i;
    }
    EXPECT_EQ(set->effectors[0].t.x, 0.0f);
    EXPECT_EQ(set->blend[43].x, 0.0f);
    EXPECT_EQ(set->extremities[2].t.x, 100.0f);
    EXPECT_EQ(set->extremities[2].q.w, 0.5f);
    EXPECT_EQ(set->extremities[1].t.x, 0.0f);
    EXPECT_EQ(set->rollAngles[0].x, 0.0f);  // nothing written past the extremities

    VLMStoreEffectorPairs(pairs.get(), ids, 4, set.get());  // extremity index out of range
    EXPECT_EQ(set->rollAngles[0].x, 0.0f);
}

TEST(SolverRecords, PickJointRotationTakesTheDirectOrTheTableRow)
{
    VLMTransformTQS transforms[6];
    VLMVector4 vectors[6];
    for (int k = 0; k < 6; ++k) {
        transforms[k].q = VLMVector4{float(k), 0, 0, 1};
        vectors[k] = VLMVector4{-1, float(k) * 10, -1, -1};
    }
    const std::int32_t table[3] = {5, 0, 1};
    VLMVector4 rotation{}, out{};
    VLMVector4& r = VLMPickJointRotation(out, table, transforms, vectors, true, 1, rotation);
    EXPECT_EQ(&r, &out);
    EXPECT_EQ(rotation.x, 3.0f);
    EXPECT_EQ(out.x, 30.0f);
    EXPECT_EQ(out.w, 30.0f);
    VLMPickJointRotation(out, table, transforms, vectors, false, 0, rotation);
    EXPECT_EQ(rotation.x, 5.0f);
    EXPECT_EQ(out.z, 50.0f);
}

TEST(SolverRecords, LanePairSettersWriteOnlyTheirRuns)
{
    struct Case {
        void (*set)(VLMVector4*, float);
        int first, last;
        bool laneZ;
    };
    const Case cases[] = {{VLMSetLanePairs6To7, 6, 7, false},
                          {VLMSetLanePairs9To11, 9, 11, false},
                          {VLMSetLanePairs12To15, 12, 15, false},
                          {VLMSetLanePairs24To31, 24, 31, false},
                          {VLMSetLaneZ6To7, 6, 7, true}};
    for (const Case& c : cases) {
        std::vector<VLMVector4> record(33, VLMVector4{-1, -1, -1, -1});
        c.set(record.data(), 2.5f);
        for (int i = 0; i < 33; ++i) {
            const bool inRun = i >= c.first && i <= c.last;
            EXPECT_EQ(record[i].x, inRun && !c.laneZ ? 2.5f : -1.0f) << c.first << " " << i;
            EXPECT_EQ(record[i].y, inRun && !c.laneZ ? 2.5f : -1.0f) << c.first << " " << i;
            EXPECT_EQ(record[i].z, inRun && c.laneZ ? 2.5f : -1.0f) << c.first << " " << i;
            EXPECT_EQ(record[i].w, -1.0f);
        }
    }
}

#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"

#include "rig_sample.h"
#include "rig_tree_oracle.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using sample::CharacterPtr;

// Caller memory for VLMConstructCharacter: 16-byte aligned, plus a shift.
struct Arena {
    explicit Arena(std::size_t bytes) : raw(bytes + 64) { }
    void* at(std::size_t shift)
    {
        return reinterpret_cast<void*>(((reinterpret_cast<std::uintptr_t>(raw.data()) + 15) & ~std::uintptr_t(15)) +
                                       shift);
    }
    std::vector<unsigned char> raw;
};

// Everything a caller can ask a character about its nodes.
std::vector<int> Ask(const VLMCharacter* c)
{
    std::vector<int> a;
    for (int id = -1; id <= VLM_NODE_COUNT; ++id) {
        const int count = VLMGetChildNodeCount(c, id);
        a.insert(a.end(), {VLMGetNodeDefinitionBits(c, id), VLMGetParentNodeId(c, id), count,
                           VLMCharacterCompactIndex(c, id), int(VLMCharacterTPoseEntry(c, id)->presence)});
        for (int i = 0; i < count; ++i)
            a.push_back(VLMGetChildNodeId(c, id, i));
    }
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        a.push_back(VLMEffectorNodeIndex(c, e));
    return a;
}

// Full, the 16 required nodes, and one with holes: a neck chain without
// Neck, index joints 2 and 3 without joint 1, a shoulder extra without its shoulder.
std::vector<oracle::Presence> Definitions()
{
    oracle::Presence holed = oracle::Required();
    for (int id : {32, 33, 21, 50, 55, 56, 170})
        holed[id] = true;
    return {oracle::Full(), oracle::Required(), holed};
}

}  // namespace

TEST(CharacterSize, SizeRuleAndOneAllocationPerCreate)
{
    const VLMCharacterDefinition required = oracle::Definition(oracle::Required());
    VLMCharacterDefinition noReference = required;  // Reference added without its entries
    noReference.words[0] = 6;
    VLMCharacterDefinition mixed = required;  // bit 2 alone gives no rotation record, bit 1 alone nothing
    mixed.words[3] = 1;
    mixed.words[4] = 5;
    mixed.words[40] = 4;
    mixed.words[41] = 2;
    const struct {
        VLMCharacterDefinition def;
        std::uint32_t nodes;
        std::uint64_t size;
    } cases[] = {
        {VLMCharacterDefinition{}, 1, 8448},
        {required, 16, 14864},
        {oracle::Definition(oracle::Full()), 172, 79760},
        {noReference, 16, 7968 + 17 * 64 + 17 * 176 + 15 * 48 + 15 * 128},
        {mixed, 16, 7968 + 17 * 64 + 17 * 176 + 16 * 48 + 15 * 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nodes);
        EXPECT_EQ(VLMGetCharacterSize(&c.def), c.size);
        TestAllocator::reset();
        VLMCharacter* character = VLMCreateCharacter(&c.def, &TestAllocator::allocate);
        ASSERT_NE(character, nullptr);
        ASSERT_EQ(TestAllocator::requests, std::vector<std::uint64_t>{c.size + 23});
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(character) % 16, 0u);
        const VLMCharacterHeader* h = VLMCharacterHeaderOf(character);
        EXPECT_EQ(h->nodeCount, c.nodes);
        EXPECT_EQ(h->blockSize, c.size);
        VLMDefinitionCounts counts;
        VLMCountDefinitionNodes(&c.def, &counts);
        EXPECT_EQ(h->rotationOffset + 128 * counts.rotations, c.size) << "the last array ends the block";
        VLMDestroyCharacter(character, &TestAllocator::release);
        EXPECT_EQ(TestAllocator::live, 0);
    }
    EXPECT_EQ(VLMGetCharacterSize(nullptr), 0u);
}

TEST(CharacterCreate, FailedAllocationAndBadMemoryGiveNullAndWriteNothing)
{
    const VLMCharacterDefinition def = oracle::Definition(oracle::Required());
    TestAllocator::reset();
    TestAllocator::failAt = 0;
    EXPECT_EQ(VLMCreateCharacter(&def, &TestAllocator::allocate), nullptr);
    EXPECT_EQ(TestAllocator::requests.size(), 1u);
    TestAllocator::reset();
    EXPECT_EQ(VLMCreateCharacter(nullptr, &TestAllocator::allocate), nullptr);
    EXPECT_EQ(VLMCreateCharacter(&def, nullptr), nullptr);
    EXPECT_TRUE(TestAllocator::requests.empty());

    Arena arena(VLMGetCharacterSize(&def));
    std::memset(arena.raw.data(), 0xAB, arena.raw.size());
    for (std::size_t shift : {1, 4, 8, 12})
        EXPECT_EQ(VLMConstructCharacter(&def, arena.at(shift)), nullptr) << shift;
    EXPECT_EQ(VLMConstructCharacter(&def, nullptr), nullptr);
    EXPECT_EQ(VLMConstructCharacter(nullptr, arena.at(0)), nullptr);
    for (unsigned char byte : arena.raw)
        ASSERT_EQ(byte, 0xAB) << "a refused construction wrote to the memory";
}

TEST(CharacterCreate, BlocksArePositionIndependent)
{
    for (const oracle::Presence& p : Definitions()) {
        // Built at two addresses, and created: the same bytes.
        const VLMCharacterDefinition def = oracle::Definition(p, 5);
        const std::uint64_t size = VLMGetCharacterSize(&def);
        Arena a(size), b(size);
        std::memset(a.raw.data(), 0x11, a.raw.size());
        std::memset(b.raw.data(), 0xEE, b.raw.size());
        ASSERT_EQ(VLMConstructCharacter(&def, a.at(0)), a.at(0));
        ASSERT_EQ(VLMConstructCharacter(&def, b.at(16)), b.at(16));
        EXPECT_EQ(std::memcmp(a.at(0), b.at(16), size), 0);
        TestAllocator::reset();
        VLMCharacter* original = VLMCreateCharacter(&def, &TestAllocator::allocate);
        ASSERT_NE(original, nullptr);
        EXPECT_EQ(std::memcmp(a.at(0), original, size), 0);

        // Copied elsewhere, with the original freed: the same answers.
        const std::vector<int> before = Ask(original);
        void* copy = std::aligned_alloc(16, (size + 15) & ~std::uint64_t(15));
        std::memcpy(copy, original, size);
        VLMDestroyCharacter(original, &TestAllocator::release);
        EXPECT_EQ(TestAllocator::live, 0);
        EXPECT_EQ(Ask(static_cast<VLMCharacter*>(copy)), before);
        std::free(copy);
    }
}

TEST(CharacterCreate, EntriesInAscendingIdOrder)
{
    // Parent-offset entries for the used nodes, rotation records for those
    // with bit 2 (marked as assigned), both numbered by ascending node id.
    VLMCharacterDefinition def = oracle::Definition(oracle::Required());
    def.words[1] = 1;
    CharacterPtr c = sample::Create(def);
    ASSERT_TRUE(c);
    const VLMRotationRecord* rotations = VLMCharacterRotationRecords(c.get());
    for (int id = 0; id <= 15; ++id) {
        const VLMNodeRecord* r = VLMCharacterNodeRecord(c.get(), id);
        EXPECT_EQ(r->parentOffsetIndex, std::uint64_t(id));
        EXPECT_EQ(r->rotationIndex, id == 1 ? VLM_INDEX_NONE : std::uint64_t(id < 1 ? id : id - 1)) << id;
        EXPECT_EQ(rotations[id < 15 ? id : 0].part.flags, VLM_ROTFLAG_ASSIGNED);
    }
}

TEST(CharacterCreate, DefinitionBitsAndTheRootRecordsEntries)
{
    // Reference gets its entries only when it is used: bits 1 or 2 alone must
    // not point the root at another node's entry.
    const struct {
        std::uint32_t word0;
        int bits0;
        std::uint64_t rootOffset, rootRotation;
    } cases[] = {
        {0, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
        {1, 3, 0, VLM_INDEX_NONE},
        {3, 3, 0, VLM_INDEX_NONE},
        {5, 7, 0, 0},
        {7, 7, 0, 0},
        {2, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
        {4, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
        {6, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word0);
        VLMCharacterDefinition def{};
        def.words[0] = c.word0;
        def.words[1] = 1;
        def.words[2] = 5;  // bits 0 and 2: the character cannot tell bit 1 apart
        CharacterPtr ch = sample::Create(def);
        ASSERT_TRUE(ch);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 0), c.bits0);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 1), 3);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 2), 7);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 3), 0);
        EXPECT_EQ(VLMCharacterHeaderOf(ch.get())->root.parentOffsetIndex, c.rootOffset);
        EXPECT_EQ(VLMCharacterHeaderOf(ch.get())->root.rotationIndex, c.rootRotation);
    }
}

TEST(CharacterQueries, BadIdsAndTheCallersControlWord)
{
    TestAllocator::reset();
    const VLMCharacterDefinition def = oracle::Definition(oracle::Full());
    VLMCharacter* c = nullptr;
    EXPECT_TRUE(RestoresCallerWord([&] { c = VLMCreateCharacter(&def, &TestAllocator::allocate); }));
    ASSERT_NE(c, nullptr);
    for (int id : {-1, -2, 172, 4096, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(VLMGetNodeDefinitionBits(c, id), 0);
        EXPECT_EQ(VLMGetParentNodeId(c, id), -1);
        EXPECT_EQ(VLMGetChildNodeCount(c, id), 0);
        EXPECT_EQ(VLMGetChildNodeId(c, id, 0), -1);
        EXPECT_EQ(VLMCharacterTPoseEntry(c, id)->presence, 0u);
    }
    for (int e : {-1, 44, INT_MAX})
        EXPECT_EQ(VLMEffectorNodeIndex(c, e), -1);
    for (int i : {-1, 3})
        EXPECT_EQ(VLMGetChildNodeId(c, 1, i), -1);
    EXPECT_EQ(VLMGetChildNodeId(c, 0, 1), -1);
    EXPECT_EQ(VLMGetChildNodeId(c, 15, 0), -1);

    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetCharacterSize(&def); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetChildNodeId(c, 1, 9); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMEffectorNodeIndex(c, 10); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMDestroyCharacter(c, &TestAllocator::release); }));
    TestAllocator::failAt = int(TestAllocator::requests.size());
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_EQ(VLMCreateCharacter(&def, &TestAllocator::allocate), nullptr); }));
    Arena arena(VLMGetCharacterSize(&def));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMConstructCharacter(&def, arena.at(4)); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMConstructCharacter(&def, arena.at(0)); }));
}

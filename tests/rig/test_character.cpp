#include "vlm_character.h"
#include "vlm_frame.h"
#include "vlm_names.h"
#include "vlm_node_record.h"

#include "rig_tree_oracle.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct CharacterDeleter {
    void operator()(VLMCharacter* c) const { VLMDestroyCharacter(c, &TestAllocator::release); }
};
using CharacterPtr = std::unique_ptr<VLMCharacter, CharacterDeleter>;

CharacterPtr Create(const VLMCharacterDefinition& def)
{
    return CharacterPtr(VLMCreateCharacter(&def, &TestAllocator::allocate));
}

// Caller memory for VLMConstructCharacter, 16-byte aligned plus a shift.
struct Arena {
    explicit Arena(std::size_t bytes) : raw(bytes + 64) {}
    void* at(std::size_t shift)
    {
        const auto base = (reinterpret_cast<std::uintptr_t>(raw.data()) + 15) & ~std::uintptr_t(15);
        return reinterpret_cast<void*>(base + shift);
    }
    std::vector<unsigned char> raw;
};

// Everything a caller can ask a character about its nodes.
struct Answers {
    std::vector<int> values;
    bool operator==(const Answers& o) const { return values == o.values; }
};
Answers Ask(const VLMCharacter* c)
{
    Answers a;
    for (int id = -1; id <= VLM_NODE_COUNT; ++id) {
        a.values.push_back(VLMGetNodeDefinitionBits(c, id));
        a.values.push_back(VLMGetParentNodeId(c, id));
        const int count = VLMGetChildNodeCount(c, id);
        a.values.push_back(count);
        for (int i = 0; i < count; ++i)
            a.values.push_back(VLMGetChildNodeId(c, id, i));
        a.values.push_back(VLMCharacterCompactIndex(c, id));
        a.values.push_back(int(VLMCharacterTPoseEntry(c, id)->presence));
    }
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e)
        a.values.push_back(VLMEffectorNodeIndex(c, e));
    return a;
}

oracle::Presence Holed()
{
    oracle::Presence p = oracle::Required();
    p[32] = p[33] = true;                      // neck chain without Neck
    p[21] = p[50] = p[55] = p[56] = true;      // finger base, thumb, index joints 2 and 3
    p[170] = true;                             // shoulder extra without its shoulder
    return p;
}

const oracle::Presence kDefinitions[] = {oracle::Full(), oracle::Required(), Holed()};

} // namespace

TEST(CharacterSize, SizeRuleAndOneAllocationPerCreate)
{
    struct Case {
        const char* what;
        VLMCharacterDefinition def;
        std::uint32_t nodes;
        std::uint64_t size;
    };
    VLMCharacterDefinition empty{};
    VLMCharacterDefinition required = oracle::Definition(oracle::Required(), 7);
    VLMCharacterDefinition full = oracle::Definition(oracle::Full(), 7);
    // Word 0 without bit 0: Reference is added, without parent-offset entry or rotation record.
    VLMCharacterDefinition noReference = required;
    noReference.words[0] = 6;
    // Bit 2 alone gives no rotation record; bit 1 alone nothing at all.
    VLMCharacterDefinition mixed = required;
    mixed.words[3] = 1;
    mixed.words[4] = 5;
    mixed.words[40] = 4;
    mixed.words[41] = 2;
    const Case cases[] = {
        {"no word set", empty, 1, 7968 + 2 * 64 + 2 * 176},
        {"16 body nodes", required, 16, 14864},
        {"all 172 nodes", full, 172, 79760},
        {"word 0 without bit 0", noReference, 16, 7968 + 17 * 64 + 17 * 176 + 15 * 48 + 15 * 128},
        {"mixed bits", mixed, 16, 7968 + 17 * 64 + 17 * 176 + 16 * 48 + 15 * 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(VLMGetCharacterSize(&c.def), c.size);
        TestAllocator::reset();
        VLMCharacter* character = VLMCreateCharacter(&c.def, &TestAllocator::allocate);
        ASSERT_NE(character, nullptr);
        ASSERT_EQ(TestAllocator::requests.size(), 1u);
        EXPECT_EQ(TestAllocator::requests[0], c.size + 23);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(character) % 16, 0u);
        const VLMCharacterHeader* h = VLMCharacterHeaderOf(character);
        EXPECT_EQ(h->nodeCount, c.nodes);
        EXPECT_EQ(h->blockSize, c.size);
        // The block ends exactly where the last array ends.
        VLMDefinitionCounts counts;
        VLMCountDefinitionNodes(&c.def, &counts);
        EXPECT_EQ(h->rotationOffset + 128 * counts.rotations, c.size);
        VLMDestroyCharacter(character, &TestAllocator::release);
        EXPECT_EQ(TestAllocator::live, 0);
    }
    EXPECT_EQ(VLMGetCharacterSize(&cases[0].def), 8448u);
    EXPECT_EQ(VLMGetCharacterSize(nullptr), 0u);
}

TEST(CharacterCreate, FailedAllocationAndBadMemoryGiveNull)
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

TEST(CharacterCreate, ConstructedAndCreatedBlocksAreEqualByteForByte)
{
    // No absolute address ends up in the block: the same definition built at
    // two different addresses gives the same bytes.
    for (const oracle::Presence& p : kDefinitions) {
        const VLMCharacterDefinition def = oracle::Definition(p);
        const std::uint64_t size = VLMGetCharacterSize(&def);
        Arena a(size), b(size);
        std::memset(a.raw.data(), 0x11, a.raw.size());
        std::memset(b.raw.data(), 0xEE, b.raw.size());
        ASSERT_EQ(VLMConstructCharacter(&def, a.at(0)), a.at(0));
        ASSERT_EQ(VLMConstructCharacter(&def, b.at(16)), b.at(16));
        EXPECT_EQ(std::memcmp(a.at(0), b.at(16), size), 0);
        TestAllocator::reset();
        CharacterPtr created = Create(def);
        ASSERT_TRUE(created);
        EXPECT_EQ(std::memcmp(a.at(0), created.get(), size), 0);
    }
}

TEST(CharacterCreate, CopiedBlockAnswersLikeTheOriginalAfterTheOriginalIsFreed)
{
    for (const oracle::Presence& p : kDefinitions) {
        const VLMCharacterDefinition def = oracle::Definition(p, 5);
        TestAllocator::reset();
        VLMCharacter* original = VLMCreateCharacter(&def, &TestAllocator::allocate);
        ASSERT_NE(original, nullptr);
        const Answers before = Ask(original);
        const std::uint32_t size = VLMCharacterHeaderOf(original)->blockSize;
        void* copy = std::aligned_alloc(16, (size + 15) & ~15u);
        std::memcpy(copy, original, size);
        VLMDestroyCharacter(original, &TestAllocator::release);
        EXPECT_EQ(TestAllocator::live, 0);
        EXPECT_TRUE(Ask(static_cast<VLMCharacter*>(copy)) == before);
        std::free(copy);
    }
}

TEST(CharacterCreate, SpareEntriesEntryNumberingAndPresence)
{
    VLMCharacterDefinition def = oracle::Definition(oracle::Required(), 7);
    def.words[1] = 1;
    CharacterPtr c = Create(def);
    ASSERT_TRUE(c);
    VLMCharacter* ch = c.get();

    // Absent ids land on the spares: no presence, rest pose identity, no links.
    const VLMTPoseEntry* spare = VLMCharacterTPoseEntry(ch, 16);
    EXPECT_EQ(spare, VLMCharacterTPoseEntries(ch) - 1);
    EXPECT_EQ(spare->presence, 0u);
    EXPECT_EQ(spare->q.w, 1.0f);
    EXPECT_EQ(spare->s.x, 1.0f);
    for (int id = 0; id <= 15; ++id)
        EXPECT_NE(VLMCharacterTPoseEntry(ch, id)->presence, 0u);
    const VLMNodeRecord* spareRecord = VLMCharacterNodeRecord(ch, 100);
    EXPECT_EQ(spareRecord, VLMCharacterNodeRecords(ch) - 1);
    EXPECT_EQ(spareRecord->childCount, 0u);
    EXPECT_EQ(spareRecord->firstChildIndex, VLM_INDEX_NONE);
    EXPECT_EQ(spareRecord->nodeId, VLM_INDEX32_NONE);
    EXPECT_EQ(spareRecord->mirrorPartner, VLM_INDEX32_NONE);

    // Parent-offset entries by ascending id of the used nodes; rotation records
    // for the nodes with bit 2, marked as assigned.
    const VLMRotationRecord* rotations = VLMCharacterRotationRecords(ch);
    std::uint64_t expectRotation = 0;
    for (int id = 0; id <= 15; ++id) {
        const VLMNodeRecord* r = VLMCharacterNodeRecord(ch, id);
        EXPECT_EQ(r->parentOffsetIndex, std::uint64_t(id)) << id;
        EXPECT_EQ(r->rotationIndex, id == 1 ? VLM_INDEX_NONE : expectRotation) << id;
        if (id != 1) {
            EXPECT_EQ(rotations[expectRotation++].part.flags, VLM_ROTFLAG_ASSIGNED);
        }
    }
    EXPECT_EQ(VLMCharacterParentOffsets(ch)[15].q.w, 1.0f);
    EXPECT_EQ(rotations[14].part.postRotation.w, 1.0f);
}

TEST(CharacterCreate, DefinitionBitsAndTheRootRecordsEntries)
{
    struct Case {
        std::uint32_t word0;
        int bits0;
        std::uint64_t rootOffset, rootRotation;
    };
    // Reference gets its entries only when it is used; bits 1 or 2 alone must
    // not point the root at another node's entry.
    const Case cases[] = {
        {0, 1, VLM_INDEX_NONE, VLM_INDEX_NONE}, {1, 3, 0, VLM_INDEX_NONE}, {3, 3, 0, VLM_INDEX_NONE},
        {5, 7, 0, 0},                           {7, 7, 0, 0},              {2, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
        {4, 1, VLM_INDEX_NONE, VLM_INDEX_NONE}, {6, 1, VLM_INDEX_NONE, VLM_INDEX_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word0);
        VLMCharacterDefinition def{};
        def.words[0] = c.word0;
        def.words[1] = 1;
        def.words[2] = 5;  // bits 0 and 2: the character cannot tell bit 1 apart
        CharacterPtr ch = Create(def);
        ASSERT_TRUE(ch);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 0), c.bits0);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 1), 3);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 2), 7);
        EXPECT_EQ(VLMGetNodeDefinitionBits(ch.get(), 3), 0);
        const VLMCharacterHeader* h = VLMCharacterHeaderOf(ch.get());
        EXPECT_EQ(h->root.parentOffsetIndex, c.rootOffset);
        EXPECT_EQ(h->root.rotationIndex, c.rootRotation);
        EXPECT_EQ(h->nodeCount, 3u);
    }
}

TEST(CharacterQueries, IdsOutsideTheRigAreAbsentNodes)
{
    CharacterPtr c = Create(oracle::Definition(oracle::Full()));
    ASSERT_TRUE(c);
    for (int id : {-1, -2, 172, 173, 4096, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(VLMGetNodeDefinitionBits(c.get(), id), 0);
        EXPECT_EQ(VLMGetParentNodeId(c.get(), id), -1);
        EXPECT_EQ(VLMGetChildNodeCount(c.get(), id), 0);
        EXPECT_EQ(VLMGetChildNodeId(c.get(), id, 0), -1);
        EXPECT_EQ(VLMCharacterCompactIndex(c.get(), id), -1);
        EXPECT_EQ(VLMCharacterTPoseEntry(c.get(), id)->presence, 0u);
    }
    for (int e : {-1, 44, INT_MAX})
        EXPECT_EQ(VLMEffectorNodeIndex(c.get(), e), -1);
    // Child indices outside the range.
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 1, -1), -1);
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 1, 3), -1);
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 0, 1), -1);
    EXPECT_EQ(VLMGetChildNodeId(c.get(), 15, 0), -1);
}

TEST(CharacterQueries, EntryPointsRestoreTheCallersControlWord)
{
    const VLMCharacterDefinition def = oracle::Definition(oracle::Required());
    TestAllocator::reset();
    VLMCharacter* c = nullptr;
    EXPECT_TRUE(RestoresCallerWord([&] { c = VLMCreateCharacter(&def, &TestAllocator::allocate); }));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetCharacterSize(&def); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetNodeDefinitionBits(c, 3); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetParentNodeId(c, 3); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetParentNodeId(c, 0); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetChildNodeCount(c, 1); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetChildNodeId(c, 1, 2); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetChildNodeId(c, 1, 9); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMEffectorNodeIndex(c, 10); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMDestroyCharacter(c, &TestAllocator::release); }));
    // Failure paths.
    TestAllocator::reset();
    TestAllocator::failAt = 0;
    EXPECT_TRUE(RestoresCallerWord([&] { EXPECT_EQ(VLMCreateCharacter(&def, &TestAllocator::allocate), nullptr); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMCreateCharacter(nullptr, &TestAllocator::allocate); }));
    Arena arena(VLMGetCharacterSize(&def));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMConstructCharacter(&def, arena.at(4)); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMConstructCharacter(&def, arena.at(0)); }));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetCharacterSize(nullptr); }));
}

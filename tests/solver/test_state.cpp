#include "solver_test_util.h"
#include "test_alloc.h"

#include <limits>

namespace {

using namespace soltest;

// The size for a definition counts node 0 as creation does, or a state in memory of that size overruns.
TEST(State, SizeForDefinitionMatchesCreationForEveryWordZero)
{
    for (std::uint32_t word0 : {0u, 1u, 2u, 4u, 6u, 7u}) {
        VLMCharacterDefinition def{};
        std::fill(def.words + 1, def.words + 20, 7u);
        def.words[0] = word0;
        sample::CharacterPtr c = sample::Create(def);
        const std::uint64_t size = VLMGetCharacterStateSizeForDefinition(&def);
        EXPECT_EQ(size, VLMGetCharacterStateSize(c.get())) << "word 0 = " << word0;
        EXPECT_EQ(size, 2032u) << word0;

        std::vector<unsigned char> memory(size + 16 + 64, 0xC3);
        unsigned char* block = memory.data() + ((16 - reinterpret_cast<std::uintptr_t>(memory.data()) % 16) % 16);
        ASSERT_NE(VLMConstructCharacterState(c.get(), block), nullptr);
        for (std::size_t i = size; i < size + 48; ++i)
            ASSERT_EQ(block[i], 0xC3) << "written past the end, word 0 = " << word0;
        EXPECT_EQ(VLMGetCharacterStateSizeFromState(reinterpret_cast<VLMCharacterState*>(block)), size);
    }
}

TEST(State, CreationRequestsPlacementAndRelease)
{
    TestAllocator::reset();
    VLMCharacterDefinition def{};
    std::fill(def.words, def.words + 20, 7u);
    sample::CharacterPtr c = sample::Create(def);
    TestAllocator::requests.clear();

    VLMCharacterState* state = VLMCreateCharacterState(c.get(), &TestAllocator::allocate);
    VLMEffectorSetState* set = VLMCreateEffectorSetState(&TestAllocator::allocate);
    ASSERT_EQ(TestAllocator::requests, (std::vector<std::uint64_t>{2055, 3319}));
    for (void* block : {static_cast<void*>(state), static_cast<void*>(set)}) {
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
        const std::uintptr_t raw = reinterpret_cast<std::uintptr_t>(VLMRawAllocationOf(block));
        EXPECT_GE(reinterpret_cast<std::uintptr_t>(block), raw + 8);
        EXPECT_LT(reinterpret_cast<std::uintptr_t>(block), raw + 24);
    }
    // Identity rows, spare row included; header count, zeroed rest.
    const auto* header = reinterpret_cast<const VLMCharacterStateHeader*>(state);
    EXPECT_EQ(header->nodeCount, 20u);
    EXPECT_EQ(header->unused[0] | header->unused[1] | header->unused[2], 0u);
    const float identity[24] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
    for (int k = -1; k < 20; ++k)
        EXPECT_EQ(std::memcmp(VLMStateRowAt(static_cast<const void*>(state), k), identity, 96), 0) << k;
    void *rawState = VLMRawAllocationOf(state), *rawSet = VLMRawAllocationOf(set);
    VLMDestroyCharacterState(state, &TestAllocator::release);
    VLMDestroyEffectorSetState(set, &TestAllocator::release);
    EXPECT_EQ(TestAllocator::freed, (std::vector<void*>{rawState, rawSet}));

    TestAllocator::failAt = int(TestAllocator::requests.size());
    EXPECT_EQ(VLMCreateCharacterState(c.get(), &TestAllocator::allocate), nullptr);
    EXPECT_EQ(VLMCreateCharacterState(nullptr, &TestAllocator::allocate), nullptr);
    alignas(16) unsigned char memory[16 * 40];
    EXPECT_EQ(VLMConstructCharacterState(c.get(), memory + 8), nullptr);
    EXPECT_EQ(VLMConstructEffectorSetState(nullptr), nullptr);
    EXPECT_EQ(VLMResetEffectorSetState(nullptr), nullptr);
    EXPECT_EQ(VLMGetCharacterBlockSize(c.get()), VLMGetCharacterSize(&def));
}

void ExpectDefaults(VLMEffectorSetLayout* s)
{
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        EXPECT_TRUE(SameBits(s->effectors[e].q, V(0, 0, 0, 1))) << e;
        EXPECT_TRUE(SameBits(s->effectors[e].s, V(1, 1, 1, 1))) << e;
        EXPECT_TRUE(SameBits(s->blend[e], V(0, 0, 0, 0))) << e;
    }
    for (const VLMTransformTQS& f : s->extremities)
        EXPECT_TRUE(SameBits(f.t, V(0, 0, 0, 0)) && SameBits(f.q, V(0, 0, 0, 1)));
    EXPECT_EQ(s->stageWord, 0xFFFFFFFFu);
    EXPECT_EQ(s->rollCaptured, 0u);
    EXPECT_TRUE(s->leftHandPull == 1 && s->rightHandPull == 1);
    EXPECT_EQ(std::vector<float>(s->bodyMeasurements, s->bodyMeasurements + 3), std::vector<float>(3, 1.0f));
}

TEST(State, EffectorSetDefaultsAndResetKeepsTheRollBlock)
{
    VLMEffectorSetStateHandle set = NewSet();
    VLMEffectorSetLayout* s = Layout(set.get());
    for (unsigned char fill : {0, 0x5A}) {  // created zeroed; reset keeps the roll block
        if (fill) {
            std::memset(s, fill, sizeof *s);
            EXPECT_EQ(VLMResetEffectorSetState(set.get()), set.get());
        }
        ExpectDefaults(s);
        const std::vector<unsigned char> roll(sizeof s->rollAngles, fill);
        EXPECT_EQ(std::memcmp(s->rollAngles, roll.data(), roll.size()), 0);
    }
}

TEST(State, LanesClampAndHandPullSides)
{
    VLMEffectorSetStateHandle set = NewSet();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float in, stored;
    } cases[] = {{1.5f, 1.0f}, {-0.2f, 0.0f}, {nan, 0.0f}, {0.25f, 0.25f}};
    using Set = void (*)(VLMEffectorSetState*, int, float);
    using Get = float (*)(const VLMEffectorSetState*, int);
    const std::pair<Set, Get> lanes[] = {{VLMSetEffectorReachT, VLMGetEffectorReachT},
                                         {VLMSetEffectorReachR, VLMGetEffectorReachR},
                                         {VLMSetEffectorPull, VLMGetEffectorPull},
                                         {VLMSetEffectorStiffness, VLMGetEffectorStiffness}};
    for (int lane = 0; lane < 4; ++lane)
        for (const auto& c : cases) {
            lanes[lane].first(set.get(), 7, c.in);
            EXPECT_EQ(lanes[lane].second(set.get(), 7), c.stored) << lane;
            EXPECT_EQ((&Layout(set.get())->blend[7].x)[lane], c.stored) << lane;
        }
    // Setter: left for any side but 0. Getter: left for side 1 only.
    VLMSetHandPull(set.get(), 1, 0.25f);
    VLMSetHandPull(set.get(), 0, 0.75f);
    EXPECT_TRUE(Layout(set.get())->leftHandPull == 0.25f && VLMGetHandPull(set.get(), 0) == 0.75f);
    VLMSetHandPull(set.get(), 2, 0.5f);
    EXPECT_TRUE(VLMGetHandPull(set.get(), 1) == 0.5f && VLMGetHandPull(set.get(), 2) == 0.75f);
}

TEST(State, IdsOutsideTheirRangeAreIgnored)
{
    VLMEffectorSetStateHandle set = NewSet();
    const std::vector<unsigned char> before(reinterpret_cast<unsigned char*>(set.get()),
                                            reinterpret_cast<unsigned char*>(set.get()) + 3296);
    const float v[4] = {1, 2, 3, 4};
    const double d[4] = {1, 2, 3, 4};
    for (int id : {-1, 44, 1 << 30}) {
        VLMSetEffectorPull(set.get(), id, 0.5f);
        VLMSetExtremityTQ(set.get(), id, v, v);
        VLMSetExtremityTQd(set.get(), id, d, d);
        EXPECT_EQ(VLMGetEffectorReachR(set.get(), id), 0.0f);
        float out[4] = {7, 7, 7, 7};
        VLMGetEffectorStateTQS(set.get(), id, out, out, out);
        VLMGetExtremityTQ(set.get(), id, out, out);
        EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(4, 7.0f));
    }
    EXPECT_EQ(std::memcmp(set.get(), before.data(), before.size()), 0);
}

// Records of 64 bytes: T, Q, S, lanes; canaries in front and behind.
TEST(State, EffectorListsSkipEndAndAdvance)
{
    VLMEffectorSetStateHandle set = NewSet();
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        const float t[4] = {float(e), 1, 2, 0}, q[4] = {0, 0, 0, 1}, s[4] = {1, 1, 1, 1};
        VLMSetEffectorTQS(set.get(), e, t, q, s);
        VLMSetEffectorStiffness(set.get(), e, 0.5f);
    }
    alignas(16) float records[5][16];
    std::memset(records, 0xEE, sizeof records);
    const std::int32_t ids[] = {5, -1, 7, -2};
    const VLMEffectorRecordLayout layout = {0, 16, 32, 48, 64, ids};
    VLMGetEffectorStates(set.get(), &layout, records[1]);
    EXPECT_EQ(records[1][0], 5.0f);
    EXPECT_EQ(records[3][0], 7.0f);
    EXPECT_EQ(records[3][15], 0.5f);
    const std::int32_t empty[] = {-2};
    const VLMEffectorRecordLayout none = {0, 16, 32, 48, 64, empty};
    VLMGetEffectorStates(set.get(), &none, records[0]);
    for (int r : {0, 2, 4})
        EXPECT_TRUE(Untouched(records[r], 16)) << "record " << r;
}

TEST(State, NodeListsBySpace)
{
    sample::CharacterPtr c = RandomTPoseCharacter(3, false);
    VLMCharacterStateHandle state = NewState(c.get());
    alignas(16) float records[5][16];
    std::memset(records, 0xEE, sizeof records);
    const std::int32_t ids[] = {5, -1, 7, -2};
    for (std::int32_t space : {2, -1}) {
        const VLMNodeRecordLayout layout = {space, 0, 0, 16, 32, 64, ids};
        VLMGetNodeStoredStates(c.get(), state.get(), &layout, records[1]);
        VLMSetNodeStoredStates(c.get(), state.get(), &layout, records[1]);
    }
    ASSERT_TRUE(Untouched(records[0], 80)) << "another space reads nothing";
    float t[4], q[4], s[4];
    VLMGetNodeStoredTQS(c.get(), state.get(), 5, t, q, s);
    EXPECT_EQ(t[0], 0.0f) << "another space writes nothing";

    // Locals written come back from the local read; records around stay untouched.
    std::mt19937 rng(4);
    VLMTransformTQS input[3];
    for (auto& r : input)
        r = {mathtest::RandomVector(rng, 10, 0), mathtest::RandomUnitQuat(rng), V(1, 1, 1, 1)};
    const VLMNodeRecordLayout write = {VLM_SPACE_LOCAL, 0, 0, 16, 32, 48, ids};
    VLMSetNodeStoredStates(c.get(), state.get(), &write, input);
    const VLMNodeRecordLayout read = {VLM_SPACE_LOCAL, 0, 0, 16, 32, 64, ids};
    VLMGetNodeStoredStates(c.get(), state.get(), &read, records[1]);
    for (int i = 0; i < 12; ++i) {
        EXPECT_NEAR(records[1][i], (&input[0].t.x)[i], 1e-4f) << i;
        EXPECT_NEAR(records[3][i], (&input[2].t.x)[i], 1e-4f) << i;
    }
    for (int r : {0, 2, 4})
        EXPECT_TRUE(Untouched(records[r], 16)) << "record " << r;
}

}  // namespace

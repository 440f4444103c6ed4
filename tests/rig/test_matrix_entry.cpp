#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_handle.h"
#include "rig/vlm_layout.h"
#include "rig/vlm_matrix_entry.h"
#include "rig/vlm_quat.h"

#include "math_test_util.h"
#include "test_alloc.h"
#include "test_fpenv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace mathtest;

namespace {

// An effector set inside a larger buffer whose margins must never change.
struct GuardedSet {
    static constexpr std::size_t kMargin = 4096;
    alignas(16) unsigned char bytes[kMargin + sizeof(VLMEffectorSetLayout) + kMargin];
    GuardedSet() { std::memset(bytes, 0x5A, sizeof bytes); }
    VLMEffectorSetLayout* layout() { return reinterpret_cast<VLMEffectorSetLayout*>(bytes + kMargin); }
    VLMEffectorSetState* set() { return reinterpret_cast<VLMEffectorSetState*>(layout()); }
    bool MarginsIntact() const
    {
        for (std::size_t i = 0; i < kMargin; ++i)
            if (bytes[i] != 0x5A || bytes[sizeof bytes - 1 - i] != 0x5A)
                return false;
        return true;
    }
};

// Batch elements of 96 bytes: a tag, the vector at 16, the matrix at 32.
struct alignas(16) Element {
    float tag[4];
    VLMVector4 vector;
    VLMMatrix44 matrix;
};
static_assert(sizeof(Element) == 96, "element layout");

VLMTransformBatchLayout LayoutFor(const std::int32_t* ids)
{
    return {offsetof(Element, matrix), offsetof(Element, vector), sizeof(Element), ids};
}

bool SameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

double Length3(const VLMVector4& v) { return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z); }

TEST(MatrixEntry, SetEffectorsWalksTheListWithGapsAndStrides)
{
    GuardedSet g;
    const VLMEffectorSetLayout before = *g.layout();
    std::mt19937 rng(1);
    std::vector<Element> batch(3);
    VLMTransformTQS want[3];
    for (int k = 0; k < 3; ++k) {
        want[k] = {RandomVector(rng, 5, 0), RandomUnitQuat(rng), V(1.5f, 0.5f, 2.0f, 1.0f)};
        batch[k].matrix = VLMTQSToMatrix44(want[k].t, want[k].q, want[k].s);
        batch[k].vector = V(0.5f, 0.5f, 0.5f, 0.5f);
    }
    batch[0].vector = V(-0.5f, 0.25f, 2.0f, std::numeric_limits<float>::quiet_NaN());
    const std::int32_t ids[] = {3, -1, 7, -2, 9};
    const VLMTransformBatchLayout layout = LayoutFor(ids);
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetEffectorsFromMatrices(g.set(), &layout, batch.data()); }));

    EXPECT_TRUE(SameBits(g.layout()->blend[3], V(0.0f, 0.25f, 1.0f, 0.0f))) << "clamped, NaN gives 0";
    EXPECT_TRUE(SameBits(g.layout()->blend[7], V(0.5f, 0.5f, 0.5f, 0.5f)));
    const int written[] = {3, 7}, from[] = {0, 2};
    for (int i = 0; i < 2; ++i) {
        const VLMTransformTQS& x = g.layout()->effectors[written[i]];
        EXPECT_LT(MaxDiff(x.t, Wide(want[from[i]].t)), 1e-5);
        EXPECT_TRUE(SameRotation(x.q, Wide(want[from[i]].q), 1e-5));
        EXPECT_LT(MaxDiff(x.s, Wide(want[from[i]].s)), 1e-5);
    }
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        if (e == 3 || e == 7)
            continue;
        EXPECT_TRUE(SameBytes(&g.layout()->effectors[e], &before.effectors[e], sizeof(VLMTransformTQS))) << e;
        EXPECT_TRUE(SameBytes(&g.layout()->blend[e], &before.blend[e], sizeof(VLMVector4))) << e;
    }
    EXPECT_TRUE(SameBytes(&g.layout()->extremities, &before.extremities, sizeof before.extremities));
    EXPECT_TRUE(g.MarginsIntact());
}

TEST(MatrixEntry, GetReturnsWhatSetStoredWithTheRotationNormalised)
{
    GuardedSet g;
    std::mt19937 rng(2);
    std::vector<Element> in(4), out(4);
    for (Element& e : in) {
        e.matrix = VLMTQSToMatrix44(RandomVector(rng, 3, 0), RandomUnitQuat(rng), V(2.0f, 1.0f, 0.5f, 1.0f));
        e.vector = V(0.1f, 0.2f, 0.3f, 0.4f);
    }
    const std::int32_t ids[] = {0, 43, -1, 20, -2};
    const VLMTransformBatchLayout layout = LayoutFor(ids);
    VLMSetEffectorsFromMatrices(g.set(), &layout, in.data());
    std::memset(out.data(), 0x33, sizeof(Element) * out.size());
    const Element untouched = out[2];
    EXPECT_TRUE(RestoresCallerWord([&] { VLMGetEffectorsAsMatrices(g.set(), &layout, out.data()); }));
    for (int k : {0, 1, 3}) {
        for (int r = 0; r < 4; ++r)
            EXPECT_LT(MaxDiff(out[k].matrix.r[r], Wide(in[k].matrix.r[r])), 1e-5) << k << " row " << r;
        EXPECT_TRUE(SameBits(out[k].vector, in[k].vector));
    }
    EXPECT_TRUE(SameBytes(&out[2], &untouched, sizeof(Element))) << "skipped element left alone";

    // A stored rotation of length 2 comes out as rows of the scale's lengths.
    g.layout()->effectors[5] = {V(1, 2, 3, 0), V(0, 0, 2 * std::sin(0.3f), 2 * std::cos(0.3f)), V(2, 3, 4, 1)};
    const std::int32_t one[] = {5, -2};
    const VLMTransformBatchLayout single = LayoutFor(one);
    VLMGetEffectorsAsMatrices(g.set(), &single, out.data());
    const VLMMatrix44& m = out[0].matrix;
    EXPECT_NEAR(Length3(m.r[0]), 2.0, 1e-6);
    EXPECT_NEAR(Length3(m.r[1]), 3.0, 1e-6);
    EXPECT_NEAR(Length3(m.r[2]), 4.0, 1e-6);
    EXPECT_TRUE(SameBits(m.r[3], V(1, 2, 3, 1)));
}

TEST(MatrixEntry, EffectorIdsOutsideTheSetAreSkipped)
{
    GuardedSet g;
    const VLMEffectorSetLayout before = *g.layout();
    std::vector<Element> batch(8);
    for (Element& e : batch) {
        e.matrix = VLMTQSToMatrix44(V(1, 1, 1, 0), V(0, 0, 0, 1), V(1, 1, 1, 1));
        e.vector = V(1, 1, 1, 1);
    }
    const std::vector<Element> copy = batch;
    const std::int32_t ids[] = {44, -3, 1000, std::numeric_limits<std::int32_t>::min(), -100, 45, 12, -2};
    const VLMTransformBatchLayout layout = LayoutFor(ids);
    VLMSetEffectorsFromMatrices(g.set(), &layout, batch.data());
    for (int e = 0; e < VLM_EFFECTOR_COUNT; ++e) {
        if (e != 12) {
            EXPECT_TRUE(SameBytes(&g.layout()->effectors[e], &before.effectors[e], sizeof(VLMTransformTQS))) << e;
        }
    }
    EXPECT_TRUE(SameBits(g.layout()->effectors[12].t, V(1, 1, 1, 0)));
    EXPECT_TRUE(g.MarginsIntact());

    VLMGetEffectorsAsMatrices(g.set(), &layout, batch.data());
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(SameBytes(&batch[k], &copy[k], sizeof(Element))) << "element " << k;
    EXPECT_TRUE(g.MarginsIntact());
}

// --- Nodes ----------------------------------------------------------------------------

struct MatrixEntryNodes : ::testing::Test {
    void SetUp() override
    {
        VLMCharacterDefinition def{};
        for (int id = 0; id < 16; ++id)
            def.words[id] = VLM_DEF_FULL;
        owner =
            VLMAdopt<VLMCharacterHandle>(VLMCreateCharacter(&def, &TestAllocator::allocate), &TestAllocator::release);
        character = owner.get();
        const std::uint32_t n = VLMCharacterHeaderOf(character)->nodeCount;
        state.assign(VLMCharacterStateSize(n) / 16, VLMVector4{7, 7, 7, 7});
    }
    VLMCharacterState* State() { return reinterpret_cast<VLMCharacterState*>(state.data()); }
    std::size_t Size() const { return VLMCharacterHeaderOf(character)->blockSize; }

    VLMCharacterHandle owner;
    VLMCharacter* character = nullptr;
    std::vector<VLMVector4> state;
};

const float kMatrix[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 5, 6, 7, 1};  // quarter turn about z, scale 2
const double kMatrixD[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 5, 6, 7, 1};

TEST_F(MatrixEntryNodes, TPoseAndStateRowsFromMatrices)
{
    alignas(16) float shifted[17];
    std::memcpy(shifted + 1, kMatrix, sizeof kMatrix);  // any alignment
    const VLMVector4 q = V(0, 0, std::sqrt(0.5f), std::sqrt(0.5f));

    VLMTPoseEntry* hips = VLMCharacterTPoseEntry(character, 1);
    const std::uint32_t presence = hips->presence;
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetNodeTPoseMatrix(character, 1, shifted + 1); }));
    EXPECT_TRUE(SameBits(hips->t, V(5, 6, 7, 0)));
    EXPECT_TRUE(SameRotation(hips->q, Wide(q), 1e-6));
    EXPECT_TRUE(SameBits(hips->s, V(2, 2, 2, 1)));
    EXPECT_EQ(hips->presence, presence);

    VLMTPoseEntry* head = VLMCharacterTPoseEntry(character, 15);
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetNodeTPoseMatrix(character, 15, kMatrixD); }));
    EXPECT_TRUE(SameBytes(head, hips, 48)) << "the double form narrows and decomposes alike";

    VLMStateRow* row = VLMStateRowAt(state.data(), VLMCharacterCompactIndex(character, 3));
    const VLMStateRow before = *row;
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetNodeStateMatrix(character, State(), 3, shifted + 1); }));
    EXPECT_TRUE(SameBytes(&row->globalT, &hips->t, 48));
    EXPECT_TRUE(SameBytes(&row->localT, &before.localT, 48)) << "local half untouched";
    VLMStateRow* other = VLMStateRowAt(state.data(), VLMCharacterCompactIndex(character, 4));
    EXPECT_TRUE(RestoresCallerWord([&] { VLMSetNodeStateMatrix(character, State(), 4, kMatrixD); }));
    EXPECT_TRUE(SameBytes(&other->globalT, &hips->t, 48));
}

TEST_F(MatrixEntryNodes, NodeIdsOutsideTheCharacterWriteNothing)
{
    const std::vector<unsigned char> block(reinterpret_cast<unsigned char*>(character),
                                           reinterpret_cast<unsigned char*>(character) + Size());
    const std::vector<VLMVector4> rows = state;
    for (std::int32_t id : {-1, -2, 49, 171, 172, 1000, std::numeric_limits<std::int32_t>::min()}) {
        VLMSetNodeTPoseMatrix(character, id, kMatrix);
        VLMSetNodeTPoseMatrix(character, id, kMatrixD);
        VLMSetNodeStateMatrix(character, State(), id, kMatrix);
        EXPECT_TRUE(RestoresCallerWord([&] { VLMSetNodeStateMatrix(character, State(), id, kMatrixD); }));
        EXPECT_TRUE(SameBytes(character, block.data(), block.size())) << id;
        EXPECT_TRUE(SameBytes(state.data(), rows.data(), rows.size() * sizeof(VLMVector4))) << id;
    }
}

}  // namespace

#include "rig/solver/vlm_bulk.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_solver_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"

#include "solver_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <functional>
#include <vector>

namespace {

using mathtest::V;
constexpr std::uint32_t kCanary = 0xEEEEEEEEu;

// Every node of a character with turned T-poses, uniform scales and parent
// offsets, in a random pose (random global halves, uniform scales).
struct Posed {
    sample::CharacterPtr character = soltest::RandomTPoseCharacter(21, true);
    VLMCharacterStateHandle state = soltest::NewState(character.get());
    Posed()
    {
        std::mt19937 rng(4);
        VLMStateRow* rows = VLMStateFirstRow(state.get());
        for (std::uint32_t k = 0; k < VLMCharacterHeaderOf(character.get())->nodeCount; ++k) {
            const float s = std::uniform_real_distribution<float>(0.5f, 2.0f)(rng);
            rows[k].globalT = mathtest::RandomVector(rng, 100, 0);
            rows[k].globalQ = mathtest::RandomUnitQuat(rng);
            rows[k].globalS = V(s, s, s, 1);
        }
    }
    const VLMCharacter* c() const { return character.get(); }
    VLMCharacterState* s() const { return state.get(); }
    VLMStateRow* rows() const { return VLMStateFirstRow(state.get()); }
    std::vector<unsigned char> bytes() const
    {
        const auto* b = reinterpret_cast<const unsigned char*>(state.get());
        return {b, b + VLMGetCharacterStateSize(c())};
    }
};

using Entry = std::function<void(const VLMCharacter*, VLMCharacterState*, int space, const std::int32_t* ids,
                                 std::int64_t stride, void* base)>;
struct Form {
    const char* name;
    bool write;
    Entry run;
    std::vector<int> written;  // the 16-byte slots of a 64-byte record a read fills
};

std::vector<Form> Forms()
{
    auto records = [](auto f) {
        return [f](const VLMCharacter* c, VLMCharacterState* s, int space, const std::int32_t* ids, std::int64_t stride,
                   void* base) {
            const VLMNodeRecordLayout layout = {space, 0, 0, 16, 32, stride, ids};
            f(c, s, &layout, base);
        };
    };
    auto matrices = [](auto f) {
        return [f](const VLMCharacter* c, VLMCharacterState* s, int space, const std::int32_t* ids, std::int64_t stride,
                   void* base) {
            const VLMNodeMatrixLayout layout = {std::uint32_t(space), 0, 0, stride, ids};
            f(c, s, &layout, base);
        };
    };
    return {
        {"set", true, records(VLMSetNodeStates), {}},
        {"set TQ", true, records(VLMSetNodeStatesTQ), {}},
        {"write matrices", true, matrices(VLMWriteNodeStateMatrices), {}},
        {"get", false, records(VLMGetNodeStates), {0, 1, 2}},
        {"get TQ", false, records(VLMGetNodeStatesTQ), {0, 1}},
        {"get Q", false, records(VLMGetNodeStatesQ), {1}},
        {"read matrices", false, matrices(VLMReadNodeStateMatrices), {0, 1, 2, 3}},
    };
}

// (5, -1, 7, -2) at stride 64: records 0 and 2 only, and of them only the
// slots the form names; what a read gives in space 0 is what the one-node
// accessors give. Space 2 and the end mark first change nothing; an empty list
// in space 1 still runs its passes.
TEST(Bulk, ListsSpacesAndCanaries)
{
    const std::int32_t ids[] = {5, -1, 7, -2}, empty[] = {-2};
    for (const Form& form : Forms()) {
        for (int space : {0, 1}) {
            Posed p;
            alignas(16) float records[3][16];
            std::memset(records, 0xEE, sizeof records);
            if (form.write)
                for (int r : {0, 2})
                    std::memcpy(records[r], &VLMNodeRow(p.c(), p.rows(), 9)->globalT, 48);  // a matrix too
            form.run(p.c(), p.s(), space, ids, 64, records);
            for (int r = 0; r < 3 && !form.write; ++r)
                for (int slot = 0; slot < 4; ++slot) {
                    const bool filled =
                        r != 1 && std::find(form.written.begin(), form.written.end(), slot) != form.written.end();
                    for (int i = 0; i < 4; ++i)
                        EXPECT_EQ(mathtest::B(records[r][4 * slot + i]) == kCanary, !filled)
                            << form.name << " space " << space << " record " << r << " slot " << slot;
                }
            float t[4], q[4], s[4];
            VLMGetNodeStateTQS(p.c(), p.s(), 7, t, q, s);
            if (space == 0 && !std::strstr(form.name, "matri") && std::strcmp(form.name, "get Q") != 0) {
                EXPECT_EQ(0, std::memcmp(records[2], t, 16)) << form.name;
            }
            if (!form.write && space == 0 && form.written.size() == 3) {
                EXPECT_EQ(0, std::memcmp(records[2] + 4, q, 16));
                EXPECT_EQ(0, std::memcmp(records[2] + 8, s, 16));
            }

            Posed quiet;
            const std::vector<unsigned char> before = quiet.bytes();
            std::memset(records, 0xEE, sizeof records);
            form.run(quiet.c(), quiet.s(), 2, ids, 64, records);
            form.run(quiet.c(), quiet.s(), space, empty, 64, records);
            for (float f : records[0])
                EXPECT_EQ(mathtest::B(f), kCanary) << form.name;
            EXPECT_EQ(quiet.bytes() == before, space == 0) << form.name << " space " << space;
        }
    }
}

// With uniform scales, reading every node in space 1 and writing the records
// back gives the global halves back, through records, matrices and packets.
TEST(Bulk, LocalReadThenWriteRestoresTheGlobals)
{
    Posed p;
    std::vector<std::int32_t> ids;
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        ids.push_back(id);
    ids.push_back(-2);
    const std::vector<VLMStateRow> before(p.rows(), p.rows() + VLM_NODE_COUNT);
    struct alignas(16) Block {
        float f[16 * VLM_NODE_COUNT + 48];
    };
    auto block = std::make_unique<Block>();
    auto check = [&](const char* name) {
        for (int k = 0; k < VLM_NODE_COUNT; ++k) {
            const VLMStateRow& r = p.rows()[k];
            const double size = 1 + std::fabs(before[k].globalT.x) + std::fabs(before[k].globalT.y);
            EXPECT_LT(mathtest::MaxDiff(r.globalT, mathtest::Wide(before[k].globalT), 3), 2e-5 * size) << name << k;
            EXPECT_TRUE(mathtest::SameRotation(r.globalQ, mathtest::Wide(before[k].globalQ), 2e-5)) << name << k;
            EXPECT_LT(mathtest::MaxDiff(r.globalS, mathtest::Wide(before[k].globalS)), 2e-5) << name << k;
            p.rows()[k] = before[k];
        }
    };
    const VLMNodeRecordLayout records = {1, 0, 0, 16, 32, 48, ids.data()};
    VLMGetNodeStates(p.c(), p.s(), &records, block->f);
    VLMSetNodeStates(p.c(), p.s(), &records, block->f);
    check("records ");
    const VLMNodeMatrixLayout matrices = {1, 0, 0, 64, ids.data()};
    VLMReadNodeStateMatrices(p.c(), p.s(), &matrices, block->f);
    VLMWriteNodeStateMatrices(p.c(), p.s(), &matrices, block->f);
    check("matrices ");
    const VLMNodeRecordLayout packets = {1, 0, 0, 48, 112, 160, ids.data()};
    VLMGetNodeStatesSoA(p.c(), p.s(), &packets, block->f);
    VLMSetNodeStatesSoA(p.c(), p.s(), &packets, block->f);
    check("packets ");
}

// Packets for (3, -1, 9, 12, 4, -2): the first packet's lane 1 and the second
// packet's lanes 1-3 keep their contents; filled lanes hold what the record
// form gives, in both spaces; the packet write leaves the state as the record
// write does.
TEST(Bulk, PacketsAgreeWithRecords)
{
    const std::int32_t ids[] = {3, -1, 9, 12, 4, -2};
    for (int space : {0, 1}) {
        Posed p, twin;
        const VLMNodeRecordLayout packets = {space, 0, 0, 48, 112, 192, ids};
        const VLMNodeRecordLayout records = {space, 0, 0, 16, 32, 48, ids};
        alignas(16) float block[3][48], rec[5][12];
        std::fill(&block[0][0], &block[0][0] + 3 * 48, 1234.5f);
        VLMGetNodeStatesSoA(p.c(), p.s(), &packets, block);
        VLMGetNodeStatesTQ(twin.c(), twin.s(), &records, rec);
        for (int entry = 0; entry < 5; ++entry) {
            const float* packet = block[entry / 4];
            const int lane = entry % 4;
            for (int row = 0; row < 10; ++row) {
                const float got = packet[4 * row + lane];
                const float want = row < 3 ? rec[entry][row] : row < 7 ? rec[entry][4 + row - 3] : 0.0f;
                if (entry == 1 || row < 7) {
                    EXPECT_EQ(mathtest::B(got), mathtest::B(entry == 1 ? 1234.5f : want)) << space << entry << row;
                }
            }
        }
        for (int lane = 1; lane < 4; ++lane)
            for (int row = 0; row < 10; ++row)
                EXPECT_EQ(block[1][4 * row + lane], 1234.5f);
        for (float f : block[2])
            EXPECT_EQ(f, 1234.5f);

        // The writes: packets and records holding the same transforms.
        Posed a, b;
        alignas(16) float in[2][48], flat[5][12];
        std::mt19937 rng(space + 1);
        for (int entry = 0; entry < 5; ++entry) {
            const VLMVector4 t = mathtest::RandomVector(rng, 50, 0), q = mathtest::RandomUnitQuat(rng);
            const VLMVector4 s = V(1.5f, 1.5f, 1.5f, 1);
            std::memcpy(flat[entry], &t, 16), std::memcpy(flat[entry] + 4, &q, 16),
                std::memcpy(flat[entry] + 8, &s, 16);
            for (int row = 0; row < 10; ++row)
                in[entry / 4][4 * row + entry % 4] = row < 3   ? (&t.x)[row]
                                                     : row < 7 ? (&q.x)[row - 3]
                                                               : (&s.x)[row - 7];
        }
        VLMSetNodeStatesSoA(a.c(), a.s(), &packets, in);
        VLMSetNodeStates(b.c(), b.s(), &records, flat);
        EXPECT_TRUE(a.bytes() == b.bytes()) << space;
    }
}

}  // namespace

#include "solver_test_util.h"

#include <memory>

namespace {

using namespace soltest;

// Every node with turned T-poses and random global halves (uniform scales).
struct Posed {
    sample::CharacterPtr character = RandomTPoseCharacter(21, true);
    VLMCharacterStateHandle state = NewState(character.get());
    Posed()
    {
        std::mt19937 rng(4);
        for (std::uint32_t k = 0; k < VLMCharacterHeaderOf(c())->nodeCount; ++k) {
            const float s = std::uniform_real_distribution<float>(0.5f, 2.0f)(rng);
            VLMStateRow& r = rows()[k];
            r.globalT = mathtest::RandomVector(rng, 100, 0), r.globalQ = mathtest::RandomUnitQuat(rng),
            r.globalS = V(s, s, s, 1);
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

// A form run on (space, list, records) and the 16-byte slots of a record a read fills.
struct Form {
    const char* name;
    std::function<void(const Posed&, int, const std::int32_t*, void*)> run;
    std::vector<int> filled;
};

template <class F>
Form Records(const char* name, F f, std::vector<int> filled)
{
    return {name,
            [f](const Posed& p, int space, const std::int32_t* ids, void* base) {
                const VLMNodeRecordLayout layout = {space, 0, 0, 16, 32, 64, ids};
                f(p.c(), p.s(), &layout, base);
            },
            filled};
}
template <class F>
Form Matrices(const char* name, F f, std::vector<int> filled)
{
    return {name,
            [f](const Posed& p, int space, const std::int32_t* ids, void* base) {
                const VLMNodeMatrixLayout layout = {std::uint32_t(space), 0, 0, 64, ids};
                f(p.c(), p.s(), &layout, base);
            },
            filled};
}

// (5, -1, 7, -2) at stride 64 in spaces 0 and 1, canaries around; space 2 and empty lists.
TEST(Bulk, ListsSpacesAndCanaries)
{
    const std::int32_t ids[] = {5, -1, 7, -2}, empty[] = {-2};
    const Form forms[] = {Records("set", VLMSetNodeStates, {}),
                          Records("set TQ", VLMSetNodeStatesTQ, {}),
                          Matrices("write matrices", VLMWriteNodeStateMatrices, {}),
                          Records("get", VLMGetNodeStates, {0, 1, 2}),
                          Records("get TQ", VLMGetNodeStatesTQ, {0, 1}),
                          Records("get Q", VLMGetNodeStatesQ, {1}),
                          Matrices("read matrices", VLMReadNodeStateMatrices, {0, 1, 2, 3})};
    for (const Form& form : forms) {
        const bool write = std::strncmp(form.name, "get", 3) != 0 && std::strncmp(form.name, "read", 4) != 0;
        for (int space : {0, 1}) {
            Posed p, quiet;
            alignas(16) float records[3][16];
            std::memset(records, 0xEE, sizeof records);
            if (write)
                std::memcpy(records[2], &p.rows()[3], 64);
            form.run(p, space, ids, records);
            float t[4], q[4], s[4];
            VLMGetNodeStateTQS(p.c(), p.s(), 7, t, q, s);
            const float* tqs[3] = {t, q, s};
            for (int r = 0; r < 3 && !write; ++r)
                for (int i = 0; i < 16; ++i) {
                    const bool hit = r != 1 && std::count(form.filled.begin(), form.filled.end(), i / 4);
                    EXPECT_EQ(mathtest::B(records[r][i]) == kCanary, !hit) << form.name << space << r << i;
                    if (hit && space == 0 && form.filled.size() < 4 && r == 2) {
                        EXPECT_EQ(records[r][i], tqs[i / 4][i % 4]) << form.name;
                    }
                }
            if (write && space == 0 && form.name[0] == 's') {
                EXPECT_EQ(0, std::memcmp(records[2], t, 12)) << form.name;
            }
            const std::vector<unsigned char> before = quiet.bytes();
            std::memset(records, 0xEE, sizeof records);
            form.run(quiet, 2, ids, records);
            form.run(quiet, space, empty, records);
            EXPECT_EQ(mathtest::B(records[0][0]), kCanary);
            EXPECT_EQ(quiet.bytes() == before, space == 0) << form.name << " space " << space;
        }
    }
}

// Space-1 read of every node then write restores the globals: records, matrices, packets.
TEST(Bulk, LocalReadThenWriteRestoresTheGlobals)
{
    Posed p;
    std::vector<std::int32_t> ids(VLM_NODE_COUNT);
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        ids[id] = id;
    ids.push_back(-2);
    const std::vector<VLMStateRow> before(p.rows(), p.rows() + VLM_NODE_COUNT);
    std::unique_ptr<VLMMatrix44[]> block(new VLMMatrix44[VLM_NODE_COUNT]);
    const VLMNodeRecordLayout records = {1, 0, 0, 16, 32, 48, ids.data()},
                              packets = {1, 0, 0, 48, 112, 160, ids.data()};
    const VLMNodeMatrixLayout matrices = {1, 0, 0, 64, ids.data()};
    const std::function<void()> trips[] = {
        [&] {
            VLMGetNodeStates(p.c(), p.s(), &records, block.get()),
                VLMSetNodeStates(p.c(), p.s(), &records, block.get());
        },
        [&] {
            VLMReadNodeStateMatrices(p.c(), p.s(), &matrices, block.get()),
                VLMWriteNodeStateMatrices(p.c(), p.s(), &matrices, block.get());
        },
        [&] {
            VLMGetNodeStatesSoA(p.c(), p.s(), &packets, block.get()),
                VLMSetNodeStatesSoA(p.c(), p.s(), &packets, block.get());
        },
    };
    for (const auto& trip : trips) {
        trip();
        for (int k = 0; k < VLM_NODE_COUNT; ++k) {
            const VLMStateRow& r = p.rows()[k];
            const double size = 1 + std::fabs(before[k].globalT.x) + std::fabs(before[k].globalT.y);
            EXPECT_LT(MaxDiff(r.globalT, Wide(before[k].globalT), 3), 4e-5 * size) << k;
            EXPECT_TRUE(SameRotation(r.globalQ, Wide(before[k].globalQ), 2e-5)) << k;
            EXPECT_LT(MaxDiff(r.globalS, Wide(before[k].globalS)), 2e-5) << k;
            p.rows()[k] = before[k];
        }
    }
}

// Packets keep their unused lanes and agree with the record forms, read and write, in both spaces.
TEST(Bulk, PacketsAgreeWithRecords)
{
    const std::int32_t ids[] = {3, -1, 9, 12, 4, -2};
    for (int space : {0, 1}) {
        Posed p, twin, a, b;
        const VLMNodeRecordLayout packets = {space, 0, 0, 48, 112, 192, ids};
        const VLMNodeRecordLayout records = {space, 0, 0, 16, 32, 48, ids};
        alignas(16) float block[3][48], flat[5][12];
        std::fill(&block[0][0], &block[0][0] + 3 * 48, 1234.5f);
        VLMGetNodeStatesSoA(p.c(), p.s(), &packets, block);
        VLMGetNodeStatesTQ(twin.c(), twin.s(), &records, flat);
        for (int slot = 0; slot < 12; ++slot)  // 5 entries, the 3 lanes after them, an unused packet
            for (int row = 0; row < 10; ++row) {
                const float got = block[slot / 4][4 * row + slot % 4];
                if (slot == 1 || slot >= 5) {
                    EXPECT_EQ(got, 1234.5f) << space << slot << row;
                } else if (row < 7) {
                    EXPECT_EQ(mathtest::B(got), mathtest::B(flat[slot][row < 3 ? row : row + 1])) << space << slot;
                }
            }
        std::mt19937 rng(space + 1);
        for (int entry = 0; entry < 5; ++entry) {
            const VLMVector4 x[3] = {mathtest::RandomVector(rng, 50, 0), mathtest::RandomUnitQuat(rng),
                                     V(1.5f, 1.5f, 1.5f, 1)};
            std::memcpy(flat[entry], x, 48);
            for (int row = 0, v = 0; row < 10; ++row, v += row == 3 || row == 7)
                block[entry / 4][4 * row + entry % 4] = (&x[v].x)[row - (v == 0 ? 0 : v == 1 ? 3 : 7)];
        }
        VLMSetNodeStatesSoA(a.c(), a.s(), &packets, block);
        VLMSetNodeStates(b.c(), b.s(), &records, flat);
        EXPECT_TRUE(a.bytes() == b.bytes()) << space;
    }
}

// Non-uniform scales everywhere (globals, locals, parent offsets): a local read gives each node relative to its
// parent's API-frame transform composed with its offset, and a local write gives each node that composition
// applied to its local record; a model in double of the composition rules.
TEST(Bulk, LocalFormsComposeThroughTheParentOffsetsWithNonUniformScales)
{
    struct TQS {
        P3 t;
        D4 q;
        P3 s;
    };
    const auto mul = [](const P3& a, const P3& b) { return P3{a.x * b.x, a.y * b.y, a.z * b.z}; };
    const auto div = [](const P3& a, const P3& b) { return P3{a.x / b.x, a.y / b.y, a.z / b.z}; };
    const auto rot = [](const D4& q, const P3& v) {
        const D4 r = mathtest::Rotate(mathtest::Normalized(q), {v.x, v.y, v.z, 0});
        return P3{r[0], r[1], r[2]};
    };
    // The parent composed with the offset: what a local is relative to.
    const auto frame = [&](const TQS& p, const TQS& e) {
        return TQS{p.t + rot(p.q, mul(p.s, e.t)), mathtest::Normalized(mathtest::Hamilton(p.q, e.q)), mul(p.s, e.s)};
    };
    const auto record = [](const float* f) {
        return TQS{{f[0], f[1], f[2]}, {f[4], f[5], f[6], f[7]}, {f[8], f[9], f[10]}};
    };

    Posed p;
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> scale(0.5f, 2.0f);
    TQS offset[VLM_NODE_COUNT];
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMVector4 t = mathtest::RandomVector(rng, 10, 0), q = mathtest::RandomUnitQuat(rng);
        const float s[4] = {scale(rng), scale(rng), scale(rng), 1};  // read as four floats
        VLMSetNodeParentOffset(p.character.get(), id, &t.x, &q.x, s);
        offset[id] = {At(t), Wide(q), {s[0], s[1], s[2]}};
        p.rows()[VLMCharacterCompactIndex(p.c(), id)].globalS = V(scale(rng), scale(rng), scale(rng), 1);
    }
    std::vector<std::int32_t> ids(VLM_NODE_COUNT);
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        ids[id] = id;
    ids.push_back(-2);
    const VLMNodeRecordLayout global = {0, 0, 0, 16, 32, 48, ids.data()}, local = {1, 0, 0, 16, 32, 48, ids.data()};
    std::vector<float> g(12 * VLM_NODE_COUNT), l(12 * VLM_NODE_COUNT);
    const auto parentOf = [&](int id, const std::vector<float>& globals) {
        const int parent = VLMGetParentNodeId(p.c(), id);
        return parent < 0 ? TQS{{0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}} : record(&globals[12 * parent]);
    };

    VLMGetNodeStates(p.c(), p.s(), &global, g.data());
    VLMGetNodeStates(p.c(), p.s(), &local, l.data());
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const TQS c = frame(parentOf(id, g), offset[id]), n = record(&g[12 * id]), got = record(&l[12 * id]);
        const D4 inverse = mathtest::Conj(c.q);
        const P3 t = div(rot(inverse, n.t - c.t), c.s), s = div(n.s, c.s);
        EXPECT_LT(Len(got.t - t), 1e-4 * (1 + Len(t))) << "read " << id;
        EXPECT_TRUE(SameRotation(V(float(got.q[0]), float(got.q[1]), float(got.q[2]), float(got.q[3])),
                                 mathtest::Hamilton(inverse, n.q), 1e-5))
            << "read " << id;
        EXPECT_LT(Len(got.s - s), 1e-5 * Len(s)) << "read " << id;
    }

    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const VLMVector4 t = mathtest::RandomVector(rng, 30, 0), q = mathtest::RandomUnitQuat(rng);
        const float s[4] = {scale(rng), scale(rng), scale(rng), 1};
        std::memcpy(&l[12 * id], &t, 16), std::memcpy(&l[12 * id + 4], &q, 16), std::memcpy(&l[12 * id + 8], s, 16);
    }
    VLMSetNodeStates(p.c(), p.s(), &local, l.data());
    VLMGetNodeStates(p.c(), p.s(), &global, g.data());
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        const TQS c = frame(parentOf(id, g), offset[id]), n = record(&l[12 * id]), got = record(&g[12 * id]);
        const P3 t = c.t + rot(c.q, mul(c.s, n.t)), s = mul(c.s, n.s);
        EXPECT_LT(Len(got.t - t), 1e-4 * (1 + Len(t))) << "write " << id;
        EXPECT_TRUE(SameRotation(V(float(got.q[0]), float(got.q[1]), float(got.q[2]), float(got.q[3])),
                                 mathtest::Hamilton(c.q, n.q), 1e-5))
            << "write " << id;
        EXPECT_LT(Len(got.s - s), 1e-5 * Len(s)) << "write " << id;
    }
}

}  // namespace

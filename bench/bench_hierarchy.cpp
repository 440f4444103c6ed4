// Whole-tree local-to-global and global-to-local passes (translation,
// rotation and scale) over the full 172-node character and the 16-node body,
// beside a naive recursive scalar pass that does the same arithmetic over the
// same records and rows. The "per_node" counter (seconds per node) is the figure; the ratio of
// the naive pass to the library pass is the speed-up.
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

void* allocate(std::uint64_t size) { return std::malloc(size); }
void release(void* raw) { std::free(raw); }

struct Pose {
    VLMCharacter* character = nullptr;
    std::vector<VLMStateRow> rows;  // [0] the spare row
    int nodes = 0;

    explicit Pose(int usedNodes)
    {
        VLMCharacterDefinition def{};
        for (int id = 0; id < usedNodes; ++id)
            def.words[id] = 7;
        character = VLMCreateCharacter(&def, &allocate);
        nodes = int(VLMCharacterHeaderOf(character)->nodeCount);
        rows.resize(std::size_t(nodes) + 1);
        std::mt19937 rng(17);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f), s(0.9f, 1.1f);
        for (VLMStateRow& r : rows) {
            VLMVector4 q = {u(rng), u(rng), u(rng), u(rng)};
            const float n = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            q = {q.x * n, q.y * n, q.z * n, q.w * n};
            r.globalT = r.localT = {u(rng), u(rng), u(rng), 0.0f};
            r.globalQ = r.localQ = q;
            r.globalS = r.localS = {s(rng), s(rng), s(rng), 1.0f};
        }
    }
    ~Pose() { VLMDestroyCharacter(character, &release); }
    VLMStateRow* Rows() { return rows.data() + 1; }
    const VLMNodeRecord* Records() const { return VLMCharacterNodeRecords(character); }
    const VLMNodeRecord* Root() const { return VLMCharacterRootRecord(character); }
};

// --- The naive pass: plain structs, scalar arithmetic, recursion at every node.

struct Q {
    float x, y, z, w;
};

Q Mul(const Q& a, const Q& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
Q Conj(const Q& q) { return {-q.x, -q.y, -q.z, q.w}; }
Q Normalize(const Q& q)
{
    const float n = 1.0f / std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x * n, q.y * n, q.z * n, q.w * n};
}
Q Rotate(const Q& q, const Q& v)
{
    const Q r = Mul(Mul(q, {v.x, v.y, v.z, 0.0f}), Conj(q));
    return {r.x, r.y, r.z, v.w};
}
Q Load(const VLMVector4& v) { return {v.x, v.y, v.z, v.w}; }
void Store(VLMVector4& v, const Q& q) { v = {q.x, q.y, q.z, q.w}; }

void NaiveLocalToGlobal(const VLMNodeRecord* node, const VLMNodeRecord* records, VLMStateRow* rows,
                        const VLMStateRow& parent)
{
    VLMStateRow& row = rows[node->ownIndex];
    const Q pt = Load(parent.globalT), pq = Load(parent.globalQ), ps = Load(parent.globalS);
    const Q lt = Load(row.localT), ls = Load(row.localS);
    const Q r = Rotate(pq, {ps.x * lt.x, ps.y * lt.y, ps.z * lt.z, ps.w * lt.w});
    Store(row.globalT, {pt.x + r.x, pt.y + r.y, pt.z + r.z, pt.w + r.w});
    Store(row.globalQ, Normalize(Mul(pq, Load(row.localQ))));
    Store(row.globalS, {ps.x * ls.x, ps.y * ls.y, ps.z * ls.z, ps.w * ls.w});
    for (std::uint32_t i = 0; i < node->childCount; ++i)
        NaiveLocalToGlobal(&records[node->firstChildIndex + i], records, rows, row);
}

void NaiveGlobalToLocal(const VLMNodeRecord* node, const VLMNodeRecord* records, VLMStateRow* rows,
                        const VLMStateRow& parent)
{
    VLMStateRow& row = rows[node->ownIndex];
    const Q pt = Load(parent.globalT), ps = Load(parent.globalS), c = Conj(Normalize(Load(parent.globalQ)));
    const Q gt = Load(row.globalT), gs = Load(row.globalS);
    const Q r = Rotate(c, {gt.x - pt.x, gt.y - pt.y, gt.z - pt.z, gt.w - pt.w});
    Store(row.localT, {r.x / ps.x, r.y / ps.y, r.z / ps.z, r.w / ps.w});
    Store(row.localQ, Mul(c, Load(row.globalQ)));
    Store(row.localS, {gs.x / ps.x, gs.y / ps.y, gs.z / ps.z, gs.w / ps.w});
    for (std::uint32_t i = 0; i < node->childCount; ++i)
        NaiveGlobalToLocal(&records[node->firstChildIndex + i], records, rows, row);
}

void NaiveTree(const VLMNodeRecord* root, const VLMNodeRecord* records, VLMStateRow* rows, bool toGlobal)
{
    VLMStateRow& r = rows[root->ownIndex];
    if (toGlobal) {
        r.globalT = r.localT;
        r.globalQ = r.localQ;
        r.globalS = r.localS;
    } else {
        r.localT = r.globalT;
        r.localQ = r.globalQ;
        r.localS = r.globalS;
    }
    for (std::uint32_t i = 0; i < root->childCount; ++i) {
        const VLMNodeRecord* child = &records[root->firstChildIndex + i];
        if (toGlobal)
            NaiveLocalToGlobal(child, records, rows, r);
        else
            NaiveGlobalToLocal(child, records, rows, r);
    }
}

// --- Runs ----------------------------------------------------------------------

enum Which { kLibraryL2G, kLibraryG2L, kNaiveL2G, kNaiveG2L };

void Run(benchmark::State& state, int usedNodes, Which which)
{
    Pose pose(usedNodes);
    const VLMNodeRecord* root = pose.Root();
    const VLMNodeRecord* records = pose.Records();
    VLMStateRow* rows = pose.Rows();
    VLMScopedFPGuard guard;  // the passes run under their entry point's control word
    for (auto _ : state) {
        switch (which) {
        case kLibraryL2G: VLMTreeLocalToGlobalTQS(root, rows, records); break;
        case kLibraryG2L: VLMTreeGlobalToLocalTQS(root, rows, records); break;
        case kNaiveL2G: NaiveTree(root, records, rows, true); break;
        case kNaiveG2L: NaiveTree(root, records, rows, false); break;
        }
        benchmark::ClobberMemory();
    }
    // Seconds per node, printed with its SI prefix (n for nanoseconds).
    state.counters["per_node"] = benchmark::Counter(double(pose.nodes), benchmark::Counter::kIsIterationInvariantRate |
                                                                            benchmark::Counter::kInvert);
}

void BM_TreeLocalToGlobal_172(benchmark::State& s) { Run(s, VLM_NODE_COUNT, kLibraryL2G); }
void BM_NaiveLocalToGlobal_172(benchmark::State& s) { Run(s, VLM_NODE_COUNT, kNaiveL2G); }
void BM_TreeGlobalToLocal_172(benchmark::State& s) { Run(s, VLM_NODE_COUNT, kLibraryG2L); }
void BM_NaiveGlobalToLocal_172(benchmark::State& s) { Run(s, VLM_NODE_COUNT, kNaiveG2L); }
void BM_TreeLocalToGlobal_16(benchmark::State& s) { Run(s, 16, kLibraryL2G); }
void BM_NaiveLocalToGlobal_16(benchmark::State& s) { Run(s, 16, kNaiveL2G); }
void BM_TreeGlobalToLocal_16(benchmark::State& s) { Run(s, 16, kLibraryG2L); }
void BM_NaiveGlobalToLocal_16(benchmark::State& s) { Run(s, 16, kNaiveG2L); }

}  // namespace

BENCHMARK(BM_TreeLocalToGlobal_172);
BENCHMARK(BM_NaiveLocalToGlobal_172);
BENCHMARK(BM_TreeGlobalToLocal_172);
BENCHMARK(BM_NaiveGlobalToLocal_172);
BENCHMARK(BM_TreeLocalToGlobal_16);
BENCHMARK(BM_NaiveLocalToGlobal_16);
BENCHMARK(BM_TreeGlobalToLocal_16);
BENCHMARK(BM_NaiveGlobalToLocal_16);

BENCHMARK_MAIN();

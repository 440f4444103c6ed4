// Pose transfer onto the 172-node character from the same skeleton, and from
// the typical character onto the retarget proportions (other spine, neck and
// digit counts), each against one whole-tree local-to-global pass of the
// target; heap use during the loops (operator new replaced).
#include "counting_new.h"
#include "rig/solver/stages/vlm_pose_transfer.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"

#include "solver_fixtures.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kPoses = 256;

struct Pair {
    fixtures::Scene target, source;
    std::vector<unsigned char> poses;  // kPoses source states, each on a 16-byte boundary
    std::size_t stride;
    Pair(const fixtures::Proportions& to, const fixtures::Proportions& from) : target(to, {}, {}), source(from, {}, {})
    {
        const auto sampled = fixtures::SamplePoses(source.c(), kPoses, 3, {});
        stride = (sampled[0].size() + 15) / 16 * 16;
        poses.resize(stride * kPoses + 16);
        for (int i = 0; i < kPoses; ++i)
            std::memcpy(at(i), sampled[i].data(), sampled[i].size());
    }
    void* at(int i)
    {
        unsigned char* base = poses.data() + (16 - reinterpret_cast<std::uintptr_t>(poses.data()) % 16) % 16;
        return base + stride * std::size_t(i);
    }
    const VLMStateRow* sourceRows(int i) { return VLMStateFirstRow(static_cast<const VLMCharacterState*>(at(i))); }
};

fixtures::Proportions Preset(int which)
{
    return which == 0 ? fixtures::Full() : which == 1 ? fixtures::Typical() : fixtures::Retarget();
}

// range(0): 0 the 172-node pair, 1 typical onto retarget.
void BM_TransferPose(benchmark::State& st)
{
    Pair pair(Preset(st.range(0) == 0 ? 0 : 2), Preset(st.range(0) == 0 ? 0 : 1));
    VLMScopedFPGuard guard;
    int i = 0;
    const long before = g_allocations;
    for (auto _ : st) {
        VLMTransferPose(pair.target.c(), pair.source.c(), pair.target.rows(), pair.sourceRows(i),
                        &pair.target.properties);
        benchmark::ClobberMemory();
        i = (i + 1) % kPoses;
    }
    st.counters["allocations"] = double(g_allocations - before);
}
BENCHMARK(BM_TransferPose)->Arg(0)->Arg(1);

void BM_TreeLocalToGlobalBaseline(benchmark::State& st)
{
    Pair pair(Preset(st.range(0) == 0 ? 0 : 2), Preset(st.range(0) == 0 ? 0 : 1));
    const VLMNodeRecord* records = VLMCharacterNodeRecords(pair.target.c());
    VLMScopedFPGuard guard;
    for (auto _ : st) {
        VLMTreeLocalToGlobal(pair.target.c(), pair.target.rows(), records);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TreeLocalToGlobalBaseline)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

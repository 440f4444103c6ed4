// Skeleton display geometry: rewriting the posed full character in place,
// beside one whole-tree local-to-global pass over the same state (the work a
// pose change costs the rig library itself). The ratio of the two times is
// the figure; "allocations" must read 0. The all-limits case (build flags 15,
// +-30 degree limits on every joint below Hips) reports vertices per second.
#include "counting_new.h"
#include "view3d/skeleton_display_geometry.h"

#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/vlm_hierarchy.h"

#include "posed_rig.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>

namespace {

posed::Rig PosedFullCharacter(posed::Limits limits)
{
    posed::Rig rig = posed::Make(fixtures::Full(), limits);
    rig.WriteTPose();
    const float z[3] = {0, 0, 1}, x[3] = {1, 0, 0};
    rig.Bend(9, z, 0.6f);
    rig.Bend(5, x, -0.4f);
    return rig;
}

void RunUpdate(benchmark::State& state, posed::Limits limits, int flags)
{
    const posed::Rig rig = PosedFullCharacter(limits);
    SkeletonDisplaySettings settings;
    settings.buildFlags = flags;
    SkeletonDisplayGeometry geometry;
    geometry.Init(settings, rig.c(), rig.s());
    const long before = g_allocations;
    for (auto _ : state)
        benchmark::DoNotOptimize(geometry.Update(nullptr));
    const long allocations = g_allocations - before;
    const double vertices = double(geometry.SkeletonStore().VertexCount());
    state.counters["allocations"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
    state.counters["vertices"] = vertices;
    state.counters["vertices_per_second"] = benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_UpdateFlags7(benchmark::State& state) { RunUpdate(state, posed::Limits::None, 7); }
void BM_UpdateAllLimits(benchmark::State& state) { RunUpdate(state, posed::Limits::All30Deg, 15); }

void BM_TreeLocalToGlobal(benchmark::State& state)
{
    const posed::Rig rig = PosedFullCharacter(posed::Limits::None);
    VLMStateRow* rows = VLMStateFirstRow(rig.s());
    const VLMNodeRecord* records = VLMCharacterNodeRecords(rig.c());
    VLMScopedFPGuard guard;
    for (auto _ : state) {
        VLMTreeLocalToGlobal(rig.c(), rows, records);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_UpdateFlags7);
BENCHMARK(BM_TreeLocalToGlobal);
BENCHMARK(BM_UpdateAllLimits);

}  // namespace

BENCHMARK_MAIN();

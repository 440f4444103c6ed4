// The full retargeting solve with default properties and the default stage
// word, cycling through 256 sampled source poses, on the 16-, 60- and
// 172-node characters, retargeted onto the same proportions and onto the
// other set (longer arms, shorter legs); against one whole-tree
// local-to-global pass of the same target (also as each solve's counter
// "tree passes": its time in passes). A cumulative stage-word ablation on the
// 172-node character shows where the time goes; the full-body pull alone on
// the 172-node character, with every limb pulling, at 0, 10 and 30 iterations,
// with and without joint limits; and the 172-node solve with no joint limited.
#include "counting_new.h"
#include "rig/solver/stages/vlm_body_pull.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/vlm_solve.h"
#include "rig/solver/vlm_stage_bits.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"

#include "solver_fixtures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// range(0): 0 Minimal, 1 Typical, 2 Full; range(1): 1 for the other proportions.
fixtures::Proportions Preset(int which, bool other)
{
    fixtures::Proportions p = which == 0 ? fixtures::Minimal() : which == 1 ? fixtures::Typical() : fixtures::Full();
    if (other) {
        const fixtures::Proportions r = fixtures::Retarget();
        p.height = r.height, p.arm = r.arm, p.leg = r.leg, p.spine = r.spine, p.neck = r.neck;
        p.shoulderWidth = r.shoulderWidth, p.hipWidth = r.hipWidth;
    }
    return p;
}

struct Workload {
    fixtures::Scene source, target;
    std::vector<std::vector<unsigned char>> poses;
    Workload(int which, bool other, bool limits = true)
        : source(Preset(which, false), {}, {}),
          target(Preset(which, other), {limits, {}, false, false, 1}, {}),
          poses(fixtures::SamplePoses(source.c(), 256, 11, {0.5f, 0.3f, 10.0f, true, true}))
    {
    }
    void solve(std::size_t i) const
    {
        VLMSolve(target.c(), target.state.get(), source.c(),
                 reinterpret_cast<const VLMCharacterState*>(poses[i & 255].data()), target.set.get(),
                 &target.properties, &source.properties);
    }
};

// Seconds of one whole-tree local-to-global pass of the workload's target.
double TreePassSeconds(const Workload& w)
{
    VLMScopedFPGuard guard;
    const VLMNodeRecord* records = VLMCharacterNodeRecords(w.target.c());
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < 2000; ++k) {
            VLMTreeLocalToGlobal(w.target.c(), w.target.rows(), records);
            benchmark::ClobberMemory();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / 2000.0);
    }
    return best;
}

void Run(benchmark::State& st, const Workload& w)
{
    const long before = g_allocations;  // one untimed round through the poses
    for (std::size_t i = 0; i < 256; ++i)
        w.solve(i);
    st.counters["allocs/solve"] = double(g_allocations - before) / 256.0;
    const double pass = TreePassSeconds(w);
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : st) {
        w.solve(i++);
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    st.counters["solves/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
    st.counters["tree passes"] = took.count() / double(st.iterations()) / pass;  // a solve's time in passes
}

void BM_Solve(benchmark::State& st)
{
    const Workload w(int(st.range(0)), st.range(1) != 0);
    Run(st, w);
}
BENCHMARK(BM_Solve)->ArgsProduct({{0, 1, 2}, {0, 1}});

// The 172-node character with no joint limited: the solve without the limit
// clamps, which are most of what a limited solve adds.
void BM_SolveFreeJoints(benchmark::State& st)
{
    const Workload w(2, st.range(0) != 0, false);
    Run(st, w);
}
BENCHMARK(BM_SolveFreeJoints)->Arg(0)->Arg(1);

void BM_TreeLocalToGlobalBaseline(benchmark::State& st)
{
    const Workload w(int(st.range(0)), false);
    w.solve(0);
    VLMScopedFPGuard guard;
    for (auto _ : st) {
        VLMTreeLocalToGlobal(w.target.c(), w.target.rows(), VLMCharacterNodeRecords(w.target.c()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TreeLocalToGlobalBaseline)->Arg(0)->Arg(1)->Arg(2);

// Cumulative: word 0, then + body pull (and spine), + limbs, + shoulders,
// + stretch, + digits, + neck, + contact sync, + roll and hips (all bits).
void BM_SolveAblation(benchmark::State& st)
{
    const std::uint32_t perLimb = 15u;
    const std::uint32_t groups[] = {0u,
                                    VLM_STAGE_BODY_PULL | VLM_STAGE_SPINE,
                                    VLM_STAGE_LIMBS | perLimb << VLM_STAGE_CHAIN_BIT,
                                    VLM_STAGE_LEFT_SHOULDER | VLM_STAGE_RIGHT_SHOULDER,
                                    perLimb << VLM_STAGE_STRETCH_BIT,
                                    perLimb << VLM_STAGE_DIGITS_BIT,
                                    VLM_STAGE_NECK_HEAD,
                                    VLM_STAGE_CONTACT_SYNC,
                                    VLM_STAGE_ROLL | VLM_STAGE_HIPS_TRAJECTORY};
    std::uint32_t word = 0;
    for (int g = 0; g <= st.range(0); ++g)
        word |= groups[g];
    const Workload w(2, false);
    VLMSetSolveStages(w.target.set.get(), word);
    Run(st, w);
}
BENCHMARK(BM_SolveAblation)->DenseRange(0, 8);

// Effectors from one sampled pose, the legs' and arms' goals moved out of
// reach so that every pull acts; the state is reset to the pose each time.
struct PullWorkload {
    fixtures::Scene scene;
    std::vector<VLMStateRow> pose;
    explicit PullWorkload(bool limits) : scene(fixtures::Full(), {limits, {}, false, false, 1}, {})
    {
        VLMEffectorSetLayout* set = scene.effectors();
        VLMSetPullAndStiffnessFromProperties(scene.set.get(), &scene.properties);
        VLMComputeEffectorsFromPose(scene.c(), set, scene.rows(), &scene.properties);
        for (VLMVector4& lane : set->blend)
            lane.x = lane.y = 1.0f;
        for (int e : {VLM_LEFT_ANKLE_EFFECTOR, VLM_RIGHT_ANKLE_EFFECTOR})
            set->effectors[e].t.y -= 12.0f;
        for (int e : {VLM_LEFT_WRIST_EFFECTOR, VLM_RIGHT_WRIST_EFFECTOR})
            set->effectors[e].t.z += 25.0f;
        pose = scene.snapshot();
    }
    void run(int iterations) const
    {
        std::memcpy(scene.rows(), pose.data(), pose.size() * sizeof(VLMStateRow));
        VLMSolveBodyPull(scene.c(), scene.rows(), scene.effectors(), &scene.properties, iterations, true, true, true,
                         true, true);
    }
};

// range(0): PullIterationCount; range(1): 1 with every joint limited (the
// default of the fixtures), 0 without limits.
void BM_BodyPull(benchmark::State& st)
{
    const PullWorkload w(st.range(1) != 0);
    VLMScopedFPGuard guard;
    const long before = g_allocations;
    w.run(int(st.range(0)));
    st.counters["allocs/pull"] = double(g_allocations - before);
    for (auto _ : st) {
        w.run(int(st.range(0)));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BodyPull)->ArgsProduct({{0, 10, 30}, {1, 0}});

}  // namespace

BENCHMARK_MAIN();

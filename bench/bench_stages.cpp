// The full-body pull on the 172-node character with PullIterationCount 0, 10
// and 30, against one whole-tree local-to-global pass of the same state.
#include "rig/solver/stages/vlm_body_pull.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_pose_setup.h"
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_hierarchy.h"

#include "solver_fixtures.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// Effectors from one sampled pose, the legs' and arms' goals moved out of
// reach so that every pull acts; the state is reset to the pose each time.
struct Workload {
    fixtures::Scene scene{fixtures::Full(), {}, {}};
    std::vector<VLMStateRow> pose;
    Workload()
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
};

void BM_BodyPull(benchmark::State& st)
{
    Workload w;
    VLMScopedFPGuard guard;
    for (auto _ : st) {
        std::memcpy(w.scene.rows(), w.pose.data(), w.pose.size() * sizeof(VLMStateRow));
        VLMSolveBodyPull(w.scene.c(), w.scene.rows(), w.scene.effectors(), &w.scene.properties, int(st.range(0)), true,
                         true, true, true, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BodyPull)->Arg(0)->Arg(10)->Arg(30);

void BM_TreeLocalToGlobalBaseline(benchmark::State& st)
{
    Workload w;
    VLMScopedFPGuard guard;
    for (auto _ : st) {
        VLMTreeLocalToGlobal(w.scene.c(), w.scene.rows(), VLMCharacterNodeRecords(w.scene.c()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TreeLocalToGlobalBaseline);

}  // namespace

BENCHMARK_MAIN();

// The limited limb chain solve on one arm and one leg of the typical character,
// with only the end effector's lanes set (one pass), against an analytic
// two-bone solver in float that reads the three joint positions and writes the
// two global rotations of the same rows. Both cycle through 256 sampled poses
// and targets. Also the three-pass case, and the heap use during the loops
// (operator new replaced, allocation callback counted).
#include "counting_new.h"
#include "rig/solver/stages/vlm_effector_params.h"
#include "rig/solver/stages/vlm_limb_chain.h"
#include "rig/solver/stages/vlm_solver_access.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_quat.h"
#include "rig/vlm_quat_utils.h"
#include "rig/vlm_vector.h"

#include "solver_fixtures.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

namespace {

void* CountingMalloc(std::uint64_t n)
{
    ++g_allocations;
    return std::malloc(n);
}

}  // namespace

namespace {

constexpr int kPoses = 256;
constexpr int kLimbs[2] = {2, 0};  // left arm, left leg

struct Block {
    explicit Block(std::uint64_t size) : raw(std::aligned_alloc(16, (size + 15) / 16 * 16)) { }
    ~Block() { std::free(raw); }
    Block(Block&& o) noexcept : raw(o.raw) { o.raw = nullptr; }
    void* raw;
};

// Sampled poses, one state each, with a reachable end target per limb.
struct Workload {
    fixtures::Fixture fixture;
    std::vector<Block> states;
    std::vector<VLMVector4> targets;  // kPoses x 2
    VLMEffectorSetState* set = nullptr;
    Block setBlock{VLMGetEffectorSetStateSize()};
    VLMPropertySetState properties{};

    Workload(bool limits, bool threePasses)
        : fixture(fixtures::Build(fixtures::Typical(), [&] {
              fixtures::Options o;
              o.limits = limits;
              return o;
          }()))
    {
        const VLMCharacter* c = fixture.character.get();
        VLMPropertySetDefaults(&properties);
        set = VLMConstructEffectorSetState(setBlock.raw);
        VLMEffectorSetLayout* s = VLMEffectorSetLayoutOf(set);
        std::memset(s->blend, 0, sizeof s->blend);
        fixtures::PoseOptions pose;
        pose.forwardBendsOnly = true;
        const auto poses = fixtures::SamplePoses(c, kPoses, 7, pose);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (const auto& p : poses) {
            states.emplace_back(p.size());
            std::memcpy(states.back().raw, p.data(), p.size());
            const VLMStateRow* rows = VLMStateFirstRow(static_cast<VLMCharacterState*>(states.back().raw));
            for (int k : kLimbs) {
                const VLMLimb* limb = VLMCharacterLimb(c, k);
                const VLMVector4 up = rows[limb->slotIndex[VLM_SLOT_UPPER]].globalT;
                const VLMVector4 dir = VLMVector4Normalize3(VLMVector4{unit(rng), unit(rng), unit(rng), 0});
                targets.push_back(VLMVector4Add(up, VLMVector4Mul(dir, VLMVector4Splat(30.0f + 20.0f * unit(rng)))));
            }
        }
        for (int k : kLimbs) {
            const VLMLimb* limb = VLMCharacterLimb(c, k);
            s->blend[limb->effectors[2]] = VLMVector4{1, 0, threePasses ? 0.5f : 0.0f, 0};
            if (threePasses) {
                s->blend[limb->effectors[1]] = VLMVector4{1, 0, 0.5f, 0};
                s->blend[limb->effectors[3]] = VLMVector4{1, 1, 0.5f, 0};
            }
        }
    }
    VLMStateRow* rows(int i) { return VLMStateFirstRow(static_cast<VLMCharacterState*>(states[i].raw)); }
};

void Report(benchmark::State& st, long allocations)
{
    st.counters["allocations"] = double(allocations);
    st.SetItemsProcessed(st.iterations() * 2);
}

void RunChain(benchmark::State& st, bool limits, bool threePasses)
{
    Workload w(limits, threePasses);
    const VLMCharacter* c = w.fixture.character.get();
    VLMEffectorSetLayout* s = VLMEffectorSetLayoutOf(w.set);
    VLMScopedFPGuard guard;
    int i = 0;
    const long before = g_allocations;
    for (auto _ : st) {
        VLMStateRow* rows = w.rows(i);
        for (int n = 0; n < 2; ++n) {
            const VLMLimb* limb = VLMCharacterLimb(c, kLimbs[n]);
            s->effectors[limb->effectors[2]].t = w.targets[2 * i + n];
            VLMSolveLimbChainLimited(c, rows, s, &w.properties, limb);
        }
        benchmark::ClobberMemory();
        i = (i + 1) % kPoses;
    }
    Report(st, g_allocations - before);
}

void BM_LimbChainLimited_NoLimits(benchmark::State& st) { RunChain(st, false, false); }
void BM_LimbChainLimited_Limits(benchmark::State& st) { RunChain(st, true, false); }
void BM_LimbChainLimited_ThreePasses(benchmark::State& st) { RunChain(st, true, true); }
BENCHMARK(BM_LimbChainLimited_NoLimits);
BENCHMARK(BM_LimbChainLimited_Limits);
BENCHMARK(BM_LimbChainLimited_ThreePasses);

// The analytic two-bone solve: bend the middle joint about the normal of the
// current bend plane to the law-of-cosines angle, then swing the upper joint
// onto the target; the two global rotations are written back.
void AnalyticTwoBone(VLMStateRow& upper, VLMStateRow& middle, const VLMStateRow& end, const VLMVector4& target)
{
    const VLMVector4 u = VLMVector4Sub(middle.globalT, upper.globalT);
    const VLMVector4 l = VLMVector4Sub(end.globalT, middle.globalT);
    const VLMVector4 g = VLMVector4Sub(target, upper.globalT);
    const float l1 = VLMVector4Length3(u).x, l2 = VLMVector4Length3(l).x;
    const float reach = VLMVector4Length3(VLMVector4Add(u, l)).x;
    const float d = std::fmin(VLMVector4Length3(g).x, l1 + l2);
    const auto interior = [&](float x) {
        return std::acos(std::fmax(-1.0f, std::fmin(1.0f, (l1 * l1 + l2 * l2 - x * x) / (2.0f * l1 * l2))));
    };
    const VLMVector4 n = VLMVector4Normalize3(VLMVector4Cross(u, l));
    const float half = 0.5f * (interior(reach) - interior(d));
    const float s = std::sin(half);
    const VLMVector4 bend{n.x * s, n.y * s, n.z * s, std::cos(half)};
    const VLMVector4 reached = VLMVector4Add(u, VLMQuatRotate(bend, l));
    const VLMVector4 swing = VLMQuatFromTo(reached, g);
    middle.globalQ = VLMQuatMultiply(swing, VLMQuatMultiply(bend, middle.globalQ));
    upper.globalQ = VLMQuatMultiply(swing, upper.globalQ);
}

void BM_AnalyticTwoBoneBaseline(benchmark::State& st)
{
    Workload w(false, false);
    const VLMCharacter* c = w.fixture.character.get();
    int i = 0;
    const long before = g_allocations;
    for (auto _ : st) {
        VLMStateRow* rows = w.rows(i);
        for (int n = 0; n < 2; ++n) {
            const VLMLimb* limb = VLMCharacterLimb(c, kLimbs[n]);
            AnalyticTwoBone(rows[limb->slotIndex[VLM_SLOT_UPPER]], rows[limb->slotIndex[VLM_SLOT_MIDDLE]],
                            rows[limb->slotIndex[VLM_SLOT_END]], w.targets[2 * i + n]);
        }
        benchmark::ClobberMemory();
        i = (i + 1) % kPoses;
    }
    Report(st, g_allocations - before);
}
BENCHMARK(BM_AnalyticTwoBoneBaseline);

// The allocation callback is never asked during a solve either.
void BM_LimbChainCallbackCount(benchmark::State& st)
{
    Workload w(true, true);
    const VLMCharacter* c = w.fixture.character.get();
    VLMEffectorSetState* set = VLMCreateEffectorSetState(&CountingMalloc);
    std::memcpy(set, w.set, VLMGetEffectorSetStateSize());
    VLMScopedFPGuard guard;
    int i = 0;
    const long before = g_allocations;
    for (auto _ : st) {
        VLMSolveLimbChainLimited(c, w.rows(i), VLMEffectorSetLayoutOf(set), &w.properties, VLMCharacterLimb(c, 2));
        i = (i + 1) % kPoses;
    }
    st.counters["allocations"] = double(g_allocations - before);
    VLMDestroyEffectorSetState(set, &std::free);
}
BENCHMARK(BM_LimbChainCallbackCount);

}  // namespace

BENCHMARK_MAIN();

// Pose-state blocks: construction and reset against a plain copy of the same
// bytes, the API-frame matrix read against the stored read, and creation
// against malloc + memcpy + free.
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_access.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"

#include "rig_sample.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

void* Malloc(std::uint64_t n) { return std::malloc(n); }

// 172 nodes with random rest poses, or the 16 required nodes.
sample::CharacterPtr MakeCharacter(int nodes)
{
    std::mt19937 rng(1);
    VLMCharacterDefinition def = sample::FullDefinition();
    if (nodes < VLM_NODE_COUNT)
        for (int id = nodes; id < VLM_NODE_COUNT; ++id)
            def.words[id] = 0;
    auto records = sample::RandomRecords(rng);
    sample::CharacterPtr c = sample::Create(def);
    VLMApplyJointGeometries(&def, c.get(), records.data(), VLM_NODE_COUNT, nullptr);
    return c;
}

struct AlignedBlock {
    explicit AlignedBlock(std::size_t n) : size(n), raw(std::aligned_alloc(16, (n + 15) / 16 * 16)) { }
    ~AlignedBlock() { std::free(raw); }
    std::size_t size;
    void* raw;
};

void BM_ConstructCharacterState(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(int(st.range(0)));
    AlignedBlock block(VLMGetCharacterStateSize(c.get()));
    for (auto _ : st) {
        benchmark::DoNotOptimize(VLMConstructCharacterState(c.get(), block.raw));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ConstructCharacterState)->Arg(16)->Arg(172);

void BM_CopyCharacterStateBytes(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(int(st.range(0)));
    AlignedBlock from(VLMGetCharacterStateSize(c.get())), to(from.size);
    VLMConstructCharacterState(c.get(), from.raw);
    for (auto _ : st) {
        std::memcpy(to.raw, from.raw, from.size);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyCharacterStateBytes)->Arg(16)->Arg(172);

void BM_ResetEffectorSetState(benchmark::State& st)
{
    AlignedBlock block(VLMGetEffectorSetStateSize());
    VLMEffectorSetState* set = VLMConstructEffectorSetState(block.raw);
    for (auto _ : st) {
        benchmark::DoNotOptimize(VLMResetEffectorSetState(set));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ResetEffectorSetState);

void BM_CopyEffectorSetBytes(benchmark::State& st)
{
    AlignedBlock from(VLMGetEffectorSetStateSize()), to(from.size);
    VLMConstructEffectorSetState(from.raw);
    for (auto _ : st) {
        std::memcpy(to.raw, from.raw, from.size);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyEffectorSetBytes);

// One read per node of the character, as a 3D view does every frame.
void BM_ReadNodeStateMatrix(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(VLM_NODE_COUNT);
    VLMCharacterState* state = VLMCreateCharacterState(c.get(), &Malloc);
    alignas(16) float m[16];
    for (auto _ : st)
        for (int id = 0; id < VLM_NODE_COUNT; ++id) {
            VLMReadNodeStateMatrix(c.get(), state, id, m);
            benchmark::DoNotOptimize(m);
        }
    st.SetItemsProcessed(st.iterations() * VLM_NODE_COUNT);
    VLMDestroyCharacterState(state, &std::free);
}
BENCHMARK(BM_ReadNodeStateMatrix);

void BM_GetNodeStoredTQS(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(VLM_NODE_COUNT);
    VLMCharacterState* state = VLMCreateCharacterState(c.get(), &Malloc);
    alignas(16) float t[4], q[4], s[4];
    for (auto _ : st)
        for (int id = 0; id < VLM_NODE_COUNT; ++id) {
            VLMGetNodeStoredTQS(c.get(), state, id, t, q, s);
            benchmark::DoNotOptimize(t);
            benchmark::DoNotOptimize(q);
            benchmark::DoNotOptimize(s);
        }
    st.SetItemsProcessed(st.iterations() * VLM_NODE_COUNT);
    VLMDestroyCharacterState(state, &std::free);
}
BENCHMARK(BM_GetNodeStoredTQS);

void BM_CreateDestroyCharacterState(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(VLM_NODE_COUNT);
    for (auto _ : st)
        VLMDestroyCharacterState(VLMCreateCharacterState(c.get(), &Malloc), &std::free);
}
BENCHMARK(BM_CreateDestroyCharacterState);

void BM_MallocCopyFree(benchmark::State& st)
{
    sample::CharacterPtr c = MakeCharacter(VLM_NODE_COUNT);
    const std::size_t size = VLMGetCharacterStateSize(c.get());
    std::vector<unsigned char> source(size, 1);
    for (auto _ : st) {
        void* p = std::malloc(size + 23);
        std::memcpy(p, source.data(), size);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(BM_MallocCopyFree);

}  // namespace

BENCHMARK_MAIN();

// Bulk node transfer over all 172 nodes: the record, matrix and packet forms
// in spaces 0 (global) and 1 (local), against a loop of the one-node
// accessors over the same list.
#include "rig/solver/vlm_bulk.h"
#include "rig/solver/vlm_node_state.h"
#include "rig/solver/vlm_state.h"
#include "rig/vlm_character.h"
#include "rig/vlm_joint.h"

#include "rig_sample.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

void* Malloc(std::uint64_t n) { return std::malloc(n); }

struct Setup {
    sample::CharacterPtr character;
    VLMCharacterStateHandle state;
    std::vector<std::int32_t> ids;
    struct alignas(16) Record {
        float f[16];
    };
    std::vector<Record> records = std::vector<Record>(VLM_NODE_COUNT);
    Setup()
    {
        std::mt19937 rng(1);
        const VLMCharacterDefinition def = sample::FullDefinition();
        auto joints = sample::RandomRecords(rng);
        character = sample::Create(def);
        VLMApplyJointGeometries(&def, character.get(), joints.data(), VLM_NODE_COUNT, nullptr);
        state = VLMAdopt<VLMCharacterStateHandle>(VLMCreateCharacterState(character.get(), &Malloc));
        for (int id = 0; id < VLM_NODE_COUNT; ++id)
            ids.push_back(id);
        ids.push_back(-2);
        const VLMNodeRecordLayout layout = {0, 0, 0, 16, 32, 64, ids.data()};
        VLMGetNodeStates(character.get(), state.get(), &layout, records.data());
    }
    VLMNodeRecordLayout layout(int space) const { return {space, 0, 0, 16, 32, 64, ids.data()}; }
    // Packets: 43 of 160 bytes (T rows at 0, Q at 48, S at 112) inside the same records.
    VLMNodeRecordLayout packets(int space) const { return {space, 0, 0, 48, 112, 160, ids.data()}; }
    VLMNodeMatrixLayout matrices(int space) const { return {std::uint32_t(space), 0, 0, 64, ids.data()}; }
};

void BM_GetNodeStates(benchmark::State& st)
{
    Setup s;
    const VLMNodeRecordLayout layout = s.layout(int(st.range(0)));
    for (auto _ : st) {
        VLMGetNodeStates(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GetNodeStates)->Arg(0)->Arg(1);

void BM_SetNodeStates(benchmark::State& st)
{
    Setup s;
    const VLMNodeRecordLayout layout = s.layout(int(st.range(0)));
    for (auto _ : st) {
        VLMSetNodeStates(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SetNodeStates)->Arg(0)->Arg(1);

void BM_GetNodeStateTQSLoop(benchmark::State& st)
{
    Setup s;
    for (auto _ : st) {
        for (std::size_t k = 0; s.ids[k] != -2; ++k) {
            float* r = s.records[k].f;
            VLMGetNodeStateTQS(s.character.get(), s.state.get(), s.ids[k], r, r + 4, r + 8);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GetNodeStateTQSLoop);

void BM_SetNodeStateTQSLoop(benchmark::State& st)
{
    Setup s;
    for (auto _ : st) {
        for (std::size_t k = 0; s.ids[k] != -2; ++k) {
            const float* r = s.records[k].f;
            VLMSetNodeStateTQS(s.character.get(), s.state.get(), s.ids[k], r, r + 4, r + 8);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SetNodeStateTQSLoop);

void BM_GetNodeStatesSoA(benchmark::State& st)
{
    Setup s;
    const VLMNodeRecordLayout layout = s.packets(int(st.range(0)));
    for (auto _ : st) {
        VLMGetNodeStatesSoA(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GetNodeStatesSoA)->Arg(0)->Arg(1);

void BM_SetNodeStatesSoA(benchmark::State& st)
{
    Setup s;
    const VLMNodeRecordLayout layout = s.packets(int(st.range(0)));
    VLMGetNodeStatesSoA(s.character.get(), s.state.get(), &layout, s.records.data());
    for (auto _ : st) {
        VLMSetNodeStatesSoA(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SetNodeStatesSoA)->Arg(0)->Arg(1);

void BM_ReadNodeStateMatrices(benchmark::State& st)
{
    Setup s;
    const VLMNodeMatrixLayout layout = s.matrices(int(st.range(0)));
    for (auto _ : st) {
        VLMReadNodeStateMatrices(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReadNodeStateMatrices)->Arg(0)->Arg(1);

void BM_WriteNodeStateMatrices(benchmark::State& st)
{
    Setup s;
    const VLMNodeMatrixLayout layout = s.matrices(int(st.range(0)));
    VLMReadNodeStateMatrices(s.character.get(), s.state.get(), &layout, s.records.data());
    for (auto _ : st) {
        VLMWriteNodeStateMatrices(s.character.get(), s.state.get(), &layout, s.records.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WriteNodeStateMatrices)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

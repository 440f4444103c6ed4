// Character creation: create + destroy from 172 definition words, through
// malloc-backed callbacks that count their calls.
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

namespace {

std::uint64_t g_allocations = 0;

void* countingAllocate(std::uint64_t size)
{
    ++g_allocations;
    return std::malloc(size);
}

void release(void* raw) { std::free(raw); }

VLMCharacterDefinition definition(int usedNodes)
{
    VLMCharacterDefinition def{};
    for (int id = 0; id < usedNodes; ++id)
        def.words[id] = 7;
    return def;
}

void createDestroy(benchmark::State& state, const VLMCharacterDefinition& def)
{
    g_allocations = 0;
    for (auto _ : state) {
        VLMCharacter* character = VLMCreateCharacter(&def, &countingAllocate);
        benchmark::DoNotOptimize(character);
        VLMDestroyCharacter(character, &release);
    }
    state.counters["allocations_per_create"] = benchmark::Counter(double(g_allocations) / double(state.iterations()));
    state.counters["block_bytes"] = double(VLMGetCharacterSize(&def));
}

void BM_CreateDestroyFull(benchmark::State& state) { createDestroy(state, definition(VLM_NODE_COUNT)); }
void BM_CreateDestroyRequired(benchmark::State& state) { createDestroy(state, definition(16)); }

}  // namespace

BENCHMARK(BM_CreateDestroyFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateDestroyRequired)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

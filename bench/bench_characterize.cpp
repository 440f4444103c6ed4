// Rest-pose characterization of a full 172-node character, and one limb's
// bone-inversion toggle. Rest rotations stay identity, so running the
// characterization again on the same block costs the same every time.
#include "rig/vlm_character.h"
#include "rig/vlm_characterize.h"
#include "rig/vlm_frame.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

namespace {

void* allocate(std::uint64_t size) { return std::malloc(size); }
void release(void* raw) { std::free(raw); }

// All nodes used with full rotation definitions, scattered rest positions.
VLMCharacter* fullCharacter()
{
    VLMCharacterDefinition def{};
    for (std::uint32_t& word : def.words)
        word = 7;
    VLMCharacter* character = VLMCreateCharacter(&def, &allocate);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-100.0f, 100.0f);
    for (int id = 0; id < VLM_NODE_COUNT; ++id)
        VLMCharacterTPoseEntry(character, id)->t = VLMVector4{u(rng), u(rng), u(rng), 0.0f};
    return character;
}

void BM_CharacterizeFull(benchmark::State& state)
{
    VLMCharacter* character = fullCharacter();
    for (auto _ : state)
        benchmark::DoNotOptimize(VLMCharacterize(character));
    VLMDestroyCharacter(character, &release);
}

void BM_BoneInversionToggle(benchmark::State& state)
{
    VLMCharacter* character = fullCharacter();
    VLMCharacterize(character);
    bool inverted = false;
    for (auto _ : state) {
        inverted = !inverted;
        VLMSetBoneInverted(character, 0, inverted);
        benchmark::ClobberMemory();
    }
    VLMDestroyCharacter(character, &release);
}

}  // namespace

BENCHMARK(BM_CharacterizeFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BoneInversionToggle)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();

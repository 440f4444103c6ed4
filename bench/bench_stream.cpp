// The character build the panel runs on every revalidation (create from 172
// definition words, transfer 172 joint records with the characterization,
// destroy), and a binary stream write + read round trip of the full
// definition, set against a plain memcpy of the stream's byte count measured
// in the same run.
#include "rig/vlm_character.h"
#include "rig/vlm_frame.h"
#include "rig/vlm_joint.h"
#include "rig/vlm_stream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::uint64_t g_allocations = 0;

void* countingAllocate(std::uint64_t size)
{
    ++g_allocations;
    return std::malloc(size);
}

void release(void* raw) { std::free(raw); }

VLMCharacterDefinition FullDefinition()
{
    VLMCharacterDefinition def{};
    for (std::uint32_t& word : def.words)
        word = 7;
    return def;
}

// A figure spread over a grid with a small rest rotation per node, limits on
// every axis and all three rotation orders families.
std::vector<VLMJointGeometry> Records()
{
    std::vector<VLMJointGeometry> records(VLM_NODE_COUNT);
    for (int id = 0; id < VLM_NODE_COUNT; ++id) {
        VLMJointGeometry& r = records[id];
        VLMJointGeometryInit(&r);
        VLMJointGeometrySetTranslate(&r, float(id % 12) * 7.0f - 40.0f, 180.0f - float(id / 12) * 11.0f,
                                     float(id % 5) - 2.0f);
        const float half = 0.01f * float(id % 17);
        VLMJointGeometrySetRotateQ(&r, std::sin(half), 0.0f, 0.0f, std::cos(half));
        VLMJointGeometrySetScale(&r, 1.0f, 1.0f, 1.0f);
        VLMJointGeometrySetPreRotQ(&r, 0.0f, std::sin(half), 0.0f, std::cos(half));
        VLMJointGeometrySetMinRLimit(&r, -1.0f, -0.5f, -0.25f);
        VLMJointGeometrySetMaxRLimit(&r, 1.0f, 0.5f, 0.25f);
        VLMJointGeometrySetLimitEnableMask(&r, 0x3F);
        VLMJointGeometrySetRotationOrder(&r, static_cast<VLMRotationOrder>(id % 13));
    }
    return records;
}

void BM_RevalidationBuild(benchmark::State& state)
{
    const VLMCharacterDefinition def = FullDefinition();
    const std::vector<VLMJointGeometry> records = Records();
    VLMBoneInversion inversion;
    VLMBoneInversionInit(&inversion);
    VLMBoneInversionSetLeftLeg(&inversion, 1);
    g_allocations = 0;
    for (auto _ : state) {
        VLMCharacter* character = VLMCreateCharacter(&def, &countingAllocate);
        VLMApplyJointGeometries(&def, character, records.data(), VLM_NODE_COUNT, &inversion);
        benchmark::DoNotOptimize(character);
        VLMDestroyCharacter(character, &release);
    }
    state.counters["allocations_per_build"] = double(g_allocations) / double(state.iterations());
}

// Nanoseconds per memcpy of bytes, over enough copies to be timed reliably.
double MemcpyNanoseconds(std::size_t bytes)
{
    std::vector<unsigned char> from(bytes, 0x5A), to(bytes);
    const int copies = 20000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < copies; ++i) {
        from[std::size_t(i) % bytes] = static_cast<unsigned char>(i);
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / copies;
}

void BM_StreamRoundTrip(benchmark::State& state)
{
    const bool swap = state.range(0) != 0;
    const VLMCharacterDefinition def = FullDefinition();
    const std::vector<VLMJointGeometry> records = Records();
    VLMCharacter* character = VLMCreateCharacter(&def, &countingAllocate);
    VLMApplyJointGeometries(&def, character, records.data(), VLM_NODE_COUNT, nullptr);

    std::uint64_t writes = 0, reads = 0, bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        g_allocations = 0;
        std::uint64_t size = 0;
        void* stream = VLMWriteCharacterBlob(&size, &def, character, swap, &countingAllocate, &release);
        writes += g_allocations;
        g_allocations = 0;
        VLMCharacterDefinition words;
        VLMCharacter* back = VLMReadCharacterBlob(&words, stream, size, &countingAllocate, &release);
        reads += g_allocations;
        benchmark::DoNotOptimize(back);
        VLMDestroyCharacter(back, &release);
        release(stream);
        bytes = size;
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    VLMDestroyCharacter(character, &release);

    const double perRoundTrip = elapsed.count() / double(state.iterations());
    const double memcpyNs = MemcpyNanoseconds(bytes);
    const double n = double(state.iterations());
    state.counters["stream_bytes"] = double(bytes);
    state.counters["allocations_per_write"] = double(writes) / n;
    state.counters["allocations_per_read"] = double(reads) / n;
    state.counters["memcpy_us"] = memcpyNs / 1000.0;
    state.counters["ratio_to_memcpy"] = perRoundTrip / memcpyNs;
}

// The write alone: records read out of the character and words copied.
void BM_StreamWrite(benchmark::State& state)
{
    const VLMCharacterDefinition def = FullDefinition();
    const std::vector<VLMJointGeometry> records = Records();
    VLMCharacter* character = VLMCreateCharacter(&def, &countingAllocate);
    VLMApplyJointGeometries(&def, character, records.data(), VLM_NODE_COUNT, nullptr);
    std::uint64_t size = 0;
    for (auto _ : state) {
        void* stream = VLMWriteCharacterBlob(&size, &def, character, state.range(0) != 0, &countingAllocate, &release);
        benchmark::DoNotOptimize(stream);
        release(stream);
    }
    VLMDestroyCharacter(character, &release);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(size));
}

}  // namespace

BENCHMARK(BM_RevalidationBuild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamRoundTrip)->Arg(0)->Arg(1)->ArgName("swap")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamWrite)->Arg(0)->Arg(1)->ArgName("swap")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

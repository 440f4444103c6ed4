// Normalisation and reciprocal square root of the vector primitives against
// plain scalar code over the same data. The "per_element" counter is seconds
// per element (a vector for the normalisations, a float for the reciprocal
// square roots).
#include "rig/vlm_frame.h"
#include "rig/vlm_vector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kVectors = 4096;

const std::vector<VLMVector4>& Directions()
{
    static const std::vector<VLMVector4> data = [] {
        std::mt19937 rng(20240611u);
        std::uniform_real_distribution<float> lane(-10.0f, 10.0f);
        std::vector<VLMVector4> v(kVectors);
        for (VLMVector4& d : v)
            d = VLMVector4{lane(rng), lane(rng), lane(rng), lane(rng)};
        return v;
    }();
    return data;
}

// Positive floats spread log-uniformly over 1e-4 .. 1e4, four per vector.
const std::vector<VLMVector4>& PositiveLanes()
{
    static const std::vector<VLMVector4> data = [] {
        std::mt19937 rng(7u);
        std::uniform_real_distribution<float> exponent(-4.0f, 4.0f);
        std::vector<VLMVector4> v(kVectors);
        for (VLMVector4& d : v)
            d = VLMVector4{std::pow(10.0f, exponent(rng)), std::pow(10.0f, exponent(rng)),
                           std::pow(10.0f, exponent(rng)), std::pow(10.0f, exponent(rng))};
        return v;
    }();
    return data;
}

void PerElement(benchmark::State& state, std::size_t elements)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * elements));
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(elements), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <VLMVector4 (*Normalize)(const VLMVector4&)>
void BM_VectorNormalize(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4>& in = Directions();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = Normalize(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerElement(state, in.size());
}
BENCHMARK_TEMPLATE(BM_VectorNormalize, VLMVector4Normalize3)->Name("Normalize3/VLMVector4Normalize3");
BENCHMARK_TEMPLATE(BM_VectorNormalize, VLMQuatNormalize)->Name("Normalize4/VLMQuatNormalize");

// The same three-lane normalisation written with scalar floats and 1/sqrt.
void BM_ScalarNormalize3(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4>& in = Directions();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) {
            const VLMVector4& v = in[i];
            const float inv = 1.0f / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            out[i] = VLMVector4{v.x * inv, v.y * inv, v.z * inv, 0.0f};
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerElement(state, in.size());
}
BENCHMARK(BM_ScalarNormalize3)->Name("Normalize3/scalar_1_over_sqrt");

void BM_VectorRSqrt(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4>& in = PositiveLanes();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = VLMVector4RSqrt(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerElement(state, 4 * in.size());
}
BENCHMARK(BM_VectorRSqrt)->Name("RSqrt/VLMVector4RSqrt");

void BM_ScalarRSqrt(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4>& data = PositiveLanes();
    const float* in = &data[0].x;
    const std::size_t n = 4 * data.size();
    std::vector<float> out(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = 1.0f / std::sqrt(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerElement(state, n);
}
BENCHMARK(BM_ScalarRSqrt)->Name("RSqrt/scalar_1_over_sqrt");

}  // namespace

BENCHMARK_MAIN();

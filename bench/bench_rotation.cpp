// Euler angles to quaternion and back, per rotation order. The "per_conversion"
// counter is seconds per conversion (one quaternion or one set of angles).
//   EulerToQuat/<code>   angles -> quaternion
//   QuatToEuler/<code>   unit quaternion -> angles
//   RoundTrip/<code>     both, the second reading the result of the first
// Odd codes are listed for completeness: they share the even code's forward
// conversion and return zero angles at once.
#include "rig/vlm_frame.h"
#include "rig/vlm_rotation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kSamples = 4096;

const char* const kOrderNames[VLM_ROTATION_ORDER_COUNT] = {
    "Euler XYZ", "Euler XYX", "Euler XZY", "Euler XZX", "Euler YZX", "Euler YZY",  "Euler YXZ",
    "Euler YXY", "Euler ZXY", "Euler ZXZ", "Euler ZYX", "Euler ZYZ", "Spheric XYZ"};

const std::vector<VLMVector4>& Angles()
{
    static const std::vector<VLMVector4> data = [] {
        std::mt19937 rng(31u);
        std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
        std::vector<VLMVector4> v(kSamples);
        for (VLMVector4& a : v)
            a = VLMVector4{angle(rng), angle(rng), angle(rng), 0.0f};
        return v;
    }();
    return data;
}

const std::vector<VLMVector4>& UnitQuaternions()
{
    static const std::vector<VLMVector4> data = [] {
        std::mt19937 rng(32u);
        std::normal_distribution<float> lane(0.0f, 1.0f);
        std::vector<VLMVector4> v(kSamples);
        for (VLMVector4& q : v) {
            q = VLMVector4{lane(rng), lane(rng), lane(rng), lane(rng)};
            const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            q = VLMVector4{q.x / n, q.y / n, q.z / n, q.w / n};
        }
        return v;
    }();
    return data;
}

void PerConversion(benchmark::State& state, std::size_t conversions)
{
    state.SetLabel(kOrderNames[state.range(0)]);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * conversions));
    state.counters["per_conversion"] = benchmark::Counter(
        static_cast<double>(conversions), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EulerToQuat(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const VLMRotationOrder order = VLMRotationOrder(state.range(0));
    const std::vector<VLMVector4>& in = Angles();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i)
            VLMEulerToQuat(order, out[i], in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerConversion(state, in.size());
}
BENCHMARK(BM_EulerToQuat)->Name("EulerToQuat")->DenseRange(0, 12);

void BM_QuatToEuler(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const VLMRotationOrder order = VLMRotationOrder(state.range(0));
    const std::vector<VLMVector4>& in = UnitQuaternions();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i)
            VLMQuatToEuler(order, out[i], in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerConversion(state, in.size());
}
BENCHMARK(BM_QuatToEuler)->Name("QuatToEuler")->DenseRange(0, 12);

void BM_RoundTrip(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const VLMRotationOrder order = VLMRotationOrder(state.range(0));
    const std::vector<VLMVector4>& in = Angles();
    std::vector<VLMVector4> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) {
            VLMVector4 q;
            VLMEulerToQuat(order, q, in[i]);
            VLMQuatToEuler(order, out[i], q);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    PerConversion(state, in.size());
}
BENCHMARK(BM_RoundTrip)->Name("RoundTrip")->DenseRange(0, 12);

}  // namespace

BENCHMARK_MAIN();

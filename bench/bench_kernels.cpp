// The library's kernels against the libm float functions they stand in for,
// on the same values. Counters: "per_element" is seconds per value (for
// sin/cos one value gives both results), "max_error" the largest error seen
// against double-precision libm over the whole data set (absolute for the
// angle functions and log2, relative for exp2 and pow). The four-lane kernels
// take four values per call; the lane-x kernels (atan2, exp2, log2, pow) one.
#include "rig/vlm_frame.h"
#include "rig/vlm_kernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kValues = 4096;

std::vector<float> Uniform(unsigned seed, float lo, float hi)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(lo, hi);
    std::vector<float> v(kValues);
    for (float& f : v)
        f = u(rng);
    return v;
}

std::vector<float> LogUniform(unsigned seed, float lo, float hi)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(std::log2(lo), std::log2(hi));
    std::vector<float> v(kValues);
    for (float& f : v)
        f = std::exp2(u(rng));
    return v;
}

const std::vector<float>& Angles()
{
    static const auto v = Uniform(1, -10.0f, 10.0f);
    return v;
}
const std::vector<float>& Sines()
{
    static const auto v = Uniform(2, -1.0f, 1.0f);
    return v;
}
const std::vector<float>& Ys()
{
    static const auto v = Uniform(3, -5.0f, 5.0f);
    return v;
}
const std::vector<float>& Xs()
{
    static const auto v = Uniform(4, -5.0f, 5.0f);
    return v;
}
const std::vector<float>& Exponents()
{
    static const auto v = Uniform(5, -20.0f, 20.0f);
    return v;
}
const std::vector<float>& Positives()
{
    static const auto v = LogUniform(6, 1e-4f, 1e4f);
    return v;
}
const std::vector<float>& Bases()
{
    static const auto v = LogUniform(7, 0.01f, 100.0f);
    return v;
}
const std::vector<float>& Powers()
{
    static const auto v = Uniform(8, -4.0f, 4.0f);
    return v;
}

const VLMVector4* AsVectors(const std::vector<float>& v) { return reinterpret_cast<const VLMVector4*>(v.data()); }

// The lane-x kernels take vectors the caller already holds: each value splatted.
std::vector<VLMVector4> Splatted(const std::vector<float>& v)
{
    std::vector<VLMVector4> out(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        out[i] = VLMVector4{v[i], v[i], v[i], v[i]};
    return out;
}

void Finish(benchmark::State& state, double maxError)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kValues));
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(kValues), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["max_error"] = maxError;
}

template <class Run>
void Loop(benchmark::State& state, std::vector<float>& out, Run run)
{
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

double AbsError(const std::vector<float>& got, const std::vector<float>& in, double (*exact)(double))
{
    double worst = 0.0;
    for (std::size_t i = 0; i < in.size(); ++i)
        worst = std::max(worst, std::fabs(got[i] - exact(in[i])));
    return worst;
}

// ---- sine and cosine: one value gives both

void BM_SinCos_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Angles();
    std::vector<float> s(kValues), c(kValues);
    Loop(state, s, [&] {
        const VLMVector4* a = AsVectors(in);
        for (std::size_t i = 0; i < kValues / 4; ++i)
            VLMFastSinCos(a[i], reinterpret_cast<VLMVector4*>(s.data())[i], reinterpret_cast<VLMVector4*>(c.data())[i]);
    });
    Finish(state, std::max(AbsError(s, in, std::sin), AbsError(c, in, std::cos)));
}
BENCHMARK(BM_SinCos_Kernel)->Name("sincos/VLMFastSinCos");

void BM_SinCos_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Angles();
    std::vector<float> s(kValues), c(kValues);
    Loop(state, s, [&] {
        for (std::size_t i = 0; i < kValues; ++i) {
            s[i] = sinf(in[i]);
            c[i] = cosf(in[i]);
        }
    });
    Finish(state, std::max(AbsError(s, in, std::sin), AbsError(c, in, std::cos)));
}
BENCHMARK(BM_SinCos_Libm)->Name("sincos/libm_sinf_cosf");

// ---- arc sine

void BM_Asin_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Sines();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        const VLMVector4* a = AsVectors(in);
        VLMVector4* r = reinterpret_cast<VLMVector4*>(out.data());
        for (std::size_t i = 0; i < kValues / 4; ++i)
            r[i] = VLMFastAsin(a[i]);
    });
    Finish(state, AbsError(out, in, std::asin));
}
BENCHMARK(BM_Asin_Kernel)->Name("asin/VLMFastAsin");

void BM_Asin_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Sines();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = asinf(in[i]);
    });
    Finish(state, AbsError(out, in, std::asin));
}
BENCHMARK(BM_Asin_Libm)->Name("asin/libm_asinf");

// ---- arc tangent of two arguments (lane x)

double Atan2Error(const std::vector<float>& out)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < kValues; ++i)
        worst =
            std::max(worst, std::fabs(out[i] - std::atan2(static_cast<double>(Ys()[i]), static_cast<double>(Xs()[i]))));
    return worst;
}

void BM_Atan2_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4> y = Splatted(Ys());
    const std::vector<VLMVector4> x = Splatted(Xs());
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = VLMVector4Atan2(y[i], x[i]).x;
    });
    Finish(state, Atan2Error(out));
}
BENCHMARK(BM_Atan2_Kernel)->Name("atan2/VLMVector4Atan2");

void BM_Atan2_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& y = Ys();
    const std::vector<float>& x = Xs();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = atan2f(y[i], x[i]);
    });
    Finish(state, Atan2Error(out));
}
BENCHMARK(BM_Atan2_Libm)->Name("atan2/libm_atan2f");

// ---- base-2 exponential (lane x)

double RelError(const std::vector<float>& got, const std::vector<double>& exact)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < got.size(); ++i)
        worst = std::max(worst, std::fabs(got[i] / exact[i] - 1.0));
    return worst;
}

std::vector<double> Exp2Exact()
{
    std::vector<double> e(kValues);
    for (std::size_t i = 0; i < kValues; ++i)
        e[i] = std::exp2(static_cast<double>(Exponents()[i]));
    return e;
}

void BM_Exp2_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4> in = Splatted(Exponents());
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = VLMExp2(in[i]).x;
    });
    Finish(state, RelError(out, Exp2Exact()));
}
BENCHMARK(BM_Exp2_Kernel)->Name("exp2/VLMExp2");

void BM_Exp2_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Exponents();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = exp2f(in[i]);
    });
    Finish(state, RelError(out, Exp2Exact()));
}
BENCHMARK(BM_Exp2_Libm)->Name("exp2/libm_exp2f");

// ---- base-2 logarithm (lane x)

void BM_Log2_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4> in = Splatted(Positives());
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = VLMLog2(in[i]).x;
    });
    Finish(state, AbsError(out, Positives(), std::log2));
}
BENCHMARK(BM_Log2_Kernel)->Name("log2/VLMLog2");

void BM_Log2_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& in = Positives();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = log2f(in[i]);
    });
    Finish(state, AbsError(out, in, std::log2));
}
BENCHMARK(BM_Log2_Libm)->Name("log2/libm_log2f");

// ---- power (lane x)

std::vector<double> PowExact()
{
    std::vector<double> e(kValues);
    for (std::size_t i = 0; i < kValues; ++i)
        e[i] = std::pow(static_cast<double>(Bases()[i]), static_cast<double>(Powers()[i]));
    return e;
}

void BM_Pow_Kernel(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<VLMVector4> x = Splatted(Bases());
    const std::vector<VLMVector4> y = Splatted(Powers());
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = VLMPow(x[i], y[i]).x;
    });
    Finish(state, RelError(out, PowExact()));
}
BENCHMARK(BM_Pow_Kernel)->Name("pow/VLMPow");

void BM_Pow_Libm(benchmark::State& state)
{
    VLMScopedFPGuard guard;
    const std::vector<float>& x = Bases();
    const std::vector<float>& y = Powers();
    std::vector<float> out(kValues);
    Loop(state, out, [&] {
        for (std::size_t i = 0; i < kValues; ++i)
            out[i] = powf(x[i], y[i]);
    });
    Finish(state, RelError(out, PowExact()));
}
BENCHMARK(BM_Pow_Libm)->Name("pow/libm_powf");

}  // namespace

BENCHMARK_MAIN();

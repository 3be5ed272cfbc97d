// Cost of the per-hop audio path: ring write and read, feature extraction (with
// the bare FFT of the same size beside it, for the ratio), a tempo update, and one
// whole analysis hop as the pump and the offline tool run it.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "audio/AudioAnalysis.h"
#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"
#include "audio/SampleRing.h"

namespace {

std::vector<float> noise(size_t n)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(rng);
    return v;
}

void SampleRing_writeMono_512_stereo(benchmark::State& state)
{
    SampleRing ring;
    const auto frames = noise(1024);
    for (auto _ : state)
        ring.writeMono(frames.data(), 512, 2);
}
BENCHMARK(SampleRing_writeMono_512_stereo);

void SampleRing_latest_1024(benchmark::State& state)
{
    SampleRing ring;
    const auto samples = noise(4096);
    ring.writeMono(samples.data(), 4096, 1);
    std::array<float, 1024> out{};
    for (auto _ : state) {
        ring.latest(1024, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(SampleRing_latest_1024);

void FeatureExtractor_step(benchmark::State& state)
{
    FeatureExtractor extractor;
    const auto window = noise(1024);
    for (auto _ : state)
        benchmark::DoNotOptimize(extractor.step(window.data()));
}
BENCHMARK(FeatureExtractor_step);

void Fftw_r2c_1024_execute(benchmark::State& state)
{
    float* in = fftwf_alloc_real(1024);
    fftwf_complex* out = fftwf_alloc_complex(513);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(1024, in, out, FFTW_ESTIMATE);
    const auto window = noise(1024);
    std::copy(window.begin(), window.end(), in);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(Fftw_r2c_1024_execute);

void BpmEstimator_update_full_history(benchmark::State& state)
{
    BpmEstimator estimator;
    for (int i = 0; i < BpmEstimator::kHistory; ++i)
        estimator.push(i % 15 == 0 ? 1.0f : 0.05f * float(i % 7));
    for (auto _ : state)
        benchmark::DoNotOptimize(estimator.update());
}
BENCHMARK(BpmEstimator_update_full_history);

// One hop of audio written, then analysed: window copy, features, flux push, and a
// tempo estimate every 61st hop.
void AudioAnalysis_hop(benchmark::State& state)
{
    SampleRing ring;
    AudioAnalysis analysis;
    const auto samples = noise(1600);
    std::int64_t k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ring.writeMono(samples.data(), 1600, 1);
        state.ResumeTiming();
        benchmark::DoNotOptimize(analysis.hop(ring, AudioAnalysis::hopEnd(++k, 48000)));
    }
}
BENCHMARK(AudioAnalysis_hop);

}  // namespace

BENCHMARK_MAIN();

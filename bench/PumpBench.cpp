// Cost of one processed pump tick with a visible wallpaper on awake screens, one hop
// of audio captured per tick: ring copy, features, signal tracking, the feed call
// into a page that does nothing and the tempo push; every 2 s of audio also the
// tempo update and the status write, as in the app. Run with
// --benchmark_repetitions for a median.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "NullWallpaperHost.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/CapturePump.h"

namespace {

// Music-like: a bass line, a melody and some noise.
std::vector<float> music(int count)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    std::vector<float> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = i / 48000.0;
        out[size_t(i)] = float(0.4 * std::sin(2 * M_PI * 55 * t) + 0.2 * std::sin(2 * M_PI * 660 * t)) + noise(rng);
    }
    return out;
}

void Pump_processedFeedTick(benchmark::State& bench)
{
    TestPlatform tp;
    Platform platform = tp.take();
    platform.wallpaperHost = std::make_unique<NullWallpaperHost>();
    AppState state(std::move(platform));
    state.setWallpaper(tp.screens->screens.first(), false);
    tp.queue->runPending();
    const std::vector<float> hop = music(48000 / 30);
    // Per-tick wall times as well: the mean includes the status write every 60th
    // tick, the median is the typical tick.
    std::vector<double> micros;
    micros.reserve(size_t(1) << 22);
    for (auto _ : bench) {
        tp.capture->write(hop);  // the capture thread's part, not timed
        tp.clock->advance(CapturePump::kPumpInterval);
        const auto start = std::chrono::steady_clock::now();
        state.pump();
        const auto end = std::chrono::steady_clock::now();
        if (micros.size() < micros.capacity())
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    if (!micros.empty()) {
        std::sort(micros.begin(), micros.end());
        bench.counters["median_us"] = micros[micros.size() / 2];
        bench.counters["p99_us"] = micros[micros.size() * 99 / 100];
        bench.counters["max_us"] = micros.back();
    }
    if (state.tickCount() != std::int64_t(bench.iterations()) || !state.capturing())
        bench.SkipWithError("the pump did not run every tick");
}
BENCHMARK(Pump_processedFeedTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    // The status file goes to a private folder, not the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Capture latency through the real path: a low-latency playback stream keeps the
// default (null) sink busy with silence; at a random moment it writes a 40 ms noise
// burst, and this times how long until a pump tick of the real AppState (visible
// wallpaper: 30 ticks a second) sees a level above the signal threshold. Prints the
// median, best and worst of 20 bursts, and the pump's tick rate on the Qt queue.
// Needs a PulseAudio server with a default sink (tests/run-headless.sh's
// environment, or a desktop session).
#include <pulse/simple.h>
#include <pulse/timeval.h>

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "LiveAppState.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/AudioTap.h"
#include "app/CapturePump.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kTries = 20;
constexpr int kRate = 48000;
constexpr int kChunkFrames = kRate / 200;  // 5 ms
// 40 ms: longer than the 12 ms between two pump windows (1024 samples every 33 ms),
// so that some window holds it whatever the phase.
constexpr int kBurstChunks = 8;

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count();
}

// Plays silence continuously with 10 ms of target latency; burst() makes the next
// chunks a noise burst and records when it was handed to the server.
class BurstPlayer {
public:
    BurstPlayer()
    {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kRate, 1};
        pa_buffer_attr attributes;
        attributes.maxlength = attributes.prebuf = attributes.minreq = attributes.fragsize = uint32_t(-1);
        attributes.tlength = uint32_t(pa_usec_to_bytes(10 * PA_USEC_PER_MSEC, &format));
        int error = 0;
        m_stream = pa_simple_new(nullptr, "vesmer-latency", PA_STREAM_PLAYBACK, nullptr, "bursts", &format, nullptr,
            &attributes, &error);
        if (m_stream)
            m_thread = std::thread([this] { run(); });
    }
    ~BurstPlayer()
    {
        m_stop = true;
        if (m_stream) {
            m_thread.join();
            pa_simple_free(m_stream);
        }
    }
    bool ok() const { return m_stream != nullptr; }
    void burst()
    {
        m_burstWrittenNs = 0;
        m_burstRequested = true;
    }
    // When the last burst's first chunk was accepted, or 0 while one is pending.
    std::int64_t burstWrittenNs() const { return m_burstWrittenNs; }

private:
    void run()
    {
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
        std::vector<float> chunk(kChunkFrames);
        int burstChunksLeft = 0;
        while (!m_stop) {
            if (m_burstRequested.exchange(false))
                burstChunksLeft = kBurstChunks;
            const bool inBurst = burstChunksLeft > 0;
            for (float& sample : chunk)
                sample = inBurst ? noise(rng) : 0.0f;
            int error = 0;
            if (pa_simple_write(m_stream, chunk.data(), chunk.size() * sizeof(float), &error) < 0)
                return;
            if (inBurst && burstChunksLeft-- == kBurstChunks)
                m_burstWrittenNs = nowNs();
        }
    }

    pa_simple* m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_burstRequested{false};
    std::atomic<std::int64_t> m_burstWrittenNs{0};
};

int fail(const char* what)
{
    std::fprintf(stderr, "bench_CaptureLatency: %s\n", what);
    return 1;
}

int measure()
{
    TestPlatform tp;
    const auto live = makeLiveAppState(tp);
    AppState& state = *live;
    state.setWallpaper(tp.screens->screens.first(), false);
    if (!QTest::qWaitFor([&] { return state.capturing(); }, 6000))
        return fail(qPrintable(QStringLiteral("capture did not start: ") + state.captureError()));

    BurstPlayer player;
    if (!player.ok())
        return fail("no playback stream");
    // The null sink's warm-up: once the first chunks arrive, they arrive steadily.
    if (!QTest::qWaitFor([&] { return state.tap().ring().written() >= kRate / 10; }, 5000))
        return fail("no audio arrives");

    // The pump runs on this thread: polling every millisecond sees a tick's level
    // within about a millisecond of the tick.
    std::int64_t seenNs = 0;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!seenNs && state.rawLevel() > CapturePump::kSignalThreshold)
            seenNs = nowNs();
    });
    poll.start(1);

    const std::int64_t ticksBefore = state.tickCount();
    const std::int64_t startNs = nowNs();
    std::vector<double> latenciesMs;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (!QTest::qWaitFor([&] { return state.rawLevel() <= CapturePump::kSignalThreshold; }, 5000))
            return fail("the level does not fall back");
        // A random phase against the pump's 33 ms tick.
        QTest::qWait(200 + int(QRandomGenerator::global()->bounded(500)));
        seenNs = 0;
        player.burst();
        if (!QTest::qWaitFor([&] { return seenNs != 0 && player.burstWrittenNs() != 0; }, 3000))
            return fail("a burst was not seen");
        latenciesMs.push_back(double(seenNs - player.burstWrittenNs()) / 1e6);
    }
    const double seconds = double(nowNs() - startNs) / 1e9;

    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double median = (latenciesMs[kTries / 2 - 1] + latenciesMs[kTries / 2]) / 2.0;
    std::printf("capture latency over %d bursts: median %.1f ms, best %.1f ms, worst %.1f ms\n", kTries, median,
        latenciesMs.front(), latenciesMs.back());
    std::printf("pump ticks: %.2f per second over %.1f s; hops analysed %lld, skipped %lld\n",
        double(state.tickCount() - ticksBefore) / seconds, seconds,
        static_cast<long long>(state.capturePump().hopsAnalysed()),
        static_cast<long long>(state.capturePump().hopsSkipped()));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The status file goes to a private folder, not the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QCoreApplication app(argc, argv);
    return measure();
}

// Measures capture latency through the real path: a low-latency playback stream
// keeps the default (null) sink busy with silence; at a random moment it writes a
// 40 ms noise burst, and the test times how long until a pump tick of the real
// AppState (visible wallpaper: 30 ticks a second) sees a level above the signal
// threshold. Prints the median and worst of 20 tries; it asserts only that every
// burst was seen, since timing goals are not checked by tests.
#include <pulse/simple.h>
#include <pulse/timeval.h>

#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

#include "LiveAppState.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/AudioTap.h"

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

TEST(CaptureLatency, BurstIntoTheNullSinkReachesAPumpWindow)
{
    TestPlatform tp;
    const auto live = makeLiveAppState(tp);
    AppState& state = *live;
    state.setWallpaper(tp.screens->screens.first(), false);
    ASSERT_TRUE(state.capturing()) << state.captureError().toStdString();

    BurstPlayer player;
    ASSERT_TRUE(player.ok());
    // The null sink's warm-up: once the first chunks arrive, they arrive steadily.
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.tap().ring().written() >= kRate / 10; }, 5000));

    // The pump runs on this thread: polling every millisecond sees a tick's level
    // within about a millisecond of the tick.
    std::int64_t seenNs = 0;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!seenNs && state.rawLevel() > AppState::kSignalThreshold)
            seenNs = nowNs();
    });
    poll.start(1);

    std::vector<double> latenciesMs;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return state.rawLevel() <= AppState::kSignalThreshold; }, 5000));
        // A random phase against the pump's 33 ms tick.
        const int pauseMs = 200 + int(QRandomGenerator::global()->bounded(500));
        QTest::qWait(pauseMs);
        seenNs = 0;
        player.burst();
        ASSERT_TRUE(QTest::qWaitFor([&] { return seenNs != 0 && player.burstWrittenNs() != 0; }, 3000))
            << "burst " << attempt << " not seen; log: " << tp.log->lines.join(QLatin1Char('\n')).toStdString();
        latenciesMs.push_back(double(seenNs - player.burstWrittenNs()) / 1e6);
    }

    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double median = (latenciesMs[kTries / 2 - 1] + latenciesMs[kTries / 2]) / 2.0;
    std::printf("capture latency over %d bursts: median %.1f ms, best %.1f ms, worst %.1f ms\n", kTries, median,
        latenciesMs.front(), latenciesMs.back());
    RecordProperty("median_ms", std::to_string(median));
    RecordProperty("worst_ms", std::to_string(latenciesMs.back()));
}

}  // namespace

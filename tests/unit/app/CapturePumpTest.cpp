#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "PulsePlayer.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/CapturePump.h"
#include "wallpaper/PageCalls.h"

namespace {

constexpr int kSamplesPerTick = 1600;  // 48 kHz / 30: one hop
constexpr double kTick = CapturePump::kPumpInterval;
const QString kFailure = QStringLiteral("pa_context_connect failed (-6)");
const QString kSignalLine = QStringLiteral("[vesmer] SIGNAL \u2014 system audio flowing (level ");
const QString kSilentLine = QStringLiteral("[vesmer] silent 20s after signal \u2014 rebuilding the tap");
// 120 BPM: a 60 Hz kick of 100 ms every 0.5 s.
const std::vector<float> kKicks = PulsePlayer::tone(60.0, 0.8f, 27.0, 0.5, 0.1);

std::vector<float> tone(float amplitude, int ticks = 1)
{
    return PulsePlayer::tone(100.0, amplitude, ticks * kTick);
}

class CapturePumpTest : public ::testing::Test {
protected:
    void tick(int count = 1) { tp.queue->advance(kTick, count); }
    void loud() { tp.capture->write(tone(0.5f)); }
    void silence() { tp.capture->write(tone(0.0f)); }
    void writeKicks(int from, int count) { tp.capture->write({kKicks.begin() + from, kKicks.begin() + from + count}); }
    FakePage& showWallpaper()
    {
        state->setWallpaper(tp.screens->screens.first(), false);
        tp.queue->runPending();
        return tp.host->last()->fakePage;
    }

    TestPlatform tp;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(tp.take());
};

TEST_F(CapturePumpTest, StartsOnceAsynchronouslyInstallsOneListenerAndStopsCleanly)
{
    const auto backend = [&] { return std::tuple(tp.capture->starts, tp.capture->stops, tp.capture->watchers); };
    tp.capture->rate = 44100.0;
    tp.capture->holdStarts = true;
    state->startCapture();
    state->startCapture();  // pending: no second start
    tick(30);
    EXPECT_FALSE(state->capturing()) << "published only when the start answers";
    EXPECT_EQ(state->tickCount(), 0) << "no pump while the start is pending";
    EXPECT_TRUE(tp.log->lines.isEmpty());
    ASSERT_TRUE(tp.capture->answerStart());
    EXPECT_TRUE(state->capturing());
    state->startCapture();  // already running: nothing at all
    EXPECT_EQ(tp.log->lines, QStringList{QStringLiteral("[vesmer] tap started (sampleRate 44100)")});
    EXPECT_EQ(backend(), std::tuple(1, 0, 1));

    tp.capture->holdStarts = false;
    tp.clock->advance(5.0);
    tp.capture->changeDefaultOutput();
    tp.queue->runPending();
    EXPECT_TRUE(state->capturing());
    EXPECT_EQ(backend(), std::tuple(2, 1, 1)) << "a rebuild must not install a second listener";
    EXPECT_EQ(tp.queue->pendingCount(), 1) << "one pump timer after the rebuild";

    // Stopped, or while a start is pending: no timer, and nothing published.
    state->stopCapture();
    EXPECT_FALSE(tp.capture->running);
    EXPECT_EQ(tp.queue->pendingCount(), 0);
    tp.capture->holdStarts = true;
    QSignalSpy capturing(state.get(), &AppState::capturingChanged);
    state->startCapture();
    state->stopCapture();
    EXPECT_FALSE(tp.capture->answerStart()) << "the backend was told to drop it";
    tick(30);
    EXPECT_FALSE(state->capturing());
    EXPECT_EQ(capturing.count(), 0);
    EXPECT_EQ(tp.queue->pendingCount(), 0);
}

TEST_F(CapturePumpTest, FailedStartIsReportedAndLeavesNothingRunning)
{
    tp.capture->failWith = kFailure;
    state->startCapture();
    EXPECT_TRUE(state->captureError().isNull()) << "not before the start answers";
    tick(30);
    EXPECT_FALSE(state->capturing());
    EXPECT_EQ(state->captureError(), kFailure);
    EXPECT_EQ(tp.capture->watchers, 0) << "the listener comes with the first successful start";
    EXPECT_EQ(state->tickCount(), 0) << "nothing retries by itself";

    tp.capture->failWith.clear();
    state->startCapture();
    tp.queue->runPending();
    ASSERT_TRUE(state->capturing());

    // Regression: the capture thread kept writing into the tap's freed ring.
    bool stopped = false;
    tp.capture->onStop = [&stopped] { stopped = true; };
    state.reset();
    EXPECT_TRUE(stopped) << "destroying the state stops capture before its ring goes";
}

TEST_F(CapturePumpTest, FeedsEveryTickOnlyWhileAVisibleWallpaperIsAwake)
{
    for (const auto& [wallpaper, hidden, asleep] :
         {std::tuple{false, false, false}, {true, false, false}, {true, false, true}, {true, true, false}}) {
        SCOPED_TRACE(testing::Message() << "wallpaper " << wallpaper << ", hidden " << hidden << ", asleep " << asleep);
        TestPlatform platform;  // each row starts afresh
        state = std::make_unique<AppState>(platform.take());
        if (wallpaper)
            state->setWallpaper(platform.screens->screens.first(), false);
        else
            state->startCapture();
        if (hidden)
            platform.host->last()->setVisibleOnScreen(false);
        if (asleep)
            platform.events->sleep();
        platform.queue->runPending();
        platform.capture->write(tone(0.5f, 3));
        const bool feeding = wallpaper && !hidden && !asleep;
        for (int t = 1; t <= 3; ++t) {  // unfed, only every third tick is processed
            platform.queue->advance(kTick);
            EXPECT_EQ(state->rawLevel() > CapturePump::kSignalThreshold, feeding || t == 3) << "tick " << t;
        }
        platform.queue->advance(kTick, 27);
        EXPECT_EQ(state->tickCount(), 30) << "every tick counts";
        EXPECT_EQ(wallpaper ? platform.host->last()->fakePage.countOf(PageCalls::feedBody()) : 0, feeding ? 30 : 0);
        state.reset();
    }
}

TEST_F(CapturePumpTest, SignalIsLoggedOncePerProcessAndPanelValuesChangeOnlyWhileItIsVisible)
{
    state->startCapture();
    const double startedAt = tp.clock->now();
    tp.capture->write(tone(1e-3f));  // faint, but not silent
    tick(3);
    EXPECT_GT(state->rawLevel(), 0.0f);
    EXPECT_LE(state->rawLevel(), CapturePump::kSignalThreshold);
    EXPECT_EQ(std::pair(state->everSawSignal(), state->lastSignalAt()), std::pair(false, startedAt));

    loud();
    tick(3);
    EXPECT_EQ(std::pair(state->everSawSignal(), state->lastSignalAt()), std::pair(true, tp.clock->now()));
    EXPECT_EQ(tp.log->lines.last(), kSignalLine + QString::asprintf("%.3f)", double(state->rawLevel())));
    EXPECT_EQ(state->level(), 0.0f) << "hidden panel: left unchanged";
    tp.capture->changeDefaultOutput();  // a rebuild does not reset it
    loud();
    tick(9);
    EXPECT_EQ(tp.log->countStartingWith(kSignalLine), 1);

    state->setPanelVisible(true);
    loud();
    tick(3);
    const float shown = state->level();
    EXPECT_EQ(std::pair(shown, state->silentForSeconds()), std::pair(state->rawLevel(), 0.0));

    state->setPanelVisible(false);
    silence();
    tick(90);
    EXPECT_EQ(std::pair(state->level(), state->silentForSeconds()), std::pair(shown, 0.0));

    state->setPanelVisible(true);
    tick(3);
    EXPECT_LT(state->level(), shown);
    EXPECT_GT(state->silentForSeconds(), 0.0);
    EXPECT_DOUBLE_EQ(state->silentForSeconds(), tp.clock->now() - state->lastSignalAt());
    state->stopCapture();
    EXPECT_EQ(state->level(), 0.0f);
}

TEST_F(CapturePumpTest, SilenceAfterSignalRebuildsAfterTwentySecondsThenEveryThirty)
{
    const double slowTick = CapturePump::kSlowDivisor * kTick;
    state->startCapture();
    silence();
    tick(30 * 90);
    EXPECT_EQ(tp.capture->starts, 1) << "silence before any signal never rebuilds";
    loud();
    tick(3);
    silence();

    // Ticks until the capture has been started `starts` times; returns the time
    // of the last signal before that rebuild.
    auto runUntilStarts = [&](int starts) {
        double lastSignal = state->lastSignalAt();
        for (int i = 0; i < 60 * 30 && tp.capture->starts < starts; ++i, tick())
            lastSignal = state->lastSignalAt();
        return lastSignal;
    };
    const double lastSignal = runUntilStarts(2);
    ASSERT_EQ(tp.capture->starts, 2);
    EXPECT_EQ(tp.log->count(kSilentLine), 1);
    const double firstRebuild = state->lastCaptureRestart();
    EXPECT_GT(firstRebuild - lastSignal, CapturePump::kSilenceLimit);
    EXPECT_LE(firstRebuild - lastSignal, CapturePump::kSilenceLimit + slowTick + 1e-6) << "the first slow tick past the limit";

    // The start reset the silence count; the spacing since the last rebuild holds the next one back.
    runUntilStarts(3);
    ASSERT_EQ(tp.capture->starts, 3);
    const double secondRebuild = state->lastCaptureRestart();
    EXPECT_GT(secondRebuild - firstRebuild, CapturePump::kRebuildSpacing);
    EXPECT_LE(secondRebuild - firstRebuild, CapturePump::kRebuildSpacing + slowTick + 1e-6);

    // A failed rebuild leaves capture stopped; nothing retries.
    tp.capture->failWith = kFailure;
    runUntilStarts(4);
    tick(30 * 60);
    EXPECT_FALSE(state->capturing());
    EXPECT_EQ(state->captureError(), kFailure);
    EXPECT_EQ(tp.log->count(kSilentLine), 3);
}

TEST_F(CapturePumpTest, TempoIsAskedForAtMostEveryTwoSecondsAndSentWhenItChanges)
{
    FakePage& page = showWallpaper();
    std::vector<double> changedAt;
    QObject::connect(state.get(), &AppState::bpmChanged, [&] { changedAt.push_back(tp.clock->now()); });
    for (int t = 0; t < 30 * 25; ++t, tick())
        writeKicks(t * kSamplesPerTick, kSamplesPerTick);
    ASSERT_FALSE(changedAt.empty());
    EXPECT_NEAR(state->bpm(), 120.0, 2.0);
    for (size_t i = 1; i < changedAt.size(); ++i)
        EXPECT_GT(changedAt[i] - changedAt[i - 1], 2.0);
    const QStringList sent = page.evaluated().filter(QRegularExpression(QStringLiteral("^window\\.vesmerSetBPM")));
    ASSERT_EQ(sent.size(), qsizetype(changedAt.size())) << "sent exactly when it changed";
    EXPECT_EQ(sent.last(), PageCalls::setBPM(state->bpm()));
}

// The main thread is late and irregular (ticks 5 to 280 ms apart, the capture
// delivering 10 ms chunks meanwhile): the tempo still gets one value per 1/30 s of
// audio, and the page one feed per tick. A tick later than the ring holds skips
// and counts the lost hops.
TEST_F(CapturePumpTest, LateIrregularTicksStillGiveTheTempoThirtyValuesPerSecondOfAudio)
{
    FakePage& page = showWallpaper();
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> lateness(5, 280);
    int written = 0, ticks = 0;
    auto tickAfter = [&](int ms) {  // the capture runs on meanwhile
        for (const int until = written + ms * 48; written + 480 <= until; written += 480)
            writeKicks(written, 480);
        tp.clock->advance(ms / 1000.0);
        state->pump();  // the timer, late
        ++ticks;
    };
    while (written < 25 * 48000)
        tickAfter(lateness(rng));
    EXPECT_EQ(state->capturePump().hopsAnalysed(), written / kSamplesPerTick);
    EXPECT_EQ(state->capturePump().hopsSkipped(), 0);
    EXPECT_EQ(page.countOf(PageCalls::feedBody()), ticks);
    EXPECT_NEAR(state->bpm(), 120.0, 0.5);

    // One second without a tick: only the last 341 ms are still in the ring.
    const std::int64_t before = state->capturePump().hopsAnalysed();
    tickAfter(1000);
    const std::int64_t analysed = state->capturePump().hopsAnalysed() - before;
    EXPECT_EQ(analysed + state->capturePump().hopsSkipped(), 30);
    EXPECT_GE(analysed, 9);
    EXPECT_LE(analysed, 10);
}

// Repeating work keeps to its deadlines while other work holds the main thread for
// up to 30 ms at a time: 300 ticks span 10 s, and no tick is made up in a burst.
// The tick intervals are written at shutdown when asked for.
TEST_F(CapturePumpTest, TicksKeepToTheirDeadlinesUnderLoadAndTheirIntervalsCanBeWritten)
{
    const QString statsFile = tp.dir() + QStringLiteral("/ticks.txt");
    state->collectTickStats(statsFile);
    state->setWallpaper(tp.screens->screens.first(), false);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> gap(0.0, 0.06), busy(0.005, 0.03);
    std::function<void()> load = [&] {
        tp.clock->advance(busy(rng));
        tp.queue->after(gap(rng), load);
    };
    tp.queue->after(0.01, load);
    std::vector<double> tickTimes;
    while (tickTimes.size() < 301) {
        tp.queue->advance(0.0002);
        if (state->tickCount() > std::int64_t(tickTimes.size()))
            tickTimes.push_back(tp.clock->now());
    }
    EXPECT_NEAR(tickTimes[300] - tickTimes[0], 10.0, kTick);
    for (size_t i = 1; i < tickTimes.size(); ++i)
        ASSERT_GT(tickTimes[i] - tickTimes[i - 1], 0.003) << "tick " << i;

    // A stall of 1.5 s: the next tick comes at the first deadline after it.
    tp.queue->after(0.0, [&] { tp.clock->advance(1.5); });
    tp.queue->advance(1.6);
    state->shutdown();
    QFile file(statsFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.value(lines.size() - 1), QStringLiteral("1000 1"));
    int count = 0, previous = -1;
    for (const QString& line : lines) {  // "<interval ms> <ticks>", ascending
        const QStringList parts = line.split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        EXPECT_GT(parts[0].toInt(), std::exchange(previous, parts[0].toInt()));
        count += parts[1].toInt();
    }
    EXPECT_EQ(count, state->tickCount());
}

}  // namespace

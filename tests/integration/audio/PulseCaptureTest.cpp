// The real capture path against the PulseAudio daemon of tests/run-headless.sh
// (null sink "sinkA" as default): a played signal reaches the pump, and a new
// default sink is followed.
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

#include "LiveAppState.h"
#include "PulsePlayer.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/AudioTap.h"

namespace {

const QString kSignalLine = QStringLiteral("[vesmer] SIGNAL \u2014 system audio flowing (level ");
const QString kDeviceLine = QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap");
// An idle null sink may take about 2 s to deliver its first chunk.
constexpr int kSignalWaitMs = 8000;

class PulseCaptureTest : public ::testing::Test {
protected:
    PulseCaptureTest() : state(makeLiveAppState(tp)) {}

    float peakOfNewestWindow()
    {
        std::array<float, AppState::kWindowSize> window{};
        if (!state->tap().ring().latest(int(window.size()), window.data(), window.size()))
            return -1.0f;
        float peak = 0.0f;
        for (float sample : window)
            peak = std::max(peak, std::abs(sample));
        return peak;
    }

    TestPlatform tp;  // its clock, queue and capture pointers are not used here
    std::unique_ptr<AppState> state;
};

TEST_F(PulseCaptureTest, PlayedSignalReachesThePumpOnTheDefaultSinkAsItChanges)
{
    state->startCapture();
    ASSERT_TRUE(state->capturing()) << state->captureError().toStdString();
    EXPECT_EQ(tp.log->lines.value(0), QStringLiteral("[vesmer] tap started (sampleRate 48000)"));

    QSignalSpy firstSignal(state.get(), &AppState::everSawSignalChanged);
    PulsePlayer player;
    ASSERT_TRUE(player.play(PulsePlayer::tone(100.0, 0.5f, 6.0)));
    ASSERT_TRUE(firstSignal.wait(kSignalWaitMs));
    EXPECT_GT(state->rawLevel(), AppState::kSignalThreshold);
    // Mono float32 at the sink's rate: the tone arrives unchanged.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(peakOfNewestWindow() - 0.5f) < 0.01f; }, 2000))
        << "peak " << peakOfNewestWindow();
    player.stop();

    ASSERT_TRUE(QTest::qWaitFor([&] { return state->rawLevel() <= AppState::kSignalThreshold; }, kSignalWaitMs));
    // A click train: 60 Hz bursts of 50 ms, twice a second.
    ASSERT_TRUE(player.play(PulsePlayer::tone(60.0, 0.8f, 4.0, 0.5, 0.05)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->rawLevel() > AppState::kSignalThreshold; }, kSignalWaitMs));
    EXPECT_EQ(tp.log->countStartingWith(kSignalLine), 1);
    EXPECT_TRUE(state->captureError().isNull());
    player.stop();

    // A new default sink: the tap is rebuilt on it.
    QString module;
    ASSERT_TRUE(PulsePlayer::pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                       QStringLiteral("sink_name=sinkB"), QStringLiteral("rate=48000")},
        &module));
    ASSERT_TRUE(PulsePlayer::pactl({QStringLiteral("set-default-sink"), QStringLiteral("sinkB")}));

    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 1; }, 5000));
    EXPECT_TRUE(state->capturing());
    EXPECT_EQ(tp.log->countStartingWith(QStringLiteral("[vesmer] tap started")), 2);

    // Only sinkB plays: a signal proves that the rebuilt tap listens there.
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->rawLevel() <= AppState::kSignalThreshold; }, kSignalWaitMs));
    PulsePlayer onB(QStringLiteral("sinkB"));
    ASSERT_TRUE(onB.play(PulsePlayer::tone(100.0, 0.5f, 6.0)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->rawLevel() > AppState::kSignalThreshold; }, kSignalWaitMs));
    onB.stop();

    PulsePlayer::pactl({QStringLiteral("set-default-sink"), QStringLiteral("sinkA")});
    PulsePlayer::pactl({QStringLiteral("unload-module"), module});
    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 2; }, 5000));
    EXPECT_TRUE(state->capturing());
}

}  // namespace

// The real capture path against the PulseAudio daemon of tests/run-headless.sh
// (null sink "sinkA" as default): a played signal reaches the pump unchanged, and a
// new default sink is followed. The live tempo is the end-to-end suite's.
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
#include "app/CapturePump.h"

namespace {

// An idle null sink may take about 2 s to deliver its first chunk.
constexpr int kSignalWaitMs = 8000;

TEST(PulseCapture, PlayedSignalReachesThePumpOnTheDefaultSinkAsItChanges)
{
    TestPlatform tp;  // its clock, queue and capture pointers are not used here
    const std::unique_ptr<AppState> state = makeLiveAppState(tp);
    const auto peakOfNewestWindow = [&] {
        std::array<float, analysis::kWindow> window{};
        if (!state->tap().ring().latest(int(window.size()), window.data(), window.size()))
            return -1.0f;
        return std::abs(*std::max_element(window.begin(), window.end(), [](float a, float b) { return std::abs(a) < std::abs(b); }));
    };
    const auto heard = [&] { return state->rawLevel() > CapturePump::kSignalThreshold; };
    state->startCapture();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 5000)) << state->captureError().toStdString();
    EXPECT_EQ(tp.log->lines.value(0), QStringLiteral("[vesmer] tap started (sampleRate 48000)"));

    QSignalSpy firstSignal(state.get(), &AppState::everSawSignalChanged);
    PulsePlayer player;
    ASSERT_TRUE(player.play(PulsePlayer::tone(100.0, 0.5f, 6.0)));
    ASSERT_TRUE(firstSignal.wait(kSignalWaitMs));
    EXPECT_TRUE(heard());
    // Mono float32 at the sink's rate: the tone arrives unchanged.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(peakOfNewestWindow() - 0.5f) < 0.01f; }, 2000))
        << "peak " << peakOfNewestWindow();
    player.stop();
    EXPECT_EQ(tp.log->countStartingWith(QStringLiteral("[vesmer] SIGNAL \u2014 system audio flowing (level ")), 1);

    // A new default sink: the tap is rebuilt on it, and only sinkB plays.
    const QString deviceLine = QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap");
    QString module;
    ASSERT_TRUE(PulsePlayer::pactl({"load-module", "module-null-sink", "sink_name=sinkB", "rate=48000"}, &module));
    ASSERT_TRUE(PulsePlayer::pactl({"set-default-sink", "sinkB"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(deviceLine) == 1; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 5000));
    EXPECT_EQ(tp.log->countStartingWith(QStringLiteral("[vesmer] tap started")), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !heard(); }, kSignalWaitMs));
    PulsePlayer onB(QStringLiteral("sinkB"));
    ASSERT_TRUE(onB.play(PulsePlayer::tone(100.0, 0.5f, 6.0)));
    EXPECT_TRUE(QTest::qWaitFor(heard, kSignalWaitMs));
    EXPECT_TRUE(state->captureError().isNull());
    onB.stop();

    PulsePlayer::pactl({"set-default-sink", "sinkA"});
    PulsePlayer::pactl({"unload-module", module});
    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(deviceLine) == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 5000));
}

}  // namespace

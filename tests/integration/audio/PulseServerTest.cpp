// The real capture path: a played signal reaches the pump unchanged and a new default
// sink is followed; the sound server may be missing, mute or restarted. Each test
// talks to a private socket of its own (PULSE_SERVER), with a private PulseAudio
// daemon the test can stop and start, so the shared daemon of the test run is
// never touched. The live tempo is the end-to-end suite's.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "LiveAppState.h"
#include "PulsePlayer.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/AudioTap.h"
#include "app/CapturePump.h"

namespace {

// A socket that listens and never accepts: the kernel takes connections into its
// backlog, and nothing ever answers.
struct MuteSocket {
    explicit MuteSocket(const QString& path) : fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, path.toUtf8().constData(), sizeof(address.sun_path) - 1);
        listening = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                    ::listen(fd, 8) == 0;
    }
    ~MuteSocket() { ::close(fd); }
    const int fd;
    bool listening = false;
};

// Open descriptors and threads of this process: what a leaking start would leave.
std::pair<qsizetype, qsizetype> held()
{
    return {QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(),
            QDir(QStringLiteral("/proc/self/task")).entryList(QDir::NoDotAndDotDot | QDir::Dirs).size()};
}

const QString kDeviceLine = QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap");
constexpr int kSignalWaitMs = 8000;

class PulseServerTest : public ::testing::Test {
protected:
    PulseServerTest()
    {
        qputenv("PULSE_SERVER", QByteArray("unix:") + socketPath().toUtf8());
        state = makeLiveAppState(tp);
    }
    ~PulseServerTest() override
    {
        state.reset();
        stopServer();
        qunsetenv("PULSE_SERVER");
    }

    QString socketPath() const { return m_dir.filePath(QStringLiteral("native")); }

    // A daemon of our own on socketPath(), with one null sink "privA" (the default).
    bool startServer()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        environment.remove(QStringLiteral("PULSE_SERVER"));
        // Off the session bus, where the shared daemon already holds the server name.
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_server.setProcessEnvironment(environment);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start("pulseaudio", {"--daemonize=no", "--exit-idle-time=-1", "--disallow-exit=yes", "--use-pid-file=no",
                                      "-n", "--log-level=error",
                                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath(),
                                      "--load=module-null-sink sink_name=privA rate=48000"});
        if (!m_server.waitForStarted(5000))
            return false;
        return QTest::qWaitFor([&] { return PulsePlayer::pactl({QStringLiteral("get-default-sink")}); }, 10000);
    }
    void stopServer()
    {
        m_server.terminate();
        if (m_server.state() != QProcess::NotRunning && !m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(2000);
    }
    // Starts capture and waits for the start's outcome.
    bool startAndWait()
    {
        state->startCapture();
        return QTest::qWaitFor([&] { return !state->capturePump().starting(); }, 8000);
    }
    // The loudest sample of the newest analysis window; -1 while there is none.
    float newestPeak()
    {
        std::array<float, analysis::kWindow> window{};
        if (!state->tap().ring().latest(int(window.size()), window.data(), window.size()))
            return -1.0f;
        const auto [lowest, highest] = std::minmax_element(window.begin(), window.end());
        return std::max(-*lowest, *highest);
    }
    // Waits for quiet, then starts a tone into the player's sink and waits until a
    // pump tick hears it.
    bool toneIsHeard(PulsePlayer& player)
    {
        const auto heard = [&] { return state->rawLevel() > CapturePump::kSignalThreshold; };
        return QTest::qWaitFor([&] { return !heard(); }, kSignalWaitMs) &&
               player.play(PulsePlayer::tone(100.0, 0.5f, 6.0)) && QTest::qWaitFor(heard, kSignalWaitMs);
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    TestPlatform tp;  // its clock, queue and capture pointers are not used here
    std::unique_ptr<AppState> state;
};

TEST_F(PulseServerTest, ServerThatNeverAnswersIsGivenUpAfterFiveSecondsWhileTheMainThreadRuns)
{
    MuteSocket mute(socketPath());
    ASSERT_TRUE(mute.listening);
    const auto before = held();
    int turns = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&turns] { ++turns; });
    beat.start(10);

    // A stop while the start waits cancels it at once, leaving nothing behind.
    QElapsedTimer elapsed;
    elapsed.start();
    state->startCapture();
    QTest::qWait(300);
    state->stopCapture();
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(held(), before);
    QTest::qWait(100);
    EXPECT_TRUE(tp.log->lines.isEmpty()) << "the cancelled start reports nothing";
    EXPECT_TRUE(state->captureError().isNull());

    elapsed.restart();
    turns = 0;
    state->startCapture();
    EXPECT_LT(elapsed.elapsed(), 100) << "start does not wait for the server";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !state->capturePump().starting(); }, 8000));
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(ms, 4900);
    EXPECT_LT(ms, 6500);
    EXPECT_GT(turns, ms / 10 / 2) << "the main thread kept running meanwhile";
    EXPECT_FALSE(state->capturing());
    EXPECT_EQ(state->captureError(), QStringLiteral("pa_context_connect failed (-8)"));
    EXPECT_EQ(held(), before) << "the given-up start leaves no loop thread or socket";
}

TEST_F(PulseServerTest, CaptureHearsTheDefaultSinkAsItChangesAndRecoversFromAServerRestart)
{
    ASSERT_TRUE(startServer());
    ASSERT_TRUE(startAndWait());
    ASSERT_TRUE(state->capturing()) << state->captureError().toStdString();
    EXPECT_EQ(tp.log->lines.value(0), QStringLiteral("[vesmer] tap started (sampleRate 48000)"));
    PulsePlayer player;
    ASSERT_TRUE(toneIsHeard(player));
    // Mono float32 at the sink's rate: the tone arrives unchanged.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(newestPeak() - 0.5f) < 0.01f; }, 2000))
        << "peak " << newestPeak();
    player.stop();
    EXPECT_EQ(tp.log->countStartingWith(QStringLiteral("[vesmer] SIGNAL \u2014 system audio flowing (level ")), 1);

    // A new default sink: the tap is rebuilt on it, and hears what plays there.
    ASSERT_TRUE(PulsePlayer::pactl({"load-module", "module-null-sink", "sink_name=privB", "rate=48000"}));
    ASSERT_TRUE(PulsePlayer::pactl({"set-default-sink", "privB"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 1; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 5000));
    EXPECT_EQ(tp.log->countStartingWith(QStringLiteral("[vesmer] tap started")), 2);
    PulsePlayer onB(QStringLiteral("privB"));
    EXPECT_TRUE(toneIsHeard(onB));
    onB.stop();

    // And back: the rebuilt tap still follows the default sink.
    ASSERT_TRUE(PulsePlayer::pactl({"set-default-sink", "privA"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 5000));

    // The server goes away: the dead stream reads as silence, capture stays on.
    ASSERT_TRUE(toneIsHeard(player));
    stopServer();
    player.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return newestPeak() == 0.0f; }, 3000));
    EXPECT_TRUE(state->capturing());

    // It comes back: the output watch reconnects and the tap is rebuilt on it.
    ASSERT_TRUE(startServer());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 3; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->capturing(); }, 8000)) << state->captureError().toStdString();
    EXPECT_TRUE(toneIsHeard(player));
    player.stop();

    // A rebuild while the server is gone fails at once with a TapError, and
    // releases its loop thread, context and socket; the next start after the
    // server's return succeeds.
    stopServer();
    state->stopCapture();
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(startAndWait());
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_FALSE(state->capturing());
    EXPECT_TRUE(state->captureError().startsWith(QStringLiteral("pa_context_connect failed (-")))
        << state->captureError().toStdString();
    EXPECT_EQ(tp.log->lines.last(), QStringLiteral("[vesmer] tap FAILED: ") + state->captureError());
    const auto failing = held();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(startAndWait());
    EXPECT_EQ(held(), failing);
    ASSERT_TRUE(startServer());
    // The return is reported, but nothing is rebuilt while capture is stopped.
    ASSERT_TRUE(QTest::qWaitFor([&] { return tp.log->count(kDeviceLine) == 4; }, 10000));
    EXPECT_FALSE(state->capturing());
    ASSERT_TRUE(startAndWait());
    EXPECT_TRUE(state->capturing());
    EXPECT_TRUE(state->captureError().isNull());
    EXPECT_TRUE(toneIsHeard(player));
    player.stop();

    // Rebuilds release what the previous capture held.
    const auto before = held();
    for (int i = 0; i < 10; ++i) {
        state->stopCapture();
        ASSERT_TRUE(startAndWait());
        ASSERT_TRUE(state->capturing()) << state->captureError().toStdString();
    }
    EXPECT_EQ(held(), before);
}

}  // namespace

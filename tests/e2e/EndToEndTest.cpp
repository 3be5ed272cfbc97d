// The whole application as its users run it: the real vesmer binary on a desktop
// with a window manager, two monitors and two sound outputs, the real composer
// behind a recording proxy, a loopback lyrics service, a test media player on the
// session bus and mpv as a real one. Only what is visible from outside is
// checked: the status and log files, standard error, what the composer and the
// lyrics service receive, the X windows and the desktop's pixels.
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <csignal>

#include "DesktopTestTools.h"
#include "E2eDesktop.h"
#include "PulsePlayer.h"
#include "TestMprisPlayer.h"
#include "WebEngineHarness.h"

using namespace AppProcessTools;
using WebEngineHarness::waitFor;

namespace e2e {
namespace {

// Render processes of the web engine below `pid`.
QList<qint64> renderersOf(qint64 pid)
{
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        qint64 candidate = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(candidate));
        if (!cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains("--type=renderer"))
            continue;
        for (qint64 ancestor = candidate; ancestor > 1;) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(ancestor));
            if (!stat.open(QIODevice::ReadOnly))
                break;
            const QByteArray text = stat.readAll();
            ancestor = text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
            if (ancestor == pid) {
                found << candidate;
                break;
            }
        }
    }
    return found;
}

// How many distinct colours a screenshot of the left monitor holds.
int coloursOnLeftMonitor()
{
    const QString shot = QDir::temp().filePath(QStringLiteral("vesmer-e2e-desktop.png"));
    DesktopTestTools::run(QStringLiteral("import"), {"-window", "root", "-crop", "1920x1080+0+0", shot});
    const QImage image(shot);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 16)
        for (int x = 0; x < image.width(); x += 16)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

TEST_F(EndToEnd, FirstLaunchMusicTempoDeviceChangeRendererCrashAndEnd)
{
    configure(desktop().key);
    // The lightest rendering leaves the capture its share of a loaded machine.
    setSetting(QStringLiteral("quality.resolution"), QStringLiteral("performance"));
    auto app = start();
    ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
    ASSERT_TRUE(statusReaches("capturing", [](const QJsonValue& v) { return v.toBool(); }, 10000));
    EXPECT_EQ(status().value("wallpaper").toString(), "LEFT");
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] tap started (sampleRate "), 5000));
    EXPECT_TRUE(waitFor([] { return coloursOnLeftMonitor() > 8; }, 10000)) << "the wallpaper draws nothing";

    QProcess mpv;
    // A second of buffer: the player must not run dry while the software-rendered
    // wallpaper takes the machine's cores, or the gaps would move the tempo.
    mpv.start(QStringLiteral("mpv"), {"--no-config", "--script=/usr/lib/mpv-mpris/mpris.so", "--no-video",
                                      "--ao=pulse", "--audio-buffer=1", "--really-quiet", desktop().clickTrack});
    EXPECT_TRUE(statusReaches("level", [](const QJsonValue& v) { return v.toDouble() > 0.01; }, 10000));
    EXPECT_TRUE(statusReaches("bpm", [](const QJsonValue& v) { return std::abs(v.toDouble() - 120.0) <= 0.5; }, 20000))
        << "bpm " << status().value("bpm").toDouble();
    mpv.terminate();
    mpv.waitForFinished(5000);

    PulsePlayer::pactl({"set-default-sink", "sinkB"});
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap"), 5000));
    EXPECT_TRUE(waitFor([&] { return app->standardError().count(QStringLiteral("[vesmer] tap started")) == 2; }, 5000));

    const QList<qint64> renderers = renderersOf(app->pid());
    ASSERT_FALSE(renderers.isEmpty());
    for (const qint64 renderer : renderers)
        ::kill(pid_t(renderer), SIGKILL);
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] visuals renderer ended"), 10000));
    EXPECT_TRUE(waitFor([&] {
        const QList<qint64> now = renderersOf(app->pid());
        return !now.isEmpty() && now != renderers;
    }, 15000)) << "no new renderer";

    ::kill(pid_t(app->pid()), SIGTERM);
    ASSERT_TRUE(app->finishes(3000));
    EXPECT_EQ(app->process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->process.exitCode(), 0);
}

TEST_F(EndToEnd, LyricsCoverSceneAndAutomaticScenesFollowThePlayer)
{
    configure(desktop().key, 2);
    auto app = start();
    ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
    WebEngineHarness::settle(3000);  // the page is up and answers

    TestMprisPlayer spotify(QStringLiteral("org.mpris.MediaPlayer2.spotify"));
    ASSERT_TRUE(spotify.registered());
    const qint64 startedMs = QDateTime::currentMSecsSinceEpoch();
    spotify.change([&](TestMprisPlayer::State& state) {
        state.metadata = TestMprisPlayer::track("Song", {"Band"}, "Record", 200'000'000,
                                                QUrl::fromLocalFile(desktop().cover).toString());
        state.status = QStringLiteral("Playing");
    });
    QTimer clock;  // the song plays on
    QObject::connect(&clock, &QTimer::timeout, [&] {
        spotify.change([&](TestMprisPlayer::State& s) { s.positionUs = (QDateTime::currentMSecsSinceEpoch() - startedMs) * 1000; });
    });
    clock.start(100);

    QStringList lines;
    EXPECT_TRUE(waitFor([&] {
        const QString line = status().value("lyric").toString();
        if (!line.isEmpty() && (lines.isEmpty() || lines.last() != line))
            lines << line;
        return lines.size() >= 3;
    }, 20000)) << lines.join(" | ").toStdString();
    ASSERT_FALSE(desktop().lyrics.requests.isEmpty());
    EXPECT_EQ(desktop().lyrics.requests.last().query, "artist_name=Band&track_name=Song&duration=200&album_name=Record");

    // The cover goes to the composer as an image with its palette.
    ASSERT_TRUE(waitFor([&] { return composerAskedFor("image", "data:image/jpeg;base64,"); }, 20000));
    for (const auto& request : composerRequests("/api/compose")) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        if (body.contains("image")) {
            EXPECT_FALSE(body.value("palette").toArray().isEmpty());
        }
        EXPECT_EQ(request.key, desktop().key.toStdString());
    }
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] cover-scene: "), 10000));

    // Then a lyric scene, at the pace after the cover.
    EXPECT_TRUE(waitFor([&] { return composerAskedFor("prompt", "a scene interpreting this lyric: \""); }, 30000))
        << sceneLog().toStdString();
    EXPECT_TRUE(statusReaches("compose", [](const QJsonValue& v) { return v.toString() == "✓ live"; }, 20000))
        << status().value("compose").toString().toStdString();
    EXPECT_TRUE(sceneLog().contains("gen try=0 vary=false \"a scene interpreting this lyric: "));
}

TEST_F(EndToEnd, ASignInCallbackFromASecondProcessChecksThatKeyOnce)
{
    configure({});
    setSetting(QStringLiteral("didAutoStart"), true);
    auto app = start();
    ASSERT_TRUE(waitFor([&] { return instanceRegistered() || !app->running(); }, kStartTimeoutMs));
    const size_t before = composerRequests("/api/desktop-key").size();

    auto callback = start({QStringLiteral("vesmer://activate?key=") + desktop().key});
    ASSERT_TRUE(callback->finishes(10000));
    EXPECT_EQ(callback->process.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return composerRequests("/api/desktop-key").size() > before; }, 10000));
    WebEngineHarness::settle(1000);
    const auto checks = composerRequests("/api/desktop-key");
    ASSERT_EQ(checks.size(), before + 1);
    EXPECT_EQ(checks.back().key, desktop().key.toStdString());
    EXPECT_EQ(checks.back().method, "GET");
}

}  // namespace
}  // namespace e2e

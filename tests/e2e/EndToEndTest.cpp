// The whole application as its users run it: the real vesmer binary on a desktop
// with a window manager, two monitors and two sound outputs, the real composer
// behind a recording proxy, a loopback lyrics service, a test media player on the
// session bus and mpv as a real one. Only what is visible from outside is
// checked: the status and log files, standard error, what the composer and the
// lyrics service receive, the X windows and the desktop's pixels.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

#include "AppProcessTools.h"
#include "ComposerTestTools.h"
#include "DesktopTestTools.h"
#include "LoopbackHttpServer.h"
#include "PulsePlayer.h"
#include "RecordingProxy.h"
#include "TestMprisPlayer.h"
#include "WebEngineHarness.h"

using namespace AppProcessTools;
using WebEngineHarness::waitFor;

namespace {

const QString kLyrics = QStringLiteral("[00:02.00]first line\n[00:05.00]second line\n[00:08.00]third line\n"
                                       "[00:11.00]fourth line\n[00:14.00]fifth line\n[00:17.00]sixth line");

// 120 BPM: a 60 Hz kick of 100 ms every 0.5 s, as a 16-bit mono WAV file.
void writeClickTrack(const QString& path, double seconds)
{
    constexpr int rate = 48000;
    const auto samples = PulsePlayer::tone(60.0, 0.8f, seconds, 0.5, 0.1, rate);
    QByteArray data;
    for (const float s : samples) {
        const qint16 v = qint16(std::lround(s * 32767.0f));
        data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    auto le = [](quint32 v, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
        return out;
    };
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("RIFF" + le(36 + quint32(data.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(rate, 4)
               + le(rate * 2, 4) + le(2, 2) + le(16, 2) + "data" + le(quint32(data.size()), 4) + data);
}

// Everything shared by the scenarios, started once: window manager, second sink,
// composer with its proxy, lyrics service, and the files they serve.
struct Desktop {
    QTemporaryDir dir;
    QProcess windowManager;
    QString secondSinkModule;
    QProcess composer;
    std::unique_ptr<RecordingProxy> proxy;
    LoopbackHttpServer lyrics;
    QString key;
    QString clickTrack, cover;

    Desktop()
    {
        windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        PulsePlayer::pactl({"load-module", "module-null-sink", "sink_name=sinkB", "rate=48000"}, &secondSinkModule);
        const QString db = dir.filePath(QStringLiteral("keys.sqlite"));
        QProcess issue;
        issue.start(QStringLiteral(VESMER_COMPOSER_PROGRAM), {"keys", "issue", "--db", db});
        issue.waitForFinished(20000);
        key = QString::fromUtf8(issue.readAllStandardOutput()).trimmed();
        const int port = composer::test::freeLoopbackPort();
        composer.start(QStringLiteral(VESMER_COMPOSER_PROGRAM),
                       {"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--db", db, "--lexicon",
                        QStringLiteral(VESMER_COMPOSER_LEXICON)});
        proxy = std::make_unique<RecordingProxy>("127.0.0.1", port);
        composer::test::Http http(proxy->origin());
        waitFor([&] { return http.get(QStringLiteral("/healthz")).status == 200; }, 10000);
        lyrics.fallback = {200, QJsonDocument(QJsonObject{{"syncedLyrics", kLyrics}}).toJson()};
        clickTrack = dir.filePath(QStringLiteral("clicks.wav"));
        writeClickTrack(clickTrack, 40.0);
        cover = dir.filePath(QStringLiteral("cover.jpg"));
        QImage image(600, 600, QImage::Format_RGB32);
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 600; ++x)
                image.setPixel(x, y, qRgb(200 * x / 600, 40, 255 - 200 * y / 600));
        image.save(cover, "JPEG", 85);
    }
    ~Desktop()
    {
        composer.terminate();
        composer.waitForFinished(5000);
        if (!secondSinkModule.isEmpty())
            PulsePlayer::pactl({"unload-module", secondSinkModule.trimmed()});
        windowManager.terminate();
        windowManager.waitForFinished(5000);
    }
};

Desktop* desktop = nullptr;

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { desktop = new Desktop; }
    static void TearDownTestSuite()
    {
        delete desktop;
        desktop = nullptr;
    }

    void SetUp() override
    {
        ASSERT_FALSE(desktop->key.isEmpty()) << "the composer issued no key";
        ASSERT_TRUE(waitFor([] { return !instanceRegistered(); }, 5000));
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            m_environment.insert(QLatin1String(name), m_home.filePath(QLatin1String(name)));
        m_environment.insert(QStringLiteral("VESMER_LYRICS_URL"), desktop->lyrics.origin());
        m_environment.remove(QStringLiteral("VESMER_APP_KEY"));
        PulsePlayer::pactl({"set-default-sink", "sinkA"});
    }

    // The composer behind the proxy, signed in with `key` (none: signed out).
    void configure(const QString& key, int pace = 1)
    {
        const QString folder = m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/vesmer"));
        QDir().mkpath(folder);
        QFile config(folder + QStringLiteral("/config.json"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        QJsonObject object{{"baseUrl", desktop->proxy->origin()}};
        if (!key.isEmpty())
            object.insert("appKey", key);
        config.write(QJsonDocument(object).toJson());
        QSettings(m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")), QSettings::IniFormat)
            .setValue("auto.pace", pace);
    }
    std::unique_ptr<VesmerProcess> start(const QStringList& arguments = {})
    {
        return std::make_unique<VesmerProcess>(QStringLiteral(VESMER_BINARY), m_environment, arguments);
    }
    QJsonObject status() const
    {
        QFile file(m_home.filePath(QStringLiteral("XDG_DATA_HOME/Vesmer/status.json")));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    bool statusReaches(const char* member, const std::function<bool(const QJsonValue&)>& test, int timeoutMs)
    {
        return waitFor([&] { return test(status().value(QLatin1String(member))); }, timeoutMs);
    }
    QString sceneLog() const
    {
        QFile file(m_home.filePath(QStringLiteral("XDG_STATE_HOME/Vesmer/vesmer.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    std::vector<RecordingProxy::Request> composerRequests(const std::string& path) const
    {
        std::vector<RecordingProxy::Request> found;
        for (const auto& request : desktop->proxy->requests())
            if (request.path == path)
                found.push_back(request);
        return found;
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
};

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
    configure(desktop->key);
    auto app = start();
    ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
    ASSERT_TRUE(statusReaches("capturing", [](const QJsonValue& v) { return v.toBool(); }, 10000));
    EXPECT_EQ(status().value("wallpaper").toString(), "LEFT");
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] tap started (sampleRate "), 5000));
    EXPECT_TRUE(waitFor([] { return coloursOnLeftMonitor() > 8; }, 10000)) << "the wallpaper draws nothing";

    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), {"--no-config", "--script=/usr/lib/mpv-mpris/mpris.so", "--no-video",
                                      "--ao=pulse", "--really-quiet", desktop->clickTrack});
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
    configure(desktop->key, 2);
    auto app = start();
    ASSERT_TRUE(app->showsWallpaper(kStartTimeoutMs)) << app->standardError().toStdString();
    WebEngineHarness::settle(3000);  // the page is up and answers

    TestMprisPlayer spotify(QStringLiteral("org.mpris.MediaPlayer2.spotify"));
    ASSERT_TRUE(spotify.registered());
    const qint64 startedMs = QDateTime::currentMSecsSinceEpoch();
    spotify.change([&](TestMprisPlayer::State& state) {
        state.metadata = TestMprisPlayer::track("Song", {"Band"}, "Record", 200'000'000,
                                                QUrl::fromLocalFile(desktop->cover).toString());
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
    ASSERT_FALSE(desktop->lyrics.requests.isEmpty());
    EXPECT_EQ(desktop->lyrics.requests.last().query, "artist_name=Band&track_name=Song&duration=200&album_name=Record");

    // The cover goes to the composer as an image with its palette.
    ASSERT_TRUE(waitFor([&] {
        for (const auto& request : composerRequests("/api/compose"))
            if (QJsonDocument::fromJson(QByteArray::fromStdString(request.body))["image"].toString().startsWith("data:image/jpeg;base64,"))
                return true;
        return false;
    }, 20000));
    for (const auto& request : composerRequests("/api/compose")) {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        if (body.contains("image"))
            EXPECT_FALSE(body.value("palette").toArray().isEmpty());
        EXPECT_EQ(request.key, desktop->key.toStdString());
    }
    EXPECT_TRUE(app->waitForStderr(QStringLiteral("[vesmer] cover-scene: "), 10000));

    // Then a lyric scene, at the pace after the cover.
    EXPECT_TRUE(waitFor([&] {
        for (const auto& request : composerRequests("/api/compose"))
            if (QJsonDocument::fromJson(QByteArray::fromStdString(request.body))["prompt"].toString().startsWith(
                    "a scene interpreting this lyric: \u201c"))
                return true;
        return false;
    }, 30000)) << sceneLog().toStdString();
    EXPECT_TRUE(statusReaches("compose", [](const QJsonValue& v) { return v.toString() == "✓ live"; }, 20000))
        << status().value("compose").toString().toStdString();
    EXPECT_TRUE(sceneLog().contains("gen try=0 vary=false \"a scene interpreting this lyric: "));
}

TEST_F(EndToEnd, ASignInCallbackFromASecondProcessChecksThatKeyOnce)
{
    configure({});
    QSettings(m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")), QSettings::IniFormat)
        .setValue("didAutoStart", true);
    auto app = start();
    ASSERT_TRUE(waitFor([&] { return instanceRegistered() || !app->running(); }, kStartTimeoutMs));
    const size_t before = composerRequests("/api/desktop-key").size();

    auto callback = start({QStringLiteral("vesmer://activate?key=") + desktop->key});
    ASSERT_TRUE(callback->finishes(10000));
    EXPECT_EQ(callback->process.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return composerRequests("/api/desktop-key").size() > before; }, 10000));
    WebEngineHarness::settle(1000);
    const auto checks = composerRequests("/api/desktop-key");
    ASSERT_EQ(checks.size(), before + 1);
    EXPECT_EQ(checks.back().key, desktop->key.toStdString());
    EXPECT_EQ(checks.back().method, "GET");
}

}  // namespace

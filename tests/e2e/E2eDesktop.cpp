#include "E2eDesktop.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QSettings>
#include <cmath>

#include "ComposerTestTools.h"
#include "PulsePlayer.h"
#include "WebEngineHarness.h"

using WebEngineHarness::waitFor;

namespace e2e {

const QString kLyrics = QStringLiteral("[00:02.00]first line\n[00:05.00]second line\n[00:08.00]third line\n"
                                       "[00:11.00]fourth line\n[00:14.00]fifth line\n[00:17.00]sixth line");

namespace {

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
    if (file.open(QIODevice::WriteOnly))
        file.write("RIFF" + le(36 + quint32(data.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2)
                   + le(rate, 4) + le(rate * 2, 4) + le(2, 2) + le(16, 2) + "data" + le(quint32(data.size()), 4) + data);
}

std::unique_ptr<Desktop> shared;

}  // namespace

Desktop::Desktop()
{
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    PulsePlayer::pactl({"load-module", "module-null-sink", "sink_name=sinkB", "rate=48000"}, &secondSinkModule);
    const QString db = dir.filePath(QStringLiteral("keys.sqlite"));
    QProcess issue;
    issue.start(QStringLiteral(VESMER_COMPOSER_PROGRAM), {"keys", "issue", "--db", db});
    issue.waitForFinished(20000);
    key = QString::fromUtf8(issue.readAllStandardOutput()).trimmed();
    const int port = composer::test::freeLoopbackPort();
    composer.start(QStringLiteral(VESMER_COMPOSER_PROGRAM), {"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--db",
                                                           db, "--lexicon", QStringLiteral(VESMER_COMPOSER_LEXICON)});
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

Desktop::~Desktop()
{
    composer.terminate();
    composer.waitForFinished(5000);
    if (!secondSinkModule.isEmpty())
        PulsePlayer::pactl({"unload-module", secondSinkModule.trimmed()});
    windowManager.terminate();
    windowManager.waitForFinished(5000);
}

void EndToEnd::SetUpTestSuite()
{
    shared = std::make_unique<Desktop>();
}

void EndToEnd::TearDownTestSuite()
{
    shared.reset();
}

Desktop& EndToEnd::desktop()
{
    return *shared;
}

void EndToEnd::SetUp()
{
    ASSERT_FALSE(desktop().key.isEmpty()) << "the composer issued no key";
    ASSERT_TRUE(waitFor([] { return !AppProcessTools::instanceRegistered(); }, 5000));
    m_environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        m_environment.insert(QLatin1String(name), m_home.filePath(QLatin1String(name)));
    m_environment.insert(QStringLiteral("VESMER_LYRICS_URL"), desktop().lyrics.origin());
    m_environment.remove(QStringLiteral("VESMER_APP_KEY"));
    PulsePlayer::pactl({"set-default-sink", "sinkA"});
}

void EndToEnd::configure(const QString& key, int pace)
{
    const QString folder = m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/vesmer"));
    QDir().mkpath(folder);
    QFile config(folder + QStringLiteral("/config.json"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    QJsonObject object{{"baseUrl", desktop().proxy->origin()}};
    if (!key.isEmpty())
        object.insert("appKey", key);
    config.write(QJsonDocument(object).toJson());
    setSetting(QStringLiteral("auto.pace"), pace);
}

void EndToEnd::setSetting(const QString& key, const QVariant& value)
{
    QSettings(m_home.filePath(QStringLiteral("XDG_CONFIG_HOME/Vesmer/Vesmer.conf")), QSettings::IniFormat).setValue(key, value);
}

std::unique_ptr<AppProcessTools::VesmerProcess> EndToEnd::start(const QStringList& arguments)
{
    return std::make_unique<AppProcessTools::VesmerProcess>(QStringLiteral(VESMER_BINARY), m_environment, arguments);
}

QJsonObject EndToEnd::status() const
{
    QFile file(m_home.filePath(QStringLiteral("XDG_DATA_HOME/Vesmer/status.json")));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

bool EndToEnd::statusReaches(const char* member, const std::function<bool(const QJsonValue&)>& test, int timeoutMs)
{
    return waitFor([&] { return test(status().value(QLatin1String(member))); }, timeoutMs);
}

QString EndToEnd::sceneLog() const
{
    QFile file(m_home.filePath(QStringLiteral("XDG_STATE_HOME/Vesmer/vesmer.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

std::vector<RecordingProxy::Request> EndToEnd::composerRequests(const std::string& path) const
{
    std::vector<RecordingProxy::Request> found;
    for (const auto& request : desktop().proxy->requests())
        if (request.path == path)
            found.push_back(request);
    return found;
}

bool EndToEnd::composerAskedFor(const char* member, const QString& prefix) const
{
    for (const auto& request : composerRequests("/api/compose"))
        if (QJsonDocument::fromJson(QByteArray::fromStdString(request.body))[QLatin1String(member)].toString().startsWith(prefix))
            return true;
    return false;
}

}  // namespace e2e

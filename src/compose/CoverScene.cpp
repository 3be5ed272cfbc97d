#include "compose/CoverScene.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include "compose/AutoScenes.h"
#include "compose/ComposeClient.h"
#include "compose/JpegDataUrl.h"
#include "compose/SceneGenerator.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "platform/Settings.h"
#include "platform/SystemLog.h"
#include "platform/WebPage.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperPlacement.h"
#include "wallpaper/WallpaperWindow.h"

namespace {
const QString kNoVerdict = QStringLiteral("no reply from visuals");

// Whether the reply failed on the way (connection, proxy, a broken transfer), so
// that whatever body arrived may be cut short. An HTTP error status with a body is
// an answer: its body is judged as an image like any other.
bool failedInTransit(QNetworkReply::NetworkError error)
{
    return (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolFailure;
}

bool autoScenesOn(const Settings& settings)
{
    return settings.boolValue(QStringLiteral("auto.scenes"), true);
}
}  // namespace

// What one cover scene carries. The window is the one that passed the start's
// test; the page calls and the apply go to it.
struct CoverScene::Pipeline {
    QString steer;
    QString imageDataUrl;
    std::weak_ptr<WallpaperWindow> window;
};

CoverScene::CoverScene(const Settings& settings, MainQueue& queue, SystemLog& log, QNetworkAccessManager& network,
                       ComposeClient& client, SceneGenerator& generator, const NowPlayingWatcher& watcher,
                       const WallpaperPlacement& placement, AutoScenes& pace, QObject* parent)
    : QObject(parent), m_settings(settings), m_queue(queue), m_log(log), m_network(network), m_client(client),
      m_generator(generator), m_watcher(watcher), m_placement(placement), m_pace(pace)
{
}

CoverScene::~CoverScene()
{
    m_pending.cancel();
    // Downloads under way are ours: nothing of this object may run when they end.
    for (QNetworkReply* reply : findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly)) {
        reply->disconnect(this);
        reply->abort();
    }
}

QString CoverScene::steeringText(const TrackInfo& track)
{
    return QStringLiteral("the mood and world of this album cover — \"") + track.title + QStringLiteral("\" by ") +
           track.artist;
}

QStringList CoverScene::paletteFrom(const ScriptReply& reply)
{
    if (!reply.value)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(reply.value->toUtf8());
    if (!document.isArray())
        return {};
    QStringList palette;
    for (const QJsonValue& colour : document.array()) {
        if (!colour.isString())
            return {};
        palette << colour.toString();
    }
    return palette;
}

void CoverScene::schedule(const TrackInfo& track)
{
    m_pending.cancel();
    const QUrl url(track.artworkUrl, QUrl::StrictMode);
    if (!autoScenesOn(m_settings) || track.artworkUrl.isEmpty() || !url.isValid() || url.isRelative())
        return;
    m_pace.coverScheduled(track.key());
    m_pending = m_queue.after(kDelay, [self = QPointer(this), track, url] {
        if (self)
            self->run(track, url);
    });
}

void CoverScene::run(const TrackInfo& track, const QUrl& url)
{
    const std::optional<TrackInfo>& current = m_watcher.track();
    if (!autoScenesOn(m_settings) || !current || current->key() != track.key() || !current->playing ||
        !m_placement.visible() || m_generator.inFlight())
        return;

    m_generator.setInFlight(true);
    emit statusChanged(QStringLiteral("reading the cover…"));
    emit sourceChanged(QStringLiteral("album art — ") + track.title);
    m_pace.coverStarted();

    auto pipeline = std::make_shared<Pipeline>(Pipeline{steeringText(track), {}, m_placement.windowHandle()});
    download(url, [self = QPointer(this), pipeline](const std::optional<QByteArray>& bytes) {
        if (self)
            self->coverRead(pipeline, bytes);
    });
}

void CoverScene::download(const QUrl& url, std::function<void(std::optional<QByteArray>)> done)
{
    QNetworkReply* reply = m_network.get(QNetworkRequest(url));
    reply->setParent(this);
    // On the main queue, so that tests on a virtual clock can let it run out.
    TaskHandle timeout = m_queue.after(kDownloadTimeout, [reply = QPointer(reply)] {
        if (reply)
            reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxCoverBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, timeout, done = std::move(done)]() mutable {
        timeout.cancel();
        reply->deleteLater();
        if (failedInTransit(reply->error()))
            done(std::nullopt);
        else
            done(reply->readAll());
    });
}

void CoverScene::coverRead(const std::shared_ptr<Pipeline>& pipeline, const std::optional<QByteArray>& bytes)
{
    const std::optional<QString> dataUrl = bytes ? jpegDataURL(*bytes, kMaxSide) : std::nullopt;
    if (!dataUrl) {
        finish(QStringLiteral("cover unreadable"));
        return;
    }
    pipeline->imageDataUrl = *dataUrl;
    const std::shared_ptr<WallpaperWindow> window = pipeline->window.lock();
    if (!window) {
        paletteRead(pipeline, {});
        return;
    }
    window->page().callWithArguments(PageCalls::paletteBody(), {{QStringLiteral("u"), *dataUrl}},
                                     [self = QPointer(this), pipeline](const ScriptReply& reply) {
                                         if (self)
                                             self->paletteRead(pipeline, paletteFrom(reply));
                                     });
}

void CoverScene::paletteRead(const std::shared_ptr<Pipeline>& pipeline, const QStringList& palette)
{
    const std::shared_ptr<WallpaperWindow> window = pipeline->window.lock();
    if (!window) {
        finish(QStringLiteral("visuals not ready"));
        return;
    }
    window->page().evaluate(PageCalls::sceneDescription(), [self = QPointer(this), pipeline, palette](const ScriptReply& answer) {
        if (!self)
            return;
        if (!answer.value) {
            self->finish(QStringLiteral("visuals not ready"));
            return;
        }
        self->m_client.composeFromImage(pipeline->steer, pipeline->imageDataUrl, palette, *answer.value,
                                        [self, pipeline](const ComposeResult& result) {
                                            if (self)
                                                self->composed(pipeline, result);
                                        });
    });
}

void CoverScene::composed(const std::shared_ptr<Pipeline>& pipeline, const ComposeResult& result)
{
    if (!result.graph) {
        finish(result.error);
        return;
    }
    const std::shared_ptr<WallpaperWindow> window = pipeline->window.lock();
    const auto verdictIs = [self = QPointer(this)](const QString& verdict) {
        if (!self)
            return;
        self->m_generator.setInFlight(false);
        const bool applied = verdict == QLatin1String("ok");
        emit self->statusChanged(applied ? QStringLiteral("✓ from the cover") : verdict);
        if (applied)
            emit self->sceneApplied();
        self->m_log.write(QStringLiteral("[vesmer] cover-scene: ") + verdict);
    };
    if (!window) {  // the window itself is gone, not just removed from the screen
        verdictIs(kNoVerdict);
        return;
    }
    window->page().evaluate(PageCalls::applyGraph(*result.graph), [verdictIs](const ScriptReply& reply) {
        verdictIs(reply.value.value_or(kNoVerdict));
    });
}

void CoverScene::finish(const QString& status)
{
    m_generator.setInFlight(false);
    emit statusChanged(status);
}

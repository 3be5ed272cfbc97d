#pragma once
// Scenes from album covers: 3 s after a song change (cancelled by the next one)
// downloads the cover, shrinks it to a JPEG data URL, has the page pick its
// palette, and sends image, palette and a steering sentence to the backend; the
// page gets the graph. Holds the shared in-flight flag while it runs; progress and
// outcome go out as status texts. Main thread only.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "platform/MainQueue.h"

class AutoScenes;
class ComposeClient;
class NowPlayingWatcher;
class QNetworkAccessManager;
class SceneGenerator;
class Settings;
class SystemLog;
class WallpaperPlacement;
class WallpaperWindow;
struct ComposeResult;
struct ScriptReply;
struct TrackInfo;

class CoverScene : public QObject {
    Q_OBJECT
public:
    static constexpr double kDelay = 3.0;
    static constexpr int kMaxSide = 512;
    // What a plain download waits on the platform's HTTP client by default.
    static constexpr double kDownloadTimeout = 60.0;
    // Covers are a few hundred kilobytes; more is no cover worth holding in memory.
    static constexpr qint64 kMaxCoverBytes = 32 * 1024 * 1024;

    CoverScene(const Settings& settings, MainQueue& queue, SystemLog& log, QNetworkAccessManager& network,
               ComposeClient& client, SceneGenerator& generator, const NowPlayingWatcher& watcher,
               const WallpaperPlacement& placement, AutoScenes& pace, QObject* parent = nullptr);
    ~CoverScene() override;

    // Cancels any pending cover scene, and schedules one for `track` when it has a
    // cover address and automatic scenes are on.
    void schedule(const TrackInfo& track);
    // The pipeline; skipped silently unless `track` still plays on a visible
    // wallpaper with no other composition in flight.
    void run(const TrackInfo& track, const QUrl& url);

    // "the mood and world of this album cover — "Title" by Artist", unescaped.
    static QString steeringText(const TrackInfo& track);
    // The palette script's answer: a JSON array of strings, else an empty list.
    static QStringList paletteFrom(const ScriptReply& reply);

signals:
    void statusChanged(const QString& status);
    void sourceChanged(const QString& source);
    void sceneApplied();  // the page took the cover's graph: theme "AI scene"

private:
    struct Pipeline;
    void download(const QUrl& url, std::function<void(std::optional<QByteArray>)> done);
    void coverRead(const std::shared_ptr<Pipeline>& pipeline, const std::optional<QByteArray>& bytes);
    void paletteRead(const std::shared_ptr<Pipeline>& pipeline, const QStringList& palette);
    void composed(const std::shared_ptr<Pipeline>& pipeline, const ComposeResult& result);
    void finish(const QString& status);

    const Settings& m_settings;
    MainQueue& m_queue;
    SystemLog& m_log;
    QNetworkAccessManager& m_network;
    ComposeClient& m_client;
    SceneGenerator& m_generator;
    const NowPlayingWatcher& m_watcher;
    const WallpaperPlacement& m_placement;
    AutoScenes& m_pace;
    TaskHandle m_pending;  // the scheduled cover scene; kept after it fired
};

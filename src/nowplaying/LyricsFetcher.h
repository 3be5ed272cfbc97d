#pragma once
// Lyrics for a song from an LRCLIB service: time-tagged lyrics when it has them,
// else its plain lyrics spread over the song. One lookup per song: results, empty
// ones included, are kept (up to 50 songs), and a song already being looked up is
// not looked up again meanwhile. Main thread only; replies arrive through the
// event loop.

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

#include "nowplaying/LyricLine.h"

class MainQueue;
class QNetworkAccessManager;
class QNetworkReply;
struct TrackInfo;

class LyricsFetcher final : public QObject {
    Q_OBJECT
public:
    static constexpr double kTimeout = 10.0;
    static constexpr int kCacheLimit = 50;
    static constexpr const char* kPublicService = "https://lrclib.net";
    static constexpr const char* kUserAgent = "Vesmer/0.1 (https://vesmer.app)";

    using Done = std::function<void(const LyricLines&)>;
    // `answered`: an HTTP status arrived, whatever it was.
    using RequestDone = std::function<void(const std::optional<LyricLines>&, bool answered)>;

    // `service` is the base address; "/api/get" goes below its path.
    LyricsFetcher(QNetworkAccessManager& network, MainQueue& queue, QUrl service = QUrl(QString::fromLatin1(kPublicService)),
                  QObject* parent = nullptr);
    ~LyricsFetcher() override;

    // `done` gets the song's lines: before returning when they are known, later
    // after a lookup, never when a lookup of the same song is already out. A failed
    // lookup is tried once more without the album, then counts as no lyrics; it is
    // kept as the song's answer only when the service answered, so that a network
    // failure is not taken for a song without lyrics for the rest of the session.
    void fetch(const TrackInfo& track, Done done);
    // One lookup; `done` gets none when it failed (no answer in time, a status
    // other than 200, a body that is no JSON object).
    void request(const TrackInfo& track, bool includeAlbum, RequestDone done);

    // The lookup's address: the query in a fixed order, each part percent-encoded.
    QUrl requestUrl(const TrackInfo& track, bool includeAlbum) const;
    // The lines an LRCLIB answer gives for a song of `durationSeconds`; none when
    // the body is no JSON object.
    static std::optional<LyricLines> linesFromBody(const QByteArray& body, double durationSeconds);

    std::optional<QString> inFlightKey() const { return m_inFlightKey; }
    qsizetype cachedSongs() const { return m_cache.size(); }

private:
    void store(const QString& key, const LyricLines& lines);

    QNetworkAccessManager& m_network;
    MainQueue& m_queue;
    QUrl m_service;
    QHash<QString, LyricLines> m_cache;
    std::optional<QString> m_inFlightKey;
    QSet<QNetworkReply*> m_replies;
};

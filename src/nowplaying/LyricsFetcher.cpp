#include "nowplaying/LyricsFetcher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include "nowplaying/TrackInfo.h"
#include "platform/MainQueue.h"

namespace {

QString queryPart(const QString& name, const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value));
}

}  // namespace

LyricsFetcher::LyricsFetcher(QNetworkAccessManager& network, MainQueue& queue, QUrl service, QObject* parent)
    : QObject(parent), m_network(network), m_queue(queue), m_service(std::move(service))
{
}

LyricsFetcher::~LyricsFetcher()
{
    // Replies belong to the network manager; nothing of ours may run when they end.
    for (QNetworkReply* reply : std::as_const(m_replies)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void LyricsFetcher::fetch(const TrackInfo& track, Done done)
{
    const QString key = track.key();
    if (const auto cached = m_cache.constFind(key); cached != m_cache.constEnd()) {
        done(*cached);
        return;
    }
    if (m_inFlightKey == key)
        return;
    m_inFlightKey = key;

    auto finish = [this, key, done](const LyricLines& lines, bool keep) {
        if (keep)
            store(key, lines);
        m_inFlightKey.reset();
        done(lines);
    };
    request(track, true, [this, track, finish](const std::optional<LyricLines>& withAlbum, bool) {
        if (withAlbum) {
            finish(*withAlbum, true);
            return;
        }
        request(track, false, [finish](const std::optional<LyricLines>& withoutAlbum, bool answered) {
            finish(withoutAlbum.value_or(LyricLines{}), answered);
        });
    });
}

QUrl LyricsFetcher::requestUrl(const TrackInfo& track, bool includeAlbum) const
{
    QStringList query{queryPart(QStringLiteral("artist_name"), track.artist),
                      queryPart(QStringLiteral("track_name"), track.title),
                      queryPart(QStringLiteral("duration"), QString::number(wholeSeconds(track.durationS)))};
    if (includeAlbum && !track.album.isEmpty())
        query << queryPart(QStringLiteral("album_name"), track.album);
    QUrl url = m_service;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/api/get"));
    url.setQuery(query.join(QLatin1Char('&')), QUrl::StrictMode);
    return url;
}

void LyricsFetcher::request(const TrackInfo& track, bool includeAlbum, RequestDone done)
{
    QNetworkRequest request(requestUrl(track, includeAlbum));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    QNetworkReply* reply = m_network.get(request);
    m_replies.insert(reply);
    // On the main queue rather than the request's own timer, so that tests on a
    // virtual clock can let it run out at once.
    TaskHandle timeout = m_queue.after(kTimeout, [reply = QPointer(reply)] {
        if (reply)
            reply->abort();
    });
    const double duration = track.durationS;
    connect(reply, &QNetworkReply::finished, this, [this, reply, timeout, duration, done = std::move(done)]() mutable {
        timeout.cancel();
        m_replies.remove(reply);
        reply->deleteLater();
        // A reply with an HTTP status is an answer even when Qt calls it an error;
        // only one without a status failed on the way.
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        std::optional<LyricLines> lines;
        if (status.isValid() && status.toInt() == 200)
            lines = linesFromBody(reply->readAll(), duration);
        done(lines, status.isValid());
    });
}

std::optional<LyricLines> LyricsFetcher::linesFromBody(const QByteArray& body, double durationSeconds)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject answer = document.object();
    const QString synced = answer.value(QLatin1String("syncedLyrics")).toString();
    if (!synced.isEmpty())
        return parseLRC(synced);
    return plainLines(answer.value(QLatin1String("plainLyrics")).toString(), durationSeconds);
}

void LyricsFetcher::store(const QString& key, const LyricLines& lines)
{
    m_cache.insert(key, lines);
    // Emptied whole rather than ordered by use: a listening session rarely comes
    // back to 50 songs.
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();
}

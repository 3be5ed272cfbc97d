#include "nowplaying/NowPlayingWatcher.h"

#include <QPointer>
#include <QStringList>
#include <array>
#include <cmath>

#include "platform/Clock.h"
#include "platform/PlayerBridge.h"

namespace {

// The first running player wins, even when it is stopped and a later one plays.
const std::array<QString, 2> kPlayers{QStringLiteral("Spotify"), QStringLiteral("Music")};

// A number that fills the whole piece, with a comma read as a decimal point;
// anything else, spaces around it included, is 0.
double numberOf(QString piece)
{
    piece.replace(QLatin1Char(','), QLatin1Char('.'));
    if (piece.isEmpty() || piece.front().isSpace() || piece.back().isSpace())
        return 0.0;
    bool ok = false;
    const double value = piece.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

}  // namespace

NowPlayingWatcher::NowPlayingWatcher(PlayerBridge& players, MainQueue& queue, const Clock& clock, QObject* parent)
    : QObject(parent), m_players(players), m_queue(queue), m_clock(clock)
{
}

NowPlayingWatcher::~NowPlayingWatcher()
{
    m_timer.cancel();
}

void NowPlayingWatcher::start()
{
    if (m_timer.isActive())
        return;
    m_timer = m_queue.every(kPollInterval, kPollTolerance, [self = QPointer(this)] {
        if (self)
            self->poll();
    });
    poll();
}

void NowPlayingWatcher::stop()
{
    m_timer.cancel();
}

void NowPlayingWatcher::setIsNeeded(std::function<bool()> isNeeded)
{
    m_isNeeded = std::move(isNeeded);
}

void NowPlayingWatcher::poll()
{
    if (!m_isNeeded())
        return;
    for (const QString& player : kPlayers) {
        if (!m_players.isRunning(player))
            continue;
        m_players.query(player, [self = QPointer(this), player](const PlayerReply& reply) {
            if (self)
                self->answered(player, reply);
        });
        return;
    }
    if (m_track)
        setTrack(std::nullopt);
}

void NowPlayingWatcher::answered(const QString& player, const PlayerReply& reply)
{
    if (reply.failed) {
        setPermissionHint(reply.errorNumber == PlayerReply::kNotPermitted
                              ? std::optional(permissionHintFor(player, reply.busName))
                              : std::nullopt);
        setTrack(std::nullopt);
        return;
    }
    setPermissionHint(std::nullopt);
    setTrack(reply.text ? parseReply(*reply.text, player, m_clock.now()) : std::nullopt);
}

std::optional<TrackInfo> NowPlayingWatcher::parseReply(const QString& text, const QString& player, double now)
{
    const QStringList pieces = text.split(QLatin1Char('\n'));
    if (text.isEmpty() || pieces.size() < 7)
        return std::nullopt;
    TrackInfo track;
    track.title = pieces[0];
    track.artist = pieces[1];
    track.artworkUrl = pieces[2];
    track.playing = pieces[3] == QLatin1String("true");
    track.album = pieces[4];
    track.durationS = numberOf(pieces[5]);
    if (player == QLatin1String("Spotify"))
        track.durationS /= 1000.0;
    track.positionS = numberOf(pieces[6]);
    track.source = player;
    track.fetchedAt = now;
    return track;
}

QString NowPlayingWatcher::permissionHintFor(const QString& player, const QString& busName)
{
    return QStringLiteral("Allow Vesmer to read %1: it needs access to the session bus name %2").arg(player, busName);
}

void NowPlayingWatcher::setTrack(const std::optional<TrackInfo>& track)
{
    m_track = track;
    emit trackAssigned(m_track);
}

void NowPlayingWatcher::setPermissionHint(const std::optional<QString>& hint)
{
    m_permissionHint = hint;
    emit permissionHintAssigned(m_permissionHint);
}

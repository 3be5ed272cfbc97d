#pragma once
// Which song the user is listening to: polls the first running player of a fixed
// list (Spotify, then Music) every 3 s through the player bridge and publishes the
// answer as a TrackInfo, plus a hint when the player refused to answer. Main
// thread only; a poll never waits for a player.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "nowplaying/TrackInfo.h"
#include "platform/MainQueue.h"

class Clock;
class PlayerBridge;
struct PlayerReply;

class NowPlayingWatcher final : public QObject {
    Q_OBJECT
public:
    static constexpr double kPollInterval = 3.0;
    static constexpr double kPollTolerance = 1.0;

    NowPlayingWatcher(PlayerBridge& players, MainQueue& queue, const Clock& clock, QObject* parent = nullptr);
    ~NowPlayingWatcher() override;

    // Starts polling and polls once; does nothing while already polling.
    void start();
    void stop();
    void poll();

    // Asked at every poll; while it answers false the players are left alone and
    // the last track and hint stay. Always true until set.
    void setIsNeeded(std::function<bool()> isNeeded);

    const std::optional<TrackInfo>& track() const { return m_track; }
    std::optional<QString> permissionHint() const { return m_permissionHint; }

    // A player's seven-line answer as a track, or none when it cannot be read.
    // `player` is the player name; Spotify gives its duration in milliseconds.
    static std::optional<TrackInfo> parseReply(const QString& text, const QString& player, double now);
    static QString permissionHintFor(const QString& player, const QString& busName);

signals:
    // Every assignment, also of an equal value: observers see each poll's answer.
    void trackAssigned(const std::optional<TrackInfo>& track);
    void permissionHintAssigned(const std::optional<QString>& hint);

private:
    void answered(const QString& player, const PlayerReply& reply);
    void setTrack(const std::optional<TrackInfo>& track);
    void setPermissionHint(const std::optional<QString>& hint);

    PlayerBridge& m_players;
    MainQueue& m_queue;
    const Clock& m_clock;
    std::function<bool()> m_isNeeded = [] { return true; };
    TaskHandle m_timer;
    std::optional<TrackInfo> m_track;
    std::optional<QString> m_permissionHint;
};

#pragma once
// The bridge to the media players on the desktop: whether a player runs, and one
// query of what it plays. "Spotify" and "Music" are player names; the bridge maps
// them to its players. Main thread only; the main thread never waits for a player.

#include <QString>
#include <functional>
#include <optional>

struct PlayerReply {
    // The player refused the query because the user has not allowed it.
    static constexpr int kNotPermitted = -1743;

    bool failed = false;                // the query failed; errorNumber says why
    std::optional<int> errorNumber;     // when failed
    std::optional<QString> text;        // the seven-line answer; none when stopped or no track
    QString busName;                    // who was asked, for messages to the user
};

class PlayerBridge {
public:
    virtual ~PlayerBridge() = default;
    // Answered from what the bridge already knows: never waits for the player.
    virtual bool isRunning(const QString& player) const = 0;
    // Asks `player`; `done` runs later on the main thread. Queries to one player
    // never overlap: while one is out, only the newest waiting query is kept, and
    // the `done` of a waiting query that a newer one replaces is never called.
    virtual void query(const QString& player, std::function<void(const PlayerReply&)> done) = 0;
};

#pragma once
// The player bridge over MPRIS on the session bus. "Spotify" is the bus name
// org.mpris.MediaPlayer2.spotify; "Music" (any other player name) is the first
// other org.mpris.MediaPlayer2.* name, in the order the bus listed them, names
// that appeared later after them. Every call to a player is asynchronous; the
// answers arrive on the main thread. Main thread only.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "platform/PlayerBridge.h"

class Clock;
class QDBusError;
class QDBusPendingCallWatcher;

class MprisPlayerBridge final : public QObject, public PlayerBridge {
    Q_OBJECT
public:
    static constexpr const char* kSpotifyBusName = "org.mpris.MediaPlayer2.spotify";
    // A player that does not answer within this time fails the query, so that the
    // next poll can try again.
    static constexpr int kQueryTimeoutMs = 10000;
    // A position of exactly 0 is taken as real only this long into a track.
    static constexpr double kZeroPositionGrace = 3.0;

    // `clock` must outlive the bridge; it times players that always report position 0.
    explicit MprisPlayerBridge(const Clock& clock, QDBusConnection bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    ~MprisPlayerBridge() override;

    bool isRunning(const QString& player) const override;
    void query(const QString& player, std::function<void(const PlayerReply&)> done) override;

    // The bus name `player` maps to now; empty when no such player runs.
    QString busNameOf(const QString& player) const;

private slots:
    void nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    // The bridge's own playback clock for one player, for players that report 0.
    struct PlayClock {
        QString track;  // identity of the track it times
        double heldSeconds = 0.0;
        std::optional<double> runningSince;
        double elapsed(double now) const { return heldSeconds + (runningSince ? now - *runningSince : 0.0); }
    };
    struct Player {
        bool inFlight = false;
        std::function<void(const PlayerReply&)> waiting;
        PlayClock clock;
        std::unique_ptr<QObject> seekListener;
    };

    void listNames();
    void nameAppeared(const QString& name);
    void nameVanished(const QString& name);
    void send(const QString& busName, std::function<void(const PlayerReply&)> done);
    void answered(const QString& busName, QDBusPendingCallWatcher* call, const std::function<void(const PlayerReply&)>& done);
    std::optional<QString> answerText(const QString& busName, const QVariantMap& properties);
    void seeked(const QString& busName, qlonglong positionUs);

    const Clock& m_clock;
    QDBusConnection m_bus;
    QStringList m_names;  // MPRIS names, in bus order
    bool m_listing = false;
    std::set<QString> m_changedWhileListing;
    std::map<QString, Player> m_players;  // by bus name
};

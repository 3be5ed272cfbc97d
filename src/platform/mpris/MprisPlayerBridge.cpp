#include "platform/mpris/MprisPlayerBridge.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusObjectPath>
#include <QTimer>
#include <functional>
#include <utility>

#include "platform/Clock.h"

namespace {

const QString kMprisPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");

bool isMprisName(const QString& name)
{
    return name.startsWith(kMprisPrefix) && name.size() > kMprisPrefix.size();
}

// Player data is untrusted: a value of the wrong type reads as empty.
QString textOf(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// Joins the pieces a player gives for a field; a line break inside one would shift
// the seven lines of the answer, so it becomes a space.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QString artistsOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return textOf(value);
}

// Lengths and positions come as 64-bit integers by the MPRIS rules; some players
// send other number types.
std::optional<qint64> microsecondsOf(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::Double: {
        const double v = value.toDouble();
        if (v == v && v > -9.2e18 && v < 9.2e18)
            return qint64(v);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// `value` / 10^digits written exactly, without an exponent: 215500000 µs with 6
// digits is "215.5".
QString decimalText(qint64 value, int digits)
{
    const bool negative = value < 0;
    const quint64 magnitude = negative ? 0ULL - quint64(value) : quint64(value);
    quint64 divisor = 1;
    for (int i = 0; i < digits; ++i)
        divisor *= 10;
    QString text = (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / divisor);
    if (const quint64 fraction = magnitude % divisor) {
        QString part = QString::number(fraction).rightJustified(digits, QLatin1Char('0'));
        while (part.endsWith(QLatin1Char('0')))
            part.chop(1);
        text += QLatin1Char('.') + part;
    }
    return text;
}

QVariantMap metadataOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QVariantMap)
        return value.toMap();
    if (value.canConvert<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}"))
            return qdbus_cast<QVariantMap>(argument);
    }
    return {};
}

PlayerReply failure(int number)
{
    PlayerReply reply;
    reply.failed = true;
    reply.errorNumber = number;
    return reply;
}

}  // namespace

// Follows one player's Seeked signal; the bus delivers only that player's.
class MprisSeekListener final : public QObject {
    Q_OBJECT
public:
    explicit MprisSeekListener(std::function<void(qlonglong)> handler) : m_handler(std::move(handler)) {}
public slots:
    void seeked(qlonglong positionUs) { m_handler(positionUs); }

private:
    std::function<void(qlonglong)> m_handler;
};

MprisPlayerBridge::MprisPlayerBridge(const Clock& clock, QDBusConnection bus, QObject* parent)
    : QObject(parent), m_clock(clock), m_bus(std::move(bus))
{
    // Listen for changes before listing, so a player that appears meanwhile is not
    // missed; changes seen while the list is on its way win over the list.
    m_bus.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                  SLOT(nameOwnerChanged(QString, QString, QString)));
    listNames();
}

MprisPlayerBridge::~MprisPlayerBridge()
{
    m_bus.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                     SLOT(nameOwnerChanged(QString, QString, QString)));
    for (const auto& [name, player] : m_players)
        if (player.seekListener)
            m_bus.disconnect(name, kObjectPath, kPlayerInterface, QStringLiteral("Seeked"), player.seekListener.get(),
                             SLOT(seeked(qlonglong)));
}

void MprisPlayerBridge::listNames()
{
    m_listing = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, QStringLiteral("ListNames"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        m_listing = false;
        const QDBusPendingReply<QStringList> reply = *finished;
        if (reply.isError()) {
            // Without a list only players that start from now on are seen.
            qWarning("vesmer: player list unavailable: %s", qPrintable(reply.error().message()));
        } else {
            for (const QString& name : reply.value())
                if (isMprisName(name) && !m_changedWhileListing.contains(name))
                    nameAppeared(name);
        }
        m_changedWhileListing.clear();
    });
}

void MprisPlayerBridge::nameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner)
{
    if (!isMprisName(name))
        return;
    if (m_listing)
        m_changedWhileListing.insert(name);
    if (!oldOwner.isEmpty())
        nameVanished(name);
    if (!newOwner.isEmpty())
        nameAppeared(name);
}

void MprisPlayerBridge::nameAppeared(const QString& name)
{
    if (!m_names.contains(name))
        m_names << name;
}

void MprisPlayerBridge::nameVanished(const QString& name)
{
    m_names.removeAll(name);
    const auto it = m_players.find(name);
    if (it == m_players.end())
        return;
    // A later owner of the name is another instance: time it afresh.
    it->second.clock = PlayClock{};
    if (it->second.seekListener) {
        m_bus.disconnect(name, kObjectPath, kPlayerInterface, QStringLiteral("Seeked"), it->second.seekListener.get(),
                         SLOT(seeked(qlonglong)));
        it->second.seekListener.reset();
    }
}

QString MprisPlayerBridge::busNameOf(const QString& player) const
{
    const QString spotify = QString::fromLatin1(kSpotifyBusName);
    if (player == QLatin1String("Spotify"))
        return m_names.contains(spotify) ? spotify : QString();
    for (const QString& name : m_names)
        if (name != spotify)
            return name;
    return {};
}

bool MprisPlayerBridge::isRunning(const QString& player) const
{
    return !busNameOf(player).isEmpty();
}

void MprisPlayerBridge::query(const QString& player, std::function<void(const PlayerReply&)> done)
{
    const QString busName = busNameOf(player);
    if (busName.isEmpty()) {
        // Gone since the caller looked: answer later, as a real query would.
        QTimer::singleShot(0, this, [done = std::move(done)] { done(failure(int(QDBusError::ServiceUnknown))); });
        return;
    }
    Player& state = m_players[busName];
    if (!state.seekListener) {
        state.seekListener = std::make_unique<MprisSeekListener>(
            [this, busName](qlonglong positionUs) { seeked(busName, positionUs); });
        m_bus.connect(busName, kObjectPath, kPlayerInterface, QStringLiteral("Seeked"), state.seekListener.get(),
                      SLOT(seeked(qlonglong)));
    }
    if (state.inFlight) {
        state.waiting = std::move(done);
        return;
    }
    send(busName, std::move(done));
}

void MprisPlayerBridge::send(const QString& busName, std::function<void(const PlayerReply&)> done)
{
    m_players[busName].inFlight = true;
    QDBusMessage call = QDBusMessage::createMethodCall(busName, kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << kPlayerInterface;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kQueryTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, busName, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                answered(busName, finished, done);
            });
}

void MprisPlayerBridge::answered(const QString& busName, QDBusPendingCallWatcher* call,
                                 const std::function<void(const PlayerReply&)>& done)
{
    const QDBusPendingReply<QVariantMap> reply = *call;
    PlayerReply answer;
    if (reply.isError()) {
        const QDBusError error = reply.error();
        answer = failure(error.type() == QDBusError::AccessDenied ? PlayerReply::kNotPermitted : int(error.type()));
    } else {
        answer.text = answerText(busName, reply.value());
    }
    answer.busName = busName;

    // The waiting query goes out before this answer is handed on, so a query the
    // answer's receiver makes queues behind it rather than beside it.
    Player& state = m_players[busName];
    state.inFlight = false;
    if (auto next = std::exchange(state.waiting, {}))
        send(busName, std::move(next));
    done(answer);
}

std::optional<QString> MprisPlayerBridge::answerText(const QString& busName, const QVariantMap& properties)
{
    const QString status = textOf(properties.value(QStringLiteral("PlaybackStatus")));
    const bool playing = status == QLatin1String("Playing");
    if (!playing && status != QLatin1String("Paused"))
        return std::nullopt;
    const QVariantMap metadata = metadataOf(properties.value(QStringLiteral("Metadata")));
    const QVariant trackId = metadata.value(QStringLiteral("mpris:trackid"));
    const QString trackPath = trackId.canConvert<QDBusObjectPath>() ? trackId.value<QDBusObjectPath>().path() : textOf(trackId);
    if (metadata.isEmpty() || trackPath == kNoTrack)
        return std::nullopt;

    const QString title = oneLine(textOf(metadata.value(QStringLiteral("xesam:title"))));
    const QString artist = oneLine(artistsOf(metadata.value(QStringLiteral("xesam:artist"))));
    const QString album = oneLine(textOf(metadata.value(QStringLiteral("xesam:album"))));
    const QString artUrl = oneLine(textOf(metadata.value(QStringLiteral("mpris:artUrl"))));
    const qint64 lengthUs = microsecondsOf(metadata.value(QStringLiteral("mpris:length"))).value_or(0);
    qint64 positionUs = microsecondsOf(properties.value(QStringLiteral("Position"))).value_or(0);

    // Some players report position 0 all along while playing; their lyrics would
    // never move on. Our own clock stands in once the track is past its start.
    PlayClock& clock = m_players[busName].clock;
    const double now = m_clock.now();
    const QString identity = trackPath + QLatin1Char('\n') + title + QLatin1Char('\n') + artist + QLatin1Char('\n') +
                             album + QLatin1Char('\n') + QString::number(lengthUs);
    if (identity != clock.track)
        clock = PlayClock{identity, 0.0, std::nullopt};
    if (playing && !clock.runningSince)
        clock.runningSince = now;
    if (!playing && clock.runningSince) {
        clock.heldSeconds = clock.elapsed(now);
        clock.runningSince.reset();
    }
    if (positionUs == 0 && clock.elapsed(now) > kZeroPositionGrace)
        positionUs = qint64(clock.elapsed(now) * 1e6);

    const bool spotify = busName == QLatin1String(kSpotifyBusName);
    const QStringList lines{title, artist, artUrl, playing ? QStringLiteral("true") : QStringLiteral("false"), album,
                            decimalText(lengthUs, spotify ? 3 : 6), decimalText(positionUs, 6)};
    return lines.join(QLatin1Char('\n'));
}

void MprisPlayerBridge::seeked(const QString& busName, qlonglong positionUs)
{
    PlayClock& clock = m_players[busName].clock;
    clock.heldSeconds = double(positionUs) / 1e6;
    if (clock.runningSince)
        clock.runningSince = m_clock.now();
}

#include "MprisPlayerBridge.moc"

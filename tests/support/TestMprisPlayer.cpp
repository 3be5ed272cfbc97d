#include "TestMprisPlayer.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMutexLocker>
#include <QUuid>

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
}  // namespace

TestMprisPlayer::TestMprisPlayer(const QString& busName)
    : m_connectionName(QStringLiteral("test-player-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName)),
      m_busName(busName)
{
    m_registered = m_connection.registerVirtualObject(kPath, this, QDBusConnection::SingleNode) &&
                   m_connection.registerService(busName);
}

TestMprisPlayer::~TestMprisPlayer()
{
    m_connection.unregisterService(m_busName);
    m_connection.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void TestMprisPlayer::setTrack(const QString& title, const QStringList& artists, const QString& album, qint64 lengthUs,
                               const QString& artUrl)
{
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(QStringLiteral("/test/track/1")))},
        {QStringLiteral("xesam:title"), title},
        {QStringLiteral("xesam:artist"), artists},
        {QStringLiteral("xesam:album"), album},
    };
    if (lengthUs != 0)
        metadata.insert(QStringLiteral("mpris:length"), QVariant::fromValue(lengthUs));
    if (!artUrl.isEmpty())
        metadata.insert(QStringLiteral("mpris:artUrl"), artUrl);
    setMetadata(metadata);
}

void TestMprisPlayer::setMetadata(const QVariantMap& metadata)
{
    QMutexLocker lock(&m_mutex);
    m_metadata = metadata;
}

void TestMprisPlayer::setStatus(const QString& playbackStatus)
{
    QMutexLocker lock(&m_mutex);
    m_status = playbackStatus;
}

void TestMprisPlayer::setPositionUs(qint64 position)
{
    QMutexLocker lock(&m_mutex);
    m_position = position;
}

void TestMprisPlayer::setMode(Mode mode)
{
    QMutexLocker lock(&m_mutex);
    m_mode = mode;
}

void TestMprisPlayer::seek(qint64 positionUs)
{
    setPositionUs(positionUs);
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kPlayer, QStringLiteral("Seeked"));
    signal << QVariant::fromValue(positionUs);
    m_connection.send(signal);
}

int TestMprisPlayer::getAllCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_getAllCalls;
}

QString TestMprisPlayer::introspect(const QString&) const
{
    return QStringLiteral(
        "<interface name=\"org.mpris.MediaPlayer2.Player\">"
        "<property name=\"Metadata\" type=\"a{sv}\" access=\"read\"/>"
        "<property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>"
        "<property name=\"Position\" type=\"x\" access=\"read\"/>"
        "<signal name=\"Seeked\"><arg name=\"Position\" type=\"x\"/></signal>"
        "</interface>");
}

bool TestMprisPlayer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    QMutexLocker lock(&m_mutex);
    if (message.member() != QLatin1String("GetAll"))
        return false;
    ++m_getAllCalls;
    switch (m_mode) {
    case Mode::Silent:
        return true;  // handled, never answered
    case Mode::Refuse:
        connection.send(message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed")));
        return true;
    case Mode::Answer:
        break;
    }
    QVariantMap properties{{QStringLiteral("PlaybackStatus"), m_status},
                           {QStringLiteral("Position"), QVariant::fromValue(m_position)}};
    if (message.arguments().value(0).toString() == kPlayer)
        properties.insert(QStringLiteral("Metadata"), m_metadata);
    connection.send(message.createReply(QVariant::fromValue(properties)));
    return true;
}

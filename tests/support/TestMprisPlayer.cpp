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
    : m_connectionName(QUuid::createUuid().toString()),
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

QVariantMap TestMprisPlayer::track(const QString& title, const QStringList& artists, const QString& album,
                                   qint64 lengthUs, const QString& artUrl)
{
    QVariantMap metadata{{"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/test/track/1"))},
                         {"xesam:title", title}, {"xesam:artist", artists}, {"xesam:album", album}};
    if (lengthUs != 0)
        metadata.insert("mpris:length", QVariant::fromValue(lengthUs));
    if (!artUrl.isEmpty())
        metadata.insert("mpris:artUrl", artUrl);
    return metadata;
}

void TestMprisPlayer::change(const std::function<void(State&)>& edit)
{
    QMutexLocker lock(&m_mutex);
    edit(m_state);
}

TestMprisPlayer::State TestMprisPlayer::state() const
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

void TestMprisPlayer::sendSeeked(qint64 positionUs)
{
    m_connection.send(QDBusMessage::createSignal(kPath, kPlayer, "Seeked") << QVariant::fromValue(positionUs));
}

bool TestMprisPlayer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    QMutexLocker lock(&m_mutex);
    if (message.member() != QLatin1String("GetAll"))
        return false;
    ++m_state.getAllCalls;
    if (m_state.mode == Mode::Refuse)
        connection.send(message.createErrorReply(QDBusError::AccessDenied, "not allowed"));
    if (m_state.mode != Mode::Answer)
        return true;  // refused, or never answered
    const QVariantMap properties{{"PlaybackStatus", m_state.status}, {"Metadata", m_state.metadata},
                                 {"Position", QVariant::fromValue(m_state.positionUs)}};
    connection.send(message.createReply(QVariant::fromValue(properties)));
    return true;
}

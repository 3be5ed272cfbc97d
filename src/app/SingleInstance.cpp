#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

namespace {
// Long enough for a primary that is busy starting capture.
constexpr int kCallTimeoutMs = 8000;
const QString kInterface = QStringLiteral("org.freedesktop.Application");
}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::Role SingleInstance::claim(const QStringList& urls)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_problem = QStringLiteral("no session bus (%1)").arg(bus.lastError().message());
        return Role::Standalone;
    }
    if (handOver(urls) == HandOver::Done)
        return Role::HandedOver;
    if (becomePrimary())
        return Role::Primary;
    // Another process took the name between our call and our request.
    switch (handOver(urls)) {
    case HandOver::Done:
        return Role::HandedOver;
    case HandOver::NobodyThere:
        m_problem = QStringLiteral("could not own %1 on the session bus").arg(QLatin1String(kServiceName));
        return Role::Failed;
    case HandOver::NoAnswer:
        break;
    }
    m_problem = QStringLiteral("another vesmer is running but does not answer");
    return Role::Failed;
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& urls)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kServiceName), QLatin1String(kObjectPath),
        kInterface, urls.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    // The name is never bus-activated: without a running instance we start one ourselves.
    call.setAutoStartService(false);
    if (urls.isEmpty())
        call << QVariantMap();
    else
        call << urls << QVariantMap();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Done;
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return HandOver::NobodyThere;
    return HandOver::NoAnswer;
}

bool SingleInstance::becomePrimary()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object is in place before the name is ours, so the first hand-over
    // after the name appears already finds it.
    if (!bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportScriptableSlots))
        return false;
    const auto reply = bus.interface()->registerService(QLatin1String(kServiceName),
        QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    bus.unregisterObject(QLatin1String(kObjectPath));
    return false;
}

void SingleInstance::Activate(const QVariantMap&)
{
    emit activated();
}

void SingleInstance::Open(const QStringList& uris, const QVariantMap&)
{
    emit urlsOpened(uris);
}

void SingleInstance::ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
{
    emit activated();
}

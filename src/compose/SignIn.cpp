#include "compose/SignIn.h"

#include <QJsonDocument>
#include <QPointer>

#include "compose/BackendOrigin.h"
#include "compose/ComposeClient.h"
#include "platform/Settings.h"

const QString SignIn::kInvalid = QStringLiteral("invalid");
const QString SignIn::kAccepted = QStringLiteral("accepted");
const QString SignIn::kExpiredNote = QStringLiteral("session expired — sign in again");

SignIn::SignIn(Settings& settings, ComposeClient& client, QNetworkAccessManager& network, MainQueue& queue,
               QObject* parent)
    : QObject(parent), m_settings(settings), m_client(client), m_exchange(network, queue)
{
}

void SignIn::storeKey(const QString& key)
{
    m_settings.setValue(QStringLiteral("pro.key"), key);
}

QUrl SignIn::signInPage()
{
    return QUrl(QString::fromLatin1(kBuiltInBackendOrigin) + QStringLiteral("/app/?desktop-auth=1"));
}

void SignIn::validateKey()
{
    emit verdictChanged({}, {});
    const ComposeClient::Config config = m_client.config();
    if (config.appKey.isEmpty())
        return;
    const QString url = config.baseUrl + QStringLiteral("/api/desktop-key");
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.isRelative())
        return;
    m_exchange.send({"GET", url, config.appKey, std::nullopt, kCheckTimeout},
                    [self = QPointer(this), sentKey = config.appKey](const BackendAnswer& answer) {
                        // A verdict on a key that is no longer configured says nothing.
                        if (!self || self->m_client.config().appKey != sentKey || answer.transportError)
                            return;
                        if (answer.status == 401 || answer.status == 403)
                            emit self->verdictChanged(kInvalid, kExpiredNote);
                        else if (answer.status == 200 && QJsonDocument::fromJson(answer.body).isObject())
                            emit self->verdictChanged(kAccepted, {});
                    });
}

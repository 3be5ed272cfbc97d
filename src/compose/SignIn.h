#pragma once
// Sign-in to the composition backend: the key handed back by the sign-in page is
// stored under "pro.key"; the key check asks the backend whether the configured
// key is still accepted. Verdicts for a key no longer configured are dropped.
// Main thread only.

#include <QObject>
#include <QString>
#include <QUrl>

#include "compose/BackendExchange.h"

class ComposeClient;
class Desktop;
class MainQueue;
class QNetworkAccessManager;
class Settings;

class SignIn : public QObject {
    Q_OBJECT
public:
    static constexpr double kCheckTimeout = 10.0;
    static const QString kInvalid;         // "invalid"
    static const QString kAccepted;        // "accepted"
    static const QString kExpiredNote;     // "session expired — sign in again"

    SignIn(Settings& settings, ComposeClient& client, QNetworkAccessManager& network, MainQueue& queue,
           QObject* parent = nullptr);

    // Stores the key unchanged under "pro.key".
    void storeKey(const QString& key);
    // Forgets any verdict, then asks the backend about the configured key.
    void validateKey();
    // The built-in origin's sign-in page; it does not follow a configured baseUrl.
    static QUrl signInPage();

signals:
    // keyState "" / "accepted" / "invalid", and the panel's note.
    void verdictChanged(const QString& keyState, const QString& keyStatus);

private:
    Settings& m_settings;
    ComposeClient& m_client;
    BackendExchange m_exchange;
};

#pragma once
// One HTTP exchange with the composition backend on the app's network manager:
// a time-out armed on the MainQueue (so virtual-clock tests can let it expire),
// and exactly one completion on the main thread, also when the URL cannot be
// formed or the owner is destroyed first (then the completion is dropped).
// A reply that carries an HTTP status is a response, whatever Qt's error says.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class MainQueue;
class QNetworkAccessManager;
class QNetworkReply;

struct BackendAnswer {
    std::optional<QString> transportError;  // set: no HTTP response at all
    int status = 0;                         // 0 when the response is not HTTP
    QByteArray body;
};

class BackendExchange : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;  // "GET" or "POST"
        QString url;        // absolute; an invalid one ends in a transport error
        QString appKey;     // sent as "x-app-key" when not empty
        std::optional<QByteArray> jsonBody;  // sent with "content-type: application/json"
        double timeoutSeconds = 0;
    };
    using Done = std::function<void(const BackendAnswer&)>;

    static const QString kTimedOut;
    static const QString kBadUrl;

    BackendExchange(QNetworkAccessManager& network, MainQueue& queue, QObject* parent = nullptr);
    ~BackendExchange() override;

    void send(const Request& request, Done done);

private:
    QNetworkAccessManager& m_network;
    MainQueue& m_queue;
    QSet<QNetworkReply*> m_replies;
};

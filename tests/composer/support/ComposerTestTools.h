#pragma once
// Shared by the composer's tests and the app's tests of the real composer: the
// page's description and verdict, the lexicon, a live server, blocking HTTP.

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <thread>

#include "Composer.h"
#include "KeyStore.h"
#include "Lexicon.h"
#include "PageModel.h"
#include "Server.h"

namespace composer::test {

// vesmerSpec()'s object: {"spec": …, "schema": …}, from the shipped page code.
QJsonObject pageDescription();
PageModel pageModel();
std::shared_ptr<const Lexicon> shippedLexicon();

// Expects the page (visuals/lib/graph.js under Node) to draw every graph: not
// refused, not a fallback, not too heavy, not blank.
void expectDrawable(const QList<QJsonObject>& graphs);

QByteArray json(const QJsonObject& o);
using Headers = QList<QPair<QByteArray, QByteArray>>;
inline Headers withKey(const QString& key) { return {{"x-app-key", key.toUtf8()}}; }

// Compose request bodies as the app's client sends them: the prompt form and the cover form.
QJsonObject promptRequest(const QString& prompt, bool fresh = false, bool vary = false,
                          const QJsonValue& lastGraph = QJsonValue::Null);
QJsonObject coverRequest(const QString& steer, const QString& imageDataUrl, const QStringList& palette);

struct Reply {
    int status = 0;  // 0: no HTTP response
    QByteArray body;
    QJsonObject json;
    QHash<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    QJsonObject graph() const { return json.value(QLatin1String("graph")).toObject(); }
};

// Blocking exchanges on the calling (main) thread's event loop.
class Http {
public:
    explicit Http(QString base) : m_base(std::move(base)) {}
    Reply get(const QString& path, const Headers& headers = {}) { return send("GET", path, {}, headers); }
    Reply post(const QString& path, const QByteArray& body, Headers headers = {},
               const QByteArray& contentType = "application/json")
    {
        headers.prepend({"content-type", contentType});
        return send("POST", path, body, headers);
    }
    Reply compose(const QJsonObject& request, const QString& key) { return post("/api/compose", json(request), withKey(key)); }
    Reply send(const QByteArray& method, const QString& path, const QByteArray& body = {}, const Headers& headers = {});

private:
    QString m_base;
    QNetworkAccessManager m_nam;
};

// The real server in this process on a free loopback port, with a real SQLite
// file in a temporary folder; collects its log lines.
class LiveServer {
public:
    explicit LiveServer(ServerOptions options = {}, LlmEngine* llm = nullptr);
    ~LiveServer();
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    KeyStore& keys() { return *m_keys; }
    Composer& composer() { return *m_composer; }
    QString issueKey() { return m_keys->issue(QStringLiteral("test"))->key; }
    // The log lines once there are `count` (each is written just after its
    // answer goes out), or what there is after two seconds.
    QStringList waitForLogLines(int count = 0) const;
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    mutable QMutex m_mutex;
    QStringList m_lines;
    std::unique_ptr<KeyStore> m_keys;
    std::unique_ptr<Composer> m_composer;
    std::unique_ptr<Server> m_server;
    std::thread m_thread;
    int m_port = -1;
};

// A free TCP port on 127.0.0.1 (bound and released).
int freeLoopbackPort();

}  // namespace composer::test

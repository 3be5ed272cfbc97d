#pragma once
// The optional language-model engine: asks an OpenAI-compatible chat-completions
// server (llama.cpp's server, Ollama, vLLM, …) for a graph. The HTTP exchange
// runs on a thread of its own with one QNetworkAccessManager; callers on any
// other thread block until the answer, an error or the deadline.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QThread;
class QObject;
class QNetworkAccessManager;

namespace composer {

struct LlmQuestion {
    QJsonObject guide, schema;  // the request's "spec" and "schema"
    QString prompt;
    bool fresh = false;
    std::optional<QJsonObject> lastGraph;  // for "vary"
    QJsonObject cover;                     // the cover form: palette and image figures
};

struct LlmAnswer {
    std::optional<QJsonObject> graph;  // the model's graph, unchecked
    QString failure;                   // why there is none: "no answer within 15 s", …
};

class LlmEngine {
public:
    // `url`: the server's base URL (…/v1 is added) or the full …/chat/completions URL.
    LlmEngine(const QUrl& url, const QString& model, std::chrono::milliseconds timeout, int maxConcurrent = 6);
    ~LlmEngine();
    LlmEngine(const LlmEngine&) = delete;
    LlmEngine& operator=(const LlmEngine&) = delete;

    LlmAnswer ask(const LlmQuestion& question);
    QUrl endpoint() const { return m_endpoint; }
    QString timeoutText() const;

    // The request body sent for a question (exposed for the tests).
    QByteArray requestBody(const LlmQuestion& question) const;
    // The graph in a chat-completions reply, or why there is none.
    static LlmAnswer parseReply(const QByteArray& body);

private:
    QUrl m_endpoint;
    QString m_model;
    std::chrono::milliseconds m_timeout;
    int m_maxConcurrent;
    std::atomic<int> m_inFlight{0};
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;           // lives in m_thread
    QNetworkAccessManager* m_nam = nullptr;  // lives in m_thread
};

}  // namespace composer

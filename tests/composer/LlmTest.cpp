// The language-model engine against a scripted loopback stand-in for an
// OpenAI-compatible chat-completions server. Whatever the model does, the client
// gets a drawable graph and the log line says which engine answered.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <atomic>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

#include "ComposerTestTools.h"
#include "LlmEngine.h"

using namespace composer;
using namespace composer::test;

namespace {

QJsonObject goodGraph()
{
    return QJsonDocument::fromJson(R"({"name": "Model tide", "palette": ["#1b3a8a", "#36d6e7", "#f5f1c8"],
        "paletteAmount": 0.6, "background": {"top": "#050a24", "bottom": "#000000"},
        "layers": [{"type": "waves", "color": 1, "color2": 2, "intensity": 1.1, "detail": 0.6, "react": "bass"}],
        "motion": {"speed": 0.8, "flash": 0.2}, "post": {"bloom": 0.5, "vignette": 0.5}})").object();
}

// Answers POST /v1/chat/completions with the message content it is given, after
// a delay; remembers what it was asked.
class StandIn {
public:
    StandIn()
    {
        m_http.Post("/v1/chat/completions", [this](const httplib::Request& req, httplib::Response& res) {
            QMutexLocker lock(&m_mutex);
            m_requests << QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
            const QJsonObject choice{{"index", 0}, {"message", QJsonObject{{"role", "assistant"}, {"content", m_content}}}};
            res.status = m_status;
            res.set_content(json({{"object", "chat.completion"}, {"choices", QJsonArray{choice}}}).toStdString(), "application/json");
            const int delayMs = m_delayMs;
            lock.unlock();
            for (int i = 0; i < delayMs / 10 && !m_stopping; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
        m_port = m_http.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_http.listen_after_bind(); });
        while (!m_http.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~StandIn()
    {
        m_stopping = true;
        m_http.stop();
        m_thread.join();
    }
    void answer(const QByteArray& content, int status = 200, int delayMs = 0)
    {
        QMutexLocker lock(&m_mutex);
        m_content = QString::fromUtf8(content), m_status = status, m_delayMs = delayMs;
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QJsonObject request(int n) const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests.value(n);
    }
    // The user message of the n-th request, as the object it carries.
    QJsonObject userMessage(int n) const { return QJsonDocument::fromJson(request(n)["messages"][1]["content"].toString().toUtf8()).object(); }

private:
    httplib::Server m_http;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable QMutex m_mutex;
    QList<QJsonObject> m_requests;
    QString m_content = QString::fromUtf8(json(goodGraph()));
    int m_status = 200, m_delayMs = 0;
};

struct Outcome { int status = 0; QJsonObject graph; QString logLine; qint64 ms = 0; };

class ComposerLlm : public ::testing::Test {
protected:
    StandIn standIn;
    LlmEngine llm{standIn.url(), QStringLiteral("test-model"), std::chrono::milliseconds(800)};
    LiveServer server{ServerOptions{}, &llm};
    Http http{server.base()};
    QString key = server.issueKey();

    Outcome compose(const QJsonObject& request)
    {
        QElapsedTimer t;
        t.start();
        const int before = int(server.waitForLogLines().size());
        const Reply r = http.compose(request, key);
        const qint64 ms = t.elapsed();
        return {r.status, r.graph(), server.waitForLogLines(before + 1).value(before), ms};
    }
};

}  // namespace

TEST_F(ComposerLlm, AGoodReplyIsTheAnswerAndTheModelGetsThePagesDescription)
{
    const QJsonObject request = promptRequest("a midnight tide");
    const Outcome o = compose(request);
    ASSERT_EQ(o.status, 200);
    EXPECT_TRUE(o.logLine.endsWith(" llm")) << o.logLine.toStdString();
    EXPECT_EQ(o.graph.value("name").toString(), "Model tide");
    EXPECT_TRUE(standIn.request(1).isEmpty());  // one request only
    const QJsonObject sent = standIn.request(0);
    EXPECT_EQ(sent.value("model").toString(), "test-model");
    EXPECT_EQ(sent["response_format"]["type"].toString(), "json_object");
    EXPECT_EQ(standIn.userMessage(0),
              (QJsonObject{{"prompt", request["prompt"]}, {"spec", request["spec"]}, {"schema", request["schema"]}}));

    // "vary" sends the last graph along, and its palette stays.
    QJsonObject last = goodGraph();
    last.insert("palette", QJsonArray{"#ff0000", "#00ff00"});
    const Outcome varied = compose(promptRequest("a midnight tide", true, true, last));
    EXPECT_EQ(standIn.userMessage(1).value("lastGraph").toObject(), last);
    EXPECT_EQ(varied.graph.value("palette"), last.value("palette"));

    // A reply in prose and a code fence is read too, and so is one wrapped in {"graph": …}.
    standIn.answer("Here you go:\n```json\n" + json({{"graph", goodGraph()}}) + "\n```");
    const Outcome fenced = compose(promptRequest("fenced"));
    EXPECT_EQ(fenced.graph.value("name").toString(), "Model tide");
    expectDrawable({o.graph, varied.graph, fenced.graph});
}

TEST_F(ComposerLlm, AnUnusableHeavyOrSlowReplyStillGivesADrawableGraph)
{
    QJsonObject heavy = goodGraph(), blank = goodGraph();
    QJsonArray layers;
    for (int i = 0; i < 6; ++i)
        layers.append(QJsonObject{{"type", i % 2 ? "kaleido" : "nebula"}, {"detail", 1}, {"color", i % 3}});
    heavy.insert("layers", layers);
    blank.insert("palette", QJsonArray{"#000000"});
    blank.insert("background", QJsonObject{{"top", "#000000"}, {"bottom", "#000000"}});
    const struct { QByteArray content; int status, delayMs; const char* log; } cases[] = {
        {"{oops", 200, 0, "builtin (llm: unusable answer (no JSON object))"},
        {"{}", 500, 0, "builtin (llm: HTTP 500)"},
        {json(blank), 200, 0, "builtin (llm: unusable answer (the scene would be blank))"},
        {json(heavy), 200, 0, "llm (trimmed to the cost limit)"},
        {json(goodGraph()), 200, 3000, "builtin (llm: no answer within 800 ms)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        standIn.answer(c.content, c.status, c.delayMs);
        const Outcome o = compose(promptRequest("ocean waves"));
        ASSERT_EQ(o.status, 200);
        EXPECT_TRUE(o.logLine.contains(c.log)) << o.logLine.toStdString();
        expectDrawable({o.graph});  // the page refuses a graph over its cost limit
        if (o.logLine.contains("builtin"))  // the built-in engine's answer for that prompt
            EXPECT_EQ(o.graph, server.composer().compose(json(promptRequest("ocean waves"))).body.value("graph").toObject());
        if (c.delayMs) {
            EXPECT_GE(o.ms, 750);
            EXPECT_LT(o.ms, 2500);
        }
    }
}

// A refused connection is the program's test (an --llm-url where nothing listens).
TEST(ComposerLlmReply, TheEndpointIsFoundFromABaseUrl)
{
    EXPECT_EQ(LlmEngine(QUrl("http://127.0.0.1:1/v1"), QString(), std::chrono::milliseconds(800)).endpoint().path(), "/v1/chat/completions");
    EXPECT_FALSE(LlmEngine::parseReply("{\"choices\": []}").graph);
}

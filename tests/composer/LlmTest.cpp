// The language-model engine against a scripted loopback stand-in for an
// OpenAI-compatible chat-completions server: a good reply, garbage, a reply too
// heavy to draw, a slow reply and a refused connection. Whatever it does, the
// client gets a drawable graph and the log line says which engine answered.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <atomic>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

#include "ComposerTestTools.h"
#include "GraphCheck.h"
#include "LlmEngine.h"

using namespace composer;
using namespace composer::test;

namespace {

// Answers POST /v1/chat/completions as told; remembers what it was asked.
class StandIn {
public:
    enum Mode { Good, Fenced, Garbage, Heavy, Blank, Slow, Error500 };

    StandIn()
    {
        m_http.Post("/v1/chat/completions", [this](const httplib::Request& req, httplib::Response& res) {
            {
                QMutexLocker lock(&m_mutex);
                m_requests << QByteArray::fromStdString(req.body);
            }
            switch (mode.load()) {
            case Slow:
                for (int i = 0; i < 300 && !m_stopping; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                res.set_content(reply(goodGraph()), "application/json");
                return;
            case Error500:
                res.status = 500;
                res.set_content("{\"error\":\"model not loaded\"}", "application/json");
                return;
            case Garbage:
                res.set_content(chat(QStringLiteral("I'm sorry, I can only describe scenes in words: a blue sea.")),
                                "application/json");
                return;
            case Fenced:
                res.set_content(chat(QStringLiteral("Here you go:\n```json\n") + text(goodGraph()) + QStringLiteral("\n```")),
                                "application/json");
                return;
            case Heavy: {
                QJsonArray layers;
                for (int i = 0; i < 6; ++i)
                    layers.append(QJsonObject{{QStringLiteral("type"), i % 2 ? QStringLiteral("kaleido") : QStringLiteral("nebula")},
                                              {QStringLiteral("detail"), 1},
                                              {QStringLiteral("color"), i % 3}});
                QJsonObject g = goodGraph();
                g.insert(QStringLiteral("layers"), layers);
                res.set_content(reply(g), "application/json");
                return;
            }
            case Blank: {
                QJsonObject g = goodGraph();
                g.insert(QStringLiteral("palette"), QJsonArray{QStringLiteral("#000000")});
                g.insert(QStringLiteral("background"), QJsonObject{{QStringLiteral("top"), QStringLiteral("#000000")},
                                                                   {QStringLiteral("bottom"), QStringLiteral("#000000")}});
                res.set_content(reply(g), "application/json");
                return;
            }
            case Good:
                res.set_content(reply(goodGraph()), "application/json");
                return;
            }
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
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QList<QByteArray> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }

    static QJsonObject goodGraph()
    {
        return QJsonObject{
            {QStringLiteral("name"), QStringLiteral("Model tide")},
            {QStringLiteral("palette"), QJsonArray{QStringLiteral("#1b3a8a"), QStringLiteral("#36d6e7"), QStringLiteral("#f5f1c8")}},
            {QStringLiteral("paletteAmount"), 0.6},
            {QStringLiteral("background"), QJsonObject{{QStringLiteral("top"), QStringLiteral("#050a24")},
                                                       {QStringLiteral("bottom"), QStringLiteral("#000000")}}},
            {QStringLiteral("layers"),
             QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("waves")}, {QStringLiteral("color"), 1},
                                    {QStringLiteral("color2"), 2}, {QStringLiteral("intensity"), 1.1},
                                    {QStringLiteral("detail"), 0.6}, {QStringLiteral("react"), QStringLiteral("bass")}}}},
            {QStringLiteral("motion"), QJsonObject{{QStringLiteral("speed"), 0.8}, {QStringLiteral("flash"), 0.2}}},
            {QStringLiteral("post"), QJsonObject{{QStringLiteral("bloom"), 0.5}, {QStringLiteral("vignette"), 0.5}}}};
    }

    std::atomic<int> mode{Good};

private:
    static QString text(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }
    static std::string chat(const QString& content)
    {
        const QJsonObject body{
            {QStringLiteral("id"), QStringLiteral("chatcmpl-1")},
            {QStringLiteral("object"), QStringLiteral("chat.completion")},
            {QStringLiteral("choices"),
             QJsonArray{QJsonObject{{QStringLiteral("index"), 0},
                                    {QStringLiteral("message"), QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                                                            {QStringLiteral("content"), content}}},
                                    {QStringLiteral("finish_reason"), QStringLiteral("stop")}}}}};
        return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    }
    static std::string reply(const QJsonObject& graph) { return chat(text(graph)); }

    httplib::Server m_http;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
};

QByteArray body(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

struct Outcome {
    int status = 0;
    QJsonObject graph;
    QString logLine;
    qint64 ms = 0;
};

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
        const int before = int(server.logLines().size());
        const Reply r = http.post(QStringLiteral("/api/compose"), body(request), {{"x-app-key", key.toUtf8()}});
        const qint64 ms = t.elapsed();
        return {r.status, r.json.value(QLatin1String("graph")).toObject(), server.waitForLogLines(before + 1).value(before), ms};
    }
};

void expectDrawable(const QList<QJsonObject>& graphs)
{
    for (const Verdict& v : pageVerdicts(graphs))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();
}

}  // namespace

TEST_F(ComposerLlm, AGoodReplyIsTheAnswerAndTheModelGetsThePagesDescription)
{
    const Outcome o = compose(promptRequest(QStringLiteral("a midnight tide")));
    ASSERT_EQ(o.status, 200);
    EXPECT_TRUE(o.logLine.endsWith(QLatin1String(" llm"))) << o.logLine.toStdString();
    EXPECT_EQ(o.graph.value(QLatin1String("name")).toString(), QStringLiteral("Model tide"));
    EXPECT_EQ(o.graph.value(QLatin1String("layers")).toArray().size(), 1);

    ASSERT_EQ(standIn.requests().size(), 1);
    const QJsonObject sent = QJsonDocument::fromJson(standIn.requests().first()).object();
    EXPECT_EQ(sent.value(QLatin1String("model")).toString(), QStringLiteral("test-model"));
    EXPECT_EQ(sent.value(QLatin1String("response_format")).toObject().value(QLatin1String("type")).toString(),
              QStringLiteral("json_object"));
    const QJsonArray messages = sent.value(QLatin1String("messages")).toArray();
    ASSERT_EQ(messages.size(), 2);
    const QJsonObject user = QJsonDocument::fromJson(messages[1].toObject().value(QLatin1String("content")).toString().toUtf8()).object();
    EXPECT_EQ(user.value(QLatin1String("prompt")).toString(), QStringLiteral("a midnight tide"));
    EXPECT_EQ(user.value(QLatin1String("spec")), pageSpec().value(QLatin1String("spec")));
    EXPECT_EQ(user.value(QLatin1String("schema")), pageSpec().value(QLatin1String("schema")));
    EXPECT_FALSE(user.contains(QLatin1String("lastGraph")));

    // "vary" sends the last graph along, and its palette stays.
    QJsonObject last = StandIn::goodGraph();
    last.insert(QStringLiteral("palette"), QJsonArray{QStringLiteral("#ff0000"), QStringLiteral("#00ff00")});
    const Outcome varied = compose(promptRequest(QStringLiteral("a midnight tide"), true, true, last));
    const QJsonObject user2 = QJsonDocument::fromJson(
        QJsonDocument::fromJson(standIn.requests().last()).object().value(QLatin1String("messages")).toArray()[1]
            .toObject().value(QLatin1String("content")).toString().toUtf8()).object();
    EXPECT_EQ(user2.value(QLatin1String("lastGraph")).toObject(), last);
    EXPECT_EQ(varied.graph.value(QLatin1String("palette")), last.value(QLatin1String("palette")));

    // A reply wrapped in prose and a code fence is read too.
    standIn.mode = StandIn::Fenced;
    const Outcome fenced = compose(promptRequest(QStringLiteral("fenced")));
    EXPECT_TRUE(fenced.logLine.endsWith(QLatin1String(" llm"))) << fenced.logLine.toStdString();
    expectDrawable({o.graph, varied.graph, fenced.graph});
}

TEST_F(ComposerLlm, GarbageFallsBackToTheBuiltInEngine)
{
    standIn.mode = StandIn::Garbage;
    const Outcome o = compose(promptRequest(QStringLiteral("ocean waves")));
    ASSERT_EQ(o.status, 200);
    EXPECT_TRUE(o.logLine.contains(QLatin1String("builtin (llm: unusable answer"))) << o.logLine.toStdString();
    // The built-in engine's answer for that prompt.
    EXPECT_EQ(o.graph, server.composer().compose(body(promptRequest(QStringLiteral("ocean waves")))).body.value(QLatin1String("graph")).toObject());

    standIn.mode = StandIn::Error500;
    const Outcome e = compose(promptRequest(QStringLiteral("ocean waves")));
    EXPECT_TRUE(e.logLine.contains(QLatin1String("builtin (llm: HTTP 500)"))) << e.logLine.toStdString();

    standIn.mode = StandIn::Blank;
    const Outcome b = compose(promptRequest(QStringLiteral("ocean waves")));
    EXPECT_TRUE(b.logLine.contains(QLatin1String("builtin (llm: unusable answer (the scene would be blank))")))
        << b.logLine.toStdString();
    expectDrawable({o.graph, e.graph, b.graph});
}

TEST_F(ComposerLlm, AReplyTooHeavyToDrawIsTrimmedToTheCostLimit)
{
    standIn.mode = StandIn::Heavy;
    const Outcome o = compose(promptRequest(QStringLiteral("everything at once")));
    ASSERT_EQ(o.status, 200);
    EXPECT_TRUE(o.logLine.contains(QLatin1String("llm (trimmed to the cost limit)"))) << o.logLine.toStdString();
    const PageModel page = pageModel();
    EXPECT_LE(graphCost(o.graph, page), page.costLimit);
    const auto verdicts = pageVerdicts({o.graph});
    EXPECT_EQ(verdicts[0].status, QStringLiteral("ok")) << verdicts[0].message.toStdString();
    EXPECT_LE(verdicts[0].cost, page.costLimit);
}

TEST_F(ComposerLlm, ASlowReplyFallsBackAfterTheTimeout)
{
    standIn.mode = StandIn::Slow;
    const Outcome o = compose(promptRequest(QStringLiteral("patience")));
    ASSERT_EQ(o.status, 200);
    EXPECT_TRUE(o.logLine.contains(QLatin1String("builtin (llm: no answer within 800 ms)"))) << o.logLine.toStdString();
    EXPECT_GE(o.ms, 750);
    EXPECT_LT(o.ms, 2500);
    expectDrawable({o.graph});
}

TEST(ComposerLlmRefused, ARefusedConnectionFallsBack)
{
    const int port = freeLoopbackPort();  // nothing listens there any more
    LlmEngine llm(QUrl(QStringLiteral("http://127.0.0.1:%1/v1").arg(port)), QString(), std::chrono::milliseconds(800));
    EXPECT_EQ(llm.endpoint().path(), QStringLiteral("/v1/chat/completions"));
    LiveServer server(ServerOptions{}, &llm);
    Http http(server.base());
    const Reply r = http.post(QStringLiteral("/api/compose"), body(promptRequest(QStringLiteral("stars"))),
                              {{"x-app-key", server.issueKey().toUtf8()}});
    ASSERT_EQ(r.status, 200);
    const QString line = server.waitForLogLines(1).value(0);
    EXPECT_TRUE(line.contains(QLatin1String("builtin (llm: connection refused)"))) << line.toStdString();
    expectDrawable({r.json.value(QLatin1String("graph")).toObject()});
}

TEST(ComposerLlmReply, RepliesAreParsedDefensively)
{
    EXPECT_FALSE(LlmEngine::parseReply("not json").graph);
    EXPECT_FALSE(LlmEngine::parseReply("{\"choices\": []}").graph);
    EXPECT_FALSE(LlmEngine::parseReply("{\"choices\": [{\"message\": {\"content\": \"{oops\"}}]}").graph);
    const auto wrapped = LlmEngine::parseReply("{\"choices\": [{\"message\": {\"content\": \"{\\\"graph\\\": {\\\"layers\\\": []}}\"}}]}");
    ASSERT_TRUE(wrapped.graph);
    EXPECT_TRUE(wrapped.graph->contains(QLatin1String("layers")));
}

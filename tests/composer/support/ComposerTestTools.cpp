#include "ComposerTestTools.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace composer::test {

QByteArray json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject pageDescription()
{
    static const QJsonObject description = [] {
        QFile f(QStringLiteral(VESMER_PAGE_DESCRIPTION));
        f.open(QIODevice::ReadOnly);  // unreadable: pageModel() says why
        return QJsonDocument::fromJson(f.readAll()).object();
    }();
    return description;
}

PageModel pageModel()
{
    QString error;
    auto model = PageModel::read(pageDescription()["spec"].toObject(), pageDescription()["schema"].toObject(), &error);
    if (!model)
        throw std::runtime_error(error.toStdString());
    return *model;
}

std::shared_ptr<const Lexicon> shippedLexicon()
{
    static QString error;
    static const std::shared_ptr<const Lexicon> lex = Lexicon::load(QStringLiteral(VESMER_COMPOSER_LEXICON), &error);
    if (!lex)
        throw std::runtime_error(error.toStdString());
    return lex;
}

void expectDrawable(const QList<QJsonObject>& graphs)
{
    QJsonArray texts;
    for (const QJsonObject& g : graphs)
        texts.append(QString::fromUtf8(json(g)));
    QProcess node;
    node.start(QStringLiteral(NODE_EXECUTABLE), {QStringLiteral(VESMER_PAGE_VERDICT_JS), QStringLiteral(VESMER_GRAPH_JS)});
    node.write(QJsonDocument(texts).toJson(QJsonDocument::Compact));
    node.closeWriteChannel();
    ASSERT_TRUE(node.waitForFinished(30000) && node.exitCode() == 0) << node.readAllStandardError().toStdString();
    const QJsonArray verdicts = QJsonDocument::fromJson(node.readAllStandardOutput()).array();
    ASSERT_EQ(verdicts.size(), graphs.size());
    for (qsizetype i = 0; i < graphs.size(); ++i)
        EXPECT_EQ(verdicts[i].toString(), QStringLiteral("ok")) << json(graphs[i]).left(300).toStdString();
}

QJsonObject promptRequest(const QString& prompt, bool fresh, bool vary, const QJsonValue& lastGraph)
{
    const QJsonObject s = pageDescription();
    return {{"prompt", prompt}, {"spec", s.value("spec")}, {"schema", s.value("schema")}, {"provider", "cerebras"},
            {"fresh", fresh || vary}, {"vary", vary}, {"lastPrompt", QString()}, {"lastGraph", lastGraph}};
}

QJsonObject coverRequest(const QString& steer, const QString& imageDataUrl, const QStringList& palette)
{
    QJsonObject r = promptRequest(steer);
    r.insert("image", imageDataUrl);
    r.insert("palette", QJsonArray::fromStringList(palette));
    return r;
}

Reply Http::send(const QByteArray& method, const QString& path, const QByteArray& body, const Headers& headers)
{
    QNetworkRequest request(QUrl(m_base + path));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30000);
    for (const auto& [k, v] : headers)
        request.setRawHeader(k, v);
    QNetworkReply* reply = body.isNull() && method == "GET" ? m_nam.get(request)
                                                           : m_nam.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();  // 0: no answer
    r.body = reply->readAll();
    r.json = QJsonDocument::fromJson(r.body).object();
    for (const auto& [k, v] : reply->rawHeaderPairs())
        r.headers.insert(k.toLower(), v);
    reply->deleteLater();
    return r;
}

LiveServer::LiveServer(ServerOptions options, LlmEngine* llm)
{
    QString error;
    m_keys = KeyStore::open(m_dir.filePath(QStringLiteral("keys.sqlite")), &error);
    if (!m_keys)
        throw std::runtime_error(error.toStdString());
    m_composer = std::make_unique<Composer>(shippedLexicon(), llm);
    options.version = QStringLiteral("test");
    m_server = std::make_unique<Server>(options, *m_keys, *m_composer, [this](const QString& line) {
        QMutexLocker lock(&m_mutex);
        m_lines << line;
    });
    m_port = m_server->bind(QStringLiteral("127.0.0.1"), 0);
    if (m_port <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server->run(); });
}

LiveServer::~LiveServer()
{
    m_server->stop();
    m_thread.join();
}

QStringList LiveServer::waitForLogLines(int count) const
{
    for (int i = 0;; ++i) {
        QMutexLocker lock(&m_mutex);
        if (m_lines.size() >= count || i == 2000)
            return m_lines;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace composer::test

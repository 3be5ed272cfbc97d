#include "ComposerTestTools.h"

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

namespace composer::test {

namespace {

QJsonObject readJsonFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(("cannot read " + path).toStdString());
    return QJsonDocument::fromJson(f.readAll()).object();
}

}  // namespace

QJsonObject pageSpec()
{
    static const QJsonObject spec = readJsonFile(QStringLiteral(VESMER_PAGE_SPEC));
    return spec;
}

PageModel pageModel()
{
    const QJsonObject s = pageSpec();
    QString error;
    auto model = PageModel::read(s.value(QLatin1String("spec")).toObject(), s.value(QLatin1String("schema")).toObject(), &error);
    if (!model)
        throw std::runtime_error(error.toStdString());
    return *model;
}

std::shared_ptr<const Lexicon> shippedLexicon()
{
    static std::shared_ptr<const Lexicon> lex = [] {
        QString error;
        auto l = Lexicon::load(QStringLiteral(VESMER_COMPOSER_LEXICON), &error);
        if (!l)
            throw std::runtime_error(error.toStdString());
        return l;
    }();
    return lex;
}

QList<Verdict> pageVerdicts(const QList<QJsonObject>& graphs)
{
    QTemporaryDir dir;
    QJsonArray texts;
    for (const QJsonObject& g : graphs)
        texts.append(QString::fromUtf8(QJsonDocument(g).toJson(QJsonDocument::Compact)));
    QFile f(dir.filePath(QStringLiteral("graphs.json")));
    f.open(QIODevice::WriteOnly);
    f.write(QJsonDocument(texts).toJson(QJsonDocument::Compact));
    f.close();
    QProcess node;
    node.start(QStringLiteral(NODE_EXECUTABLE),
               {QStringLiteral(VESMER_PAGE_VERDICT_JS), QStringLiteral(VESMER_GRAPH_JS), f.fileName()});
    if (!node.waitForFinished(30000) || node.exitCode() != 0)
        throw std::runtime_error("page verdict failed: " + node.readAllStandardError().toStdString());
    QList<Verdict> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(node.readAllStandardOutput()).array()) {
        const QJsonObject o = v.toObject();
        out.append({o.value(QLatin1String("status")).toString(), o.value(QLatin1String("message")).toString(),
                    o.value(QLatin1String("cost")).toDouble()});
    }
    if (out.size() != graphs.size())
        throw std::runtime_error("page verdict: wrong number of answers");
    return out;
}

QJsonObject promptRequest(const QString& prompt, bool fresh, bool vary, const QJsonValue& lastGraph)
{
    const QJsonObject s = pageSpec();
    return {{QStringLiteral("prompt"), prompt},
            {QStringLiteral("spec"), s.value(QLatin1String("spec"))},
            {QStringLiteral("schema"), s.value(QLatin1String("schema"))},
            {QStringLiteral("provider"), QStringLiteral("cerebras")},
            {QStringLiteral("fresh"), fresh || vary},
            {QStringLiteral("vary"), vary},
            {QStringLiteral("lastPrompt"), QString()},
            {QStringLiteral("lastGraph"), lastGraph}};
}

QJsonObject coverRequest(const QString& steer, const QString& imageDataUrl, const QStringList& palette)
{
    const QJsonObject s = pageSpec();
    return {{QStringLiteral("prompt"), steer},
            {QStringLiteral("spec"), s.value(QLatin1String("spec"))},
            {QStringLiteral("schema"), s.value(QLatin1String("schema"))},
            {QStringLiteral("image"), imageDataUrl},
            {QStringLiteral("palette"), QJsonArray::fromStringList(palette)},
            {QStringLiteral("provider"), QStringLiteral("cerebras")},
            {QStringLiteral("lastPrompt"), QString()},
            {QStringLiteral("lastGraph"), QJsonValue::Null}};
}

QJsonObject clientCoverAdjust(QJsonObject graph, const QStringList& palette)
{
    if (!palette.isEmpty()) {
        graph.insert(QStringLiteral("palette"), QJsonArray::fromStringList(palette));
        const QJsonValue amount = graph.value(QLatin1String("paletteAmount"));
        graph.insert(QStringLiteral("paletteAmount"), std::max(amount.isDouble() ? amount.toDouble() : 0.0, 0.9));
    }
    if (graph.value(QLatin1String("post")).isObject()) {
        QJsonObject post = graph.value(QLatin1String("post")).toObject();
        post.insert(QStringLiteral("hue"), 0);
        graph.insert(QStringLiteral("post"), post);
    }
    return graph;
}

QString jpegDataUrl(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGBA8888).save(&buffer, "JPEG", 70);
    return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(bytes.toBase64());
}

QByteArray Reply::header(const QByteArray& name) const
{
    for (const auto& [k, v] : headers)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

Reply Http::get(const QString& path, const QList<QPair<QByteArray, QByteArray>>& headers)
{
    return send("GET", path, {}, headers);
}

Reply Http::post(const QString& path, const QByteArray& body, const QList<QPair<QByteArray, QByteArray>>& headers,
                 const QByteArray& contentType)
{
    QList<QPair<QByteArray, QByteArray>> all = headers;
    all.prepend({"content-type", contentType});
    return send("POST", path, body, all);
}

Reply Http::send(const QByteArray& method, const QString& path, const QByteArray& body,
                 const QList<QPair<QByteArray, QByteArray>>& headers)
{
    QNetworkRequest request(QUrl(m_base + path));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(30000);
    for (const auto& [k, v] : headers)
        request.setRawHeader(k, v);
    QNetworkReply* reply = body.isNull() && method == "GET" ? m_nam.get(request)
                                                           : m_nam.sendCustomRequest(request, method, body);
    return finish(reply);
}

Reply Http::finish(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Reply r;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    r.status = status.isValid() ? status.toInt() : 0;
    r.body = reply->readAll();
    r.json = QJsonDocument::fromJson(r.body).object();
    r.headers = reply->rawHeaderPairs();
    if (r.status == 0)
        r.error = reply->errorString();
    reply->deleteLater();
    return r;
}

struct LiveServer::Private {
    QTemporaryDir dir;
    mutable QMutex mutex;
    QStringList lines;
};

LiveServer::LiveServer(ServerOptions options, LlmEngine* llm) : d(std::make_unique<Private>())
{
    QString error;
    m_keys = KeyStore::open(d->dir.filePath(QStringLiteral("keys.sqlite")), &error);
    if (!m_keys)
        throw std::runtime_error(error.toStdString());
    m_composer = std::make_unique<Composer>(shippedLexicon(), llm);
    options.version = QStringLiteral("test");
    Private* p = d.get();
    m_server = std::make_unique<Server>(options, *m_keys, *m_composer, [p](const QString& line) {
        QMutexLocker lock(&p->mutex);
        p->lines << line;
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

QString LiveServer::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString LiveServer::issueKey()
{
    return m_keys->issue(QStringLiteral("test"))->key;
}

QStringList LiveServer::logLines() const
{
    QMutexLocker lock(&d->mutex);
    return d->lines;
}

QStringList LiveServer::waitForLogLines(int count) const
{
    for (int i = 0; i < 2000; ++i) {
        {
            QMutexLocker lock(&d->mutex);
            if (d->lines.size() >= count)
                return d->lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return logLines();
}

QString LiveServer::dir() const
{
    return d->dir.path();
}

int freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace composer::test

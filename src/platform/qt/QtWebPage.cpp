#include "platform/qt/QtWebPage.h"

#include <QCoreApplication>
#include <limits>
#include <QFile>
#include <QTimer>
#include <QJsonValue>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "text/JsonText.h"

// The page side talks to this object through the web channel.
class PageBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    std::function<void()> onReady;
    std::function<void(int, const ScriptReply&)> onReply;

public slots:
    void ready()
    {
        if (onReady)
            onReady();
    }
    void resolve(int id, const QJsonValue& value)
    {
        ScriptReply reply;
        if (value.isString())
            reply.value = value.toString();
        if (onReply)
            onReply(id, reply);
    }
    void reject(int id, const QString& message)
    {
        if (onReply)
            onReply(id, ScriptReply{std::nullopt, message});
    }

signals:
    void call(int id, const QString& body, const QJsonObject& arguments);
};

namespace {

const QString kBridgeName = QStringLiteral("vesmerHost");

// Runs after qwebchannel.js, inside the same function scope, so the page's globals
// only gain __vesmerHostBridge. Bodies are compiled once per body and argument
// names. A call id of 0 wants no reply: its result and errors are dropped quietly.
const char kBootstrap[] = R"JS(
  if (window.__vesmerHostBridge) return;
  var AsyncFunction = Object.getPrototypeOf(async function () {}).constructor;
  var compiled = new Map();
  var host = null;
  function describe(e) { return e && typeof e.message === 'string' ? e.message : String(e); }
  function run(id, body, args) {
    var names = Object.keys(args);
    var key = names.join(',') + '\n' + body;
    var result;
    try {
      var fn = compiled.get(key);
      if (!fn) { fn = AsyncFunction.apply(null, names.concat([body])); compiled.set(key, fn); }
      result = fn.apply(window, names.map(function (n) { return args[n]; }));
    } catch (e) {
      result = Promise.reject(e);
    }
    result.then(function (v) { if (id) host.resolve(id, typeof v === 'string' ? v : null); },
                function (e) { if (id) host.reject(id, describe(e)); });
  }
  function connect() {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      host = channel.objects.vesmerHost;
      host.call.connect(run);
      host.ready();
    });
  }
  window.__vesmerHostBridge = { announce: function () { if (host) host.ready(); } };
  if (typeof qt !== 'undefined' && qt.webChannelTransport) connect();
  else document.addEventListener('DOMContentLoaded', connect);
)JS";

QString bootstrapSource()
{
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    channelJs.open(QIODevice::ReadOnly);
    return QStringLiteral("(function () {\n") + QString::fromUtf8(channelJs.readAll()) +
           QString::fromUtf8(kBootstrap) + QStringLiteral("\n})();");
}

// The expression travels as a string literal and runs through an indirect eval,
// so it is evaluated in the page's global scope and whatever it throws comes back
// as a message instead of an indistinguishable empty value.
QString catchingWrapper(const QString& expression)
{
    return QStringLiteral("(function(){try{var v=(0,eval)(") + jsonQuote(expression) +
           QStringLiteral(");return typeof v==='string'?{v:v}:{};}catch(e){return{e:"
                          "e&&typeof e.message==='string'?e.message:String(e)};}})()");
}

ScriptReply replyFromEvaluation(const QVariant& result)
{
    const QVariantMap map = result.toMap();
    ScriptReply reply;
    if (const QVariant value = map.value(QStringLiteral("v")); value.typeId() == QMetaType::QString)
        reply.value = value.toString();
    if (const QVariant error = map.value(QStringLiteral("e")); error.isValid())
        reply.error = error.toString();
    return reply;
}

void replyLater(ScriptDone done)
{
    if (!done)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [done = std::move(done)] { done(ScriptReply{}); }, Qt::QueuedConnection);
}

class ConsolePage final : public QWebEnginePage {
public:
    ConsolePage(QObject* parent, std::function<void(int, const QString&)> sink)
        : QWebEnginePage(parent), m_sink(std::move(sink))
    {
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int,
                                  const QString&) override
    {
        m_sink(int(level), message);
    }

private:
    std::function<void(int, const QString&)> m_sink;
};

}  // namespace

QtWebPage::QtWebPage(QObject* pageParent) : QObject(nullptr)
{
    QPointer<QtWebPage> self(this);
    m_page = new ConsolePage(pageParent ? pageParent : this, [self](int level, const QString& message) {
        if (self)
            emit self->consoleMessage(level, message);
    });
    m_channel = new QWebChannel(this);
    m_bridge = new PageBridge(this);
    m_bridge->onReady = [this] {
        setBridgeReady(true);
        for (QueuedCall& call : std::exchange(m_queued, {}))
            emit m_bridge->call(call.id, call.body, call.arguments);
    };
    connect(m_bridge, &QObject::destroyed, this, [this] {
        setBridgeReady(false);
        failPending();
    });
    m_bridge->onReply = [this](int id, const ScriptReply& reply) { finish(id, reply); };
    m_channel->registerObject(kBridgeName, m_bridge);
    m_page->setWebChannel(m_channel, QWebEngineScript::MainWorld);

    QWebEngineScript script;
    script.setName(QStringLiteral("vesmer-bridge"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(bootstrapSource());
    m_page->scripts().insert(script);

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] {
        // Whatever the old document owed will never come; calls still waiting for
        // a bridge are meant for the new one.
        setBridgeReady(false);
        failPending(KeepQueued);
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        // A navigation that kept the document (an anchor) has the bridge still
        // connected: ask it to say so again.
        if (!m_bridgeReady && m_page)
            m_page->runJavaScript(QStringLiteral("window.__vesmerHostBridge && __vesmerHostBridge.announce()"),
                                  QWebEngineScript::MainWorld);
        emit loadFinished(ok);
    });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                setBridgeReady(false);
                failPending();
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                const RendererEnd end{status == QWebEnginePage::CrashedTerminationStatus  ? QStringLiteral("crashed")
                                      : status == QWebEnginePage::KilledTerminationStatus ? QStringLiteral("killed")
                                                                                          : QStringLiteral("abnormal"),
                                      exitCode};
                // Not from inside the engine's own notification: the handler may reload.
                QTimer::singleShot(0, this, [this, end] {
                    if (m_rendererEnded && !m_closed)
                        m_rendererEnded(end);
                });
            });
}

QtWebPage::~QtWebPage()
{
    failPending();
    if (m_page) {
        // The page may outlive us as its view's child; it must not keep our channel.
        m_page->setWebChannel(nullptr);
        if (m_page->parent() == this)
            delete m_page;
    }
}

void QtWebPage::load(const QUrl& url)
{
    if (m_closed || !m_page)
        return;
    m_loadRequested = true;
    m_url = url;
    m_page->load(url);
}

void QtWebPage::reload()
{
    if (m_closed || !m_page || !m_loadRequested)
        return;
    m_page->load(m_url);
}

void QtWebPage::setRendererEndedHandler(std::function<void(const RendererEnd&)> handler)
{
    m_rendererEnded = std::move(handler);
}

void QtWebPage::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_rendererEnded = nullptr;
    setBridgeReady(false);
    failPending();
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void QtWebPage::evaluate(const QString& expression, ScriptDone done)
{
    if (m_closed || !m_page) {
        replyLater(std::move(done));
        return;
    }
    const QString script = catchingWrapper(expression);
    if (!done) {
        m_page->runJavaScript(script, QWebEngineScript::MainWorld);
        return;
    }
    const int id = remember(std::move(done));
    QPointer<QtWebPage> self(this);
    m_page->runJavaScript(script, QWebEngineScript::MainWorld, [self, id](const QVariant& result) {
        if (self)
            self->finish(id, replyFromEvaluation(result));
    });
}

void QtWebPage::callWithArguments(const QString& body, const QVariantMap& arguments, ScriptDone done)
{
    if (m_closed || !m_page || !m_bridge || !m_loadRequested) {
        replyLater(std::move(done));
        return;
    }
    const int id = done ? remember(std::move(done)) : 0;
    QJsonObject values = QJsonObject::fromVariantMap(arguments);
    if (m_bridgeReady) {
        emit m_bridge->call(id, body, values);
        return;
    }
    if (id == 0) {
        // Only the newest of a kind matters to a page that is still starting
        // (feeds, lyric lines).
        for (QueuedCall& queued : m_queued) {
            if (queued.id == 0 && queued.body == body) {
                queued.arguments = std::move(values);
                return;
            }
        }
    }
    m_queued.push_back(QueuedCall{id, body, std::move(values)});
}

int QtWebPage::remember(ScriptDone done)
{
    const int id = m_nextId;
    m_nextId = m_nextId == std::numeric_limits<int>::max() ? 1 : m_nextId + 1;
    m_pending.emplace(id, std::move(done));
    return id;
}

void QtWebPage::finish(int id, const ScriptReply& reply)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;  // already failed by a reload or close
    ScriptDone done = std::move(it->second);
    m_pending.erase(it);
    done(reply);
}

void QtWebPage::failPending(Queued queued)
{
    std::unordered_map<int, ScriptDone> kept;
    if (queued == KeepQueued) {
        for (const QueuedCall& call : m_queued)
            if (auto it = m_pending.find(call.id); it != m_pending.end())
                kept.insert(m_pending.extract(it));
    } else {
        m_queued.clear();
    }
    auto failed = std::exchange(m_pending, std::move(kept));
    for (auto& [id, done] : failed)
        replyLater(std::move(done));
}

void QtWebPage::setBridgeReady(bool ready)
{
    if (ready == m_bridgeReady)
        return;
    m_bridgeReady = ready;
    emit bridgeReadyChanged();
}

#include "QtWebPage.moc"

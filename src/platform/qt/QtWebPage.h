#pragma once
// The WebPage seam on a QWebEnginePage. evaluate() runs the expression through a
// wrapper that catches what it throws; callWithArguments() goes through a web-channel
// bridge injected into the page's main world, which receives the arguments as JSON
// values, awaits a returned promise and answers by call id. Main thread only. Every
// `done` runs exactly once, on the main thread, from the event loop (never inside
// the call that sent it); calls still unanswered when the page starts loading a new
// document, its renderer dies or it is closed get an empty reply.
// Pages with a Content-Security-Policy forbidding eval cannot be driven by this.

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <unordered_map>
#include <vector>

#include <QJsonObject>

#include "platform/WebPage.h"

class QWebChannel;
#include <QWebEnginePage>
class PageBridge;

class QtWebPage final : public QObject, public WebPage {
    Q_OBJECT
public:
    // The QWebEnginePage is made a child of `pageParent` (the view that shows it,
    // so that it goes before the web profile), or of this object when null.
    explicit QtWebPage(QObject* pageParent = nullptr);
    ~QtWebPage() override;

    QWebEnginePage* enginePage() const { return m_page; }
    // Until load() is called the page holds no document: calls that want a reply
    // get an empty one, the others are dropped.
    void load(const QUrl& url);
    // Stops the page and fails every pending call; later calls behave as on an
    // unloaded page. Idempotent.
    void close();
    // Whether the current document's bridge is connected (call-with-arguments sends
    // go straight to the page; before that they wait, a newer call without a reply
    // replacing an older one with the same body).
    bool bridgeReady() const { return m_bridgeReady; }

    void evaluate(const QString& expression, ScriptDone done = {}) override;
    void callWithArguments(const QString& body, const QVariantMap& arguments, ScriptDone done = {}) override;
    void setRendererEndedHandler(std::function<void(const RendererEnd&)> handler) override;
    void reload() override;

signals:
    void bridgeReadyChanged();
    void loadFinished(bool ok);
    // The page's console: level 0 info, 1 warning, 2 error. Not printed anywhere.
    void consoleMessage(int level, const QString& message);

private:
    struct QueuedCall {
        int id;
        QString body;
        QJsonObject arguments;
    };
    int remember(ScriptDone done);
    void finish(int id, const ScriptReply& reply);
    enum Queued { KeepQueued, DropQueued };
    void failPending(Queued queued = DropQueued);
    void setBridgeReady(bool ready);

    QPointer<QWebEnginePage> m_page;
    QUrl m_url;
    std::function<void(const RendererEnd&)> m_rendererEnded;
    QWebChannel* m_channel = nullptr;
    QPointer<PageBridge> m_bridge;  // the page can reach its QObject slots, deleteLater too
    bool m_loadRequested = false;
    bool m_closed = false;
    bool m_bridgeReady = false;
    int m_nextId = 1;  // 0 means "no reply wanted"
    std::unordered_map<int, ScriptDone> m_pending;
    std::vector<QueuedCall> m_queued;
};

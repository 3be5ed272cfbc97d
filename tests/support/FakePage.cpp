#include "FakePage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

void FakePage::evaluate(const QString& expression, ScriptDone done)
{
    calls << Call{expression, {}, false};
    if (done)
        done(replies.value(expression));
}

void FakePage::callWithArguments(const QString& body, const QVariantMap& arguments, ScriptDone done)
{
    calls << Call{body, arguments, true};
    if (done)
        done(replies.value(body));
}

QStringList FakePage::evaluated() const
{
    QStringList out;
    for (const Call& call : calls)
        if (!call.withArguments)
            out << call.script;
    return out;
}

int FakePage::countOf(const QString& script) const
{
    return int(std::count_if(calls.begin(), calls.end(), [&](const Call& call) { return call.script == script; }));
}

QVariantMap FakePage::effectsOf(const QString& expression)
{
    const QString prefix = QStringLiteral("window.vesmerSetFx && vesmerSetFx('");
    if (!expression.startsWith(prefix) || !expression.endsWith(QStringLiteral("')")))
        return {};
    const QString json = expression.mid(prefix.size(), expression.size() - prefix.size() - 2);
    return QJsonDocument::fromJson(json.toUtf8()).object().toVariantMap();
}

void FakeHostWindow::setVisibleOnScreen(bool visible)
{
    visibleOnScreen = visible;
    if (m_handler)
        m_handler();
}

void FakeHostWindow::close()
{
    ++closeCount;
    fakePage.setRendererEndedHandler({});
    if (onClose)
        onClose();
}

namespace {
// What the app owns: the window itself stays with the host, so that tests can
// still read what a page received after the app dropped its window.
class KeptWindow final : public HostWindow {
public:
    explicit KeptWindow(FakeHostWindow& window) : m_window(window) {}
    WebPage& page() override { return m_window.page(); }
    bool isVisibleOnScreen() const override { return m_window.isVisibleOnScreen(); }
    void setVisibilityHandler(std::function<void()> handler) override { m_window.setVisibilityHandler(std::move(handler)); }
    void close() override { m_window.close(); }

private:
    FakeHostWindow& m_window;
};
}  // namespace

std::unique_ptr<HostWindow> FakeWallpaperHost::createWindow(const ScreenInfo& screen, bool preview)
{
    auto window = std::make_unique<FakeHostWindow>();
    window->fakePage.replies = replies;
    window->onClose = [this] { --openWindows; };
    made << Made{screen, preview, window.get(), openWindows};
    ++openWindows;
    m_windows.push_back(std::move(window));
    return std::make_unique<KeptWindow>(*m_windows.back());
}

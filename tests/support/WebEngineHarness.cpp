#include "WebEngineHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUrl>

#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWebPage.h"

namespace WebEngineHarness {

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void settle(int ms)
{
    waitFor([] { return false; }, ms);
}

std::unique_ptr<QtWebPage> openPage(const QString& path)
{
    auto page = std::make_unique<QtWebPage>();
    page->load(QUrl::fromLocalFile(path));
    return page;
}

std::unique_ptr<QtHostWindow> openWindow(const QString& path, const ScreenInfo& screen, bool preview)
{
    return std::make_unique<QtHostWindow>(screen, preview, QUrl::fromLocalFile(path));
}

bool waitReady(QtWebPage& page, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto left = [&deadline] { return int(std::max<qint64>(1, deadline.remainingTime())); };
    return waitFor([&page] { return page.bridgeReady(); }, timeoutMs) && waitFor([&] {
        const auto state = evaluate(page, QStringLiteral("document.readyState"), left());
        return state && state->value == QStringLiteral("complete");
    }, left());
}

namespace {
std::optional<ScriptReply> wait(const std::function<void(ScriptDone)>& send, int timeoutMs)
{
    auto reply = std::make_shared<std::optional<ScriptReply>>();
    send([reply](const ScriptReply& r) { *reply = r; });
    waitFor([&reply] { return reply->has_value(); }, timeoutMs);
    return *reply;
}
}  // namespace

std::optional<ScriptReply> evaluate(WebPage& page, const QString& expression, int timeoutMs)
{
    return wait([&](ScriptDone done) { page.evaluate(expression, std::move(done)); }, timeoutMs);
}

std::optional<ScriptReply> call(WebPage& page, const QString& body, const QVariantMap& arguments, int timeoutMs)
{
    return wait([&](ScriptDone done) { page.callWithArguments(body, arguments, std::move(done)); }, timeoutMs);
}

}  // namespace WebEngineHarness

#include "app/Application.h"

#include <QFile>
#include <QPointer>
#include <QStringDecoder>

#include "app/ActivationUrl.h"
#include "app/AppState.h"
#include "platform/WebPage.h"
#include "wallpaper/PageCalls.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

const QString kDidAutoStart = QStringLiteral("didAutoStart");

void applyTestGraph(AppState& state, const QString& path)
{
    QFile file(path);
    QString graph;
    bool readable = file.open(QIODevice::ReadOnly);
    if (readable) {
        const QByteArray bytes = file.readAll();
        readable = file.error() == QFileDevice::NoError;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        graph = utf8.decode(bytes);
        readable = readable && !utf8.hasError();
    }
    if (!readable) {
        state.systemLog(QStringLiteral("[vesmer] test-graph unreadable: ") + path);
        return;
    }
    if (!state.wallpaper())
        return;
    state.wallpaper()->page().evaluate(PageCalls::applyGraph(graph), [weak = QPointer<AppState>(&state)](const ScriptReply& reply) {
        if (!weak)
            return;
        const QString answer = reply.value ? *reply.value : reply.error ? *reply.error : QStringLiteral("no reply");
        weak->systemLog(QStringLiteral("[vesmer] test-graph result: ") + answer);
    });
}

}  // namespace

Application::Application(AppState& state, CommandLine commandLine, QObject* parent)
    : QObject(parent), m_state(state), m_commandLine(std::move(commandLine))
{
}

void Application::launch()
{
    m_state.platform().desktop->bringToFront();
    m_state.startCapture();

    Settings& settings = *m_state.platform().settings;
    if (!settings.boolValue(kDidAutoStart)) {
        settings.setValue(kDidAutoStart, true);
        showWallpaperOnFirstScreen(false);
    }

    if (m_commandLine.wallpaper)
        showWallpaperOnFirstScreen(false);
    else if (m_commandLine.preview)
        showWallpaperOnFirstScreen(true);

    if (m_commandLine.testGraphPath) {
        m_state.platform().queue->after(kTestGraphDelay,
            [weak = QPointer<AppState>(&m_state), path = *m_commandLine.testGraphPath] {
                if (weak)
                    applyTestGraph(*weak, path);
            });
    }

    // URL arguments of the first instance arrive once it is up, as they would
    // from a second launch.
    openUrls(m_commandLine.urls);
}

void Application::showWallpaperOnFirstScreen(bool preview)
{
    const QList<ScreenInfo> screens = m_state.platform().screens->list();
    if (!screens.isEmpty())
        m_state.setWallpaper(screens.first(), preview);
}

void Application::openUrls(const QStringList& urls)
{
    for (const QString& url : urls) {
        const std::optional<QString> key = ActivationUrl::key(url);
        if (!key)
            continue;
        m_state.activateKey(*key);  // which also brings the app to the front
    }
}

void Application::activate()
{
    m_state.platform().desktop->bringToFront();
}

bool Application::quitsWhenPanelCloses() const
{
    return m_state.wallpaper() == nullptr;
}

void Application::panelClosed()
{
    if (quitsWhenPanelCloses())
        emit quitRequested();
}

void Application::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_state.shutdown();
}

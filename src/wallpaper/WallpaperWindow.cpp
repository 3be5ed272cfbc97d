#include "wallpaper/WallpaperWindow.h"

#include "text/JsonText.h"
#include "platform/WebPage.h"
#include "wallpaper/PageCalls.h"

WallpaperWindow::WallpaperWindow(std::unique_ptr<HostWindow> window, ScreenInfo screen, bool preview)
    : m_window(std::move(window)), m_screen(std::move(screen)), m_preview(preview)
{
    // The window owns the handler, so it cannot outlive this object.
    m_window->setVisibilityHandler([this] { visibilityMayHaveChanged(); });
}

WallpaperWindow::~WallpaperWindow()
{
    close();
}

void WallpaperWindow::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_window->setVisibilityHandler({});
    m_window->close();
}

WebPage& WallpaperWindow::page()
{
    return m_window->page();
}

void WallpaperWindow::visibilityMayHaveChanged()
{
    const bool now = m_window->isVisibleOnScreen();
    if (now == m_visible)
        return;
    m_visible = now;
    setPaused(!now);
}

void WallpaperWindow::setPaused(bool paused)
{
    page().evaluate(PageCalls::setPaused(paused));
}

void WallpaperWindow::setLyricMode(const QString& mode)
{
    page().evaluate(PageCalls::lyricMode(mode));
}

void WallpaperWindow::setLyric(const QString& line)
{
    page().callWithArguments(PageCalls::lyricBody(), {{QStringLiteral("line"), line}});
}

void WallpaperWindow::feed(const AudioFeatures& features)
{
    if (!m_visible)
        return;
    page().callWithArguments(PageCalls::feedBody(), PageCalls::feedArguments(features));
}

void WallpaperWindow::setBPM(double bpm)
{
    page().evaluate(PageCalls::setBPM(bpm));
}

void WallpaperWindow::setFx(const QMap<QString, double>& effects)
{
    QString json = QStringLiteral("{");
    for (auto it = effects.cbegin(); it != effects.cend(); ++it) {
        QString number;
        if (!jsonNumber(it.value(), number))
            return;
        if (json.size() > 1)
            json += QLatin1Char(',');
        json += jsonQuote(it.key()) + QLatin1Char(':') + number;
    }
    json += QLatin1Char('}');
    page().evaluate(PageCalls::setFx(json));
}

void WallpaperWindow::stepTheme(int step, std::function<void(const QString&)> done)
{
    page().evaluate(PageCalls::stepTheme(step), [done = std::move(done)](const ScriptReply& reply) {
        if (done && reply.value)
            done(*reply.value);
    });
}

#include "wallpaper/WallpaperPlacement.h"

#include <QPointer>

#include <algorithm>

#include "platform/Clock.h"
#include "platform/MainQueue.h"
#include "platform/SystemLog.h"
#include "platform/WallpaperHost.h"
#include "platform/WebPage.h"
#include "wallpaper/WallpaperWindow.h"

WallpaperPlacement::WallpaperPlacement(WallpaperHost& host, MainQueue& queue, Clock& clock, SystemLog& log)
    : m_host(host), m_queue(queue), m_clock(clock), m_log(log)
{
}

WallpaperPlacement::~WallpaperPlacement() = default;

void WallpaperPlacement::place(const ScreenInfo& screen, bool preview)
{
    remove();
    m_window = std::make_shared<WallpaperWindow>(m_host.createWindow(screen, preview), screen, preview);
    m_reloads.clear();
    // The page belongs to the window, which this object owns: the handler cannot
    // outlive it.
    m_window->page().setRendererEndedHandler([this](const RendererEnd& end) { rendererEnded(end); });
    setScreenName(preview ? screen.name + QStringLiteral(" (preview)") : screen.name);
    startPage();
}

void WallpaperPlacement::startPage()
{
    emit pageStarted();
    // Whatever wallpaper exists by then gets the settings; none, and they go nowhere.
    m_queue.after(kReapplyDelay, [self = QPointer<WallpaperPlacement>(this)] {
        if (self)
            emit self->reapplyDue();
    });
}

void WallpaperPlacement::rendererEnded(const RendererEnd& end)
{
    if (!m_window)
        return;
    const double now = m_clock.now();
    std::erase_if(m_reloads, [now](double at) { return now - at >= kReloadWindow; });
    const QString ended = QStringLiteral("[vesmer] visuals renderer ended (%1, exit %2)").arg(end.reason).arg(end.exitCode);
    if (int(m_reloads.size()) >= kMaxReloads) {
        m_log.write(ended + QStringLiteral(" \u2014 reloaded %1 times within a minute already; giving up, the "
                                           "wallpaper stays black until it is placed again")
                                .arg(kMaxReloads));
        return;
    }
    m_reloads.push_back(now);
    m_log.write(ended + QStringLiteral(" \u2014 reloading"));
    m_window->page().reload();
    startPage();
}

void WallpaperPlacement::remove()
{
    if (m_window)
        m_window->close();
    m_window.reset();
    setScreenName(QString());
}

bool WallpaperPlacement::visible() const
{
    return m_window && m_window->visible();
}

void WallpaperPlacement::screensDidSleep()
{
    if (m_window)
        m_window->setPaused(true);
}

void WallpaperPlacement::screensDidWake()
{
    if (visible())
        m_window->setPaused(false);
}

void WallpaperPlacement::setScreenName(const QString& name)
{
    m_screenName = name;
    emit screenNameChanged(name);
}

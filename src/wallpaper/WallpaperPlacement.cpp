#include "wallpaper/WallpaperPlacement.h"

#include <QPointer>

#include "platform/MainQueue.h"
#include "platform/WallpaperHost.h"
#include "wallpaper/WallpaperWindow.h"

WallpaperPlacement::WallpaperPlacement(WallpaperHost& host, MainQueue& queue) : m_host(host), m_queue(queue) {}

WallpaperPlacement::~WallpaperPlacement() = default;

void WallpaperPlacement::place(const ScreenInfo& screen, bool preview)
{
    remove();
    m_window = std::make_unique<WallpaperWindow>(m_host.createWindow(screen, preview), screen, preview);
    setScreenName(preview ? screen.name + QStringLiteral(" (preview)") : screen.name);

    // Whatever wallpaper exists by then gets the settings; none, and they go nowhere.
    m_queue.after(kReapplyDelay, [self = QPointer<WallpaperPlacement>(this)] {
        if (self)
            emit self->reapplyDue();
    });
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

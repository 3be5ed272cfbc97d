// Wallpaper placement: the one WallpaperWindow's life, and bringing a fresh page
// up to date with the stored settings.
#include <QPointer>

#include "app/AppState.h"
#include "wallpaper/WallpaperWindow.h"

namespace {
// Long enough for a freshly loaded page to have defined its functions; sends
// before that are ignored by the page.
constexpr double kReapplyDelay = 1.5;
}  // namespace

void AppState::setWallpaper(const ScreenInfo& screen, bool preview)
{
    removeWallpaper();
    m_wallpaper = std::make_unique<WallpaperWindow>(m_platform.wallpaperHost->createWindow(screen, preview),
                                                    screen, preview);
    publish(m_wallpaperScreenName, preview ? screen.name + QStringLiteral(" (preview)") : screen.name,
            &AppState::wallpaperScreenNameChanged);
    startCapture();
    refreshThemeName();

    QPointer<AppState> self(this);
    m_platform.queue->after(kReapplyDelay, [self] {
        if (!self)
            return;
        // Each reaches whatever wallpaper exists by now, or does nothing.
        self->applyQuality();
        self->applyLook();
        self->applyFx();
        self->lyricsModeChanged();
    });
}

void AppState::removeWallpaper()
{
    if (m_wallpaper)
        m_wallpaper->close();
    m_wallpaper.reset();
    publish(m_wallpaperScreenName, QString(), &AppState::wallpaperScreenNameChanged);
}

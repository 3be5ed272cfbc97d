// Placeholder: placement is built by the wallpaper host work.
#include "app/AppState.h"
#include "wallpaper/WallpaperWindow.h"

void AppState::setWallpaper(const ScreenInfo&, bool) {}
void AppState::removeWallpaper() { m_wallpaper.reset(); }

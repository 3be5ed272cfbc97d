#pragma once
// Makes the real wallpaper and preview windows (QtHostWindow) and finds the visuals
// page: visuals/index.html beside the executable, else in the installed share
// folder. Main thread only.

#include <QUrl>

#include "platform/WallpaperHost.h"

class QtWallpaperHost final : public WallpaperHost {
public:
    // `page` overrides the visuals page (tests); empty: the usual search.
    explicit QtWallpaperHost(QUrl page = {});
    std::unique_ptr<HostWindow> createWindow(const ScreenInfo& screen, bool preview) override;

    // The visuals page's file URL, or an empty URL when it is not installed.
    static QUrl visualsPage();

private:
    QUrl m_page;
};

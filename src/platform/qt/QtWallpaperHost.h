#pragma once
// Makes the real wallpaper and preview windows (QtHostWindow) and finds the visuals
// page: visuals/index.html beside the executable, else in the installed share
// folder. A page that is not there leaves the window black, and nothing is
// reported. Main thread only.

#include <QString>
#include <QUrl>

#include "platform/WallpaperHost.h"

class QtWallpaperHost final : public WallpaperHost {
public:
    QtWallpaperHost();
    // Shows the HTML file at `pagePath` instead of the visuals page (tests).
    explicit QtWallpaperHost(const QString& pagePath);

    std::unique_ptr<HostWindow> createWindow(const ScreenInfo& screen, bool preview) override;

    // The file URL of the first candidate that exists, or an empty URL.
    QUrl pageUrl() const;

private:
    QStringList m_candidates;
};

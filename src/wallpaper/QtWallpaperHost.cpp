#include "wallpaper/QtWallpaperHost.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "wallpaper/QtHostWindow.h"

QtWallpaperHost::QtWallpaperHost(QUrl page) : m_page(std::move(page)) {}

std::unique_ptr<HostWindow> QtWallpaperHost::createWindow(const ScreenInfo& screen, bool preview)
{
    return std::make_unique<QtHostWindow>(screen, preview, m_page.isEmpty() ? visualsPage() : m_page);
}

QUrl QtWallpaperHost::visualsPage()
{
    // A file URL gives the page read access to its own folder.
    for (const QString& path : {QCoreApplication::applicationDirPath() + QStringLiteral("/visuals/index.html"),
                                QStringLiteral(VESMER_INSTALL_VISUALS "/index.html")}) {
        if (QFileInfo(path).isFile())
            return QUrl::fromLocalFile(path);
    }
    return {};
}

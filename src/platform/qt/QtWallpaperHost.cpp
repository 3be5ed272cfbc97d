#include "platform/qt/QtWallpaperHost.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/qt/QtHostWindow.h"

QtWallpaperHost::QtWallpaperHost()
    : m_candidates{QCoreApplication::applicationDirPath() + QStringLiteral("/visuals/index.html"),
                   QStringLiteral(VESMER_INSTALL_VISUALS "/index.html")}
{
}

QtWallpaperHost::QtWallpaperHost(const QString& pagePath) : m_candidates{pagePath} {}

std::unique_ptr<HostWindow> QtWallpaperHost::createWindow(const ScreenInfo& screen, bool preview)
{
    return std::make_unique<QtHostWindow>(screen, preview, pageUrl());
}

QUrl QtWallpaperHost::pageUrl() const
{
    // Looked up at each window, so a page installed meanwhile is found. As a file
    // URL the page may read the files of its own folder.
    for (const QString& path : m_candidates)
        if (QFileInfo(path).isFile())
            return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    return {};
}

#pragma once
// The wallpaper's place on the desktop: the one WallpaperWindow at a time, on
// which screen, and pausing it while the screens sleep. A freshly placed page
// asks to have the stored settings sent again once it has loaded (reapplyDue).
// Main thread only.

#include <QObject>
#include <QString>
#include <memory>

#include "platform/Screens.h"

class MainQueue;
class WallpaperHost;
class WallpaperWindow;

class WallpaperPlacement : public QObject {
    Q_OBJECT
public:
    // Long enough for a freshly loaded page to have defined its functions; sends
    // before that are ignored by the page.
    static constexpr double kReapplyDelay = 1.5;

    WallpaperPlacement(WallpaperHost& host, MainQueue& queue);
    ~WallpaperPlacement() override;

    // Replaces any current window with a new one on `screen`.
    void place(const ScreenInfo& screen, bool preview);
    void remove();

    WallpaperWindow* window() const { return m_window.get(); }
    bool visible() const;
    // "LEFT", "LEFT (preview)", or a null text while there is no wallpaper.
    QString screenName() const { return m_screenName; }

    void screensDidSleep();
    void screensDidWake();

signals:
    void screenNameChanged(const QString& name);
    void reapplyDue();

private:
    void setScreenName(const QString& name);

    WallpaperHost& m_host;
    MainQueue& m_queue;
    std::unique_ptr<WallpaperWindow> m_window;
    QString m_screenName;
};

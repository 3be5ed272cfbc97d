#pragma once
// The wallpaper's place on the desktop: the one WallpaperWindow at a time, on
// which screen, pausing it while the screens sleep, and reloading its page when
// the page's renderer dies (at most kMaxReloads times within kReloadWindow
// seconds, one system-log line each time). A freshly placed or reloaded page
// announces itself (pageStarted) and asks to have the stored settings sent again
// once it has loaded (reapplyDue). Main thread only.

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "platform/Screens.h"

class Clock;
class MainQueue;
struct RendererEnd;
class SystemLog;
class WallpaperHost;
class WallpaperWindow;

class WallpaperPlacement : public QObject {
    Q_OBJECT
public:
    // Long enough for a freshly loaded page to have defined its functions; sends
    // before that are ignored by the page.
    static constexpr double kReapplyDelay = 1.5;
    // A renderer that keeps dying is given up on rather than restarted in a loop.
    static constexpr int kMaxReloads = 3;
    static constexpr double kReloadWindow = 60.0;

    WallpaperPlacement(WallpaperHost& host, MainQueue& queue, Clock& clock, SystemLog& log);
    ~WallpaperPlacement() override;

    // Replaces any current window with a new one on `screen`.
    void place(const ScreenInfo& screen, bool preview);
    void remove();

    WallpaperWindow* window() const { return m_window.get(); }
    // For work that outlives a call: it ends quietly once the window is gone.
    std::weak_ptr<WallpaperWindow> windowHandle() const { return m_window; }
    bool visible() const;
    // "LEFT", "LEFT (preview)", or a null text while there is no wallpaper.
    QString screenName() const { return m_screenName; }

    void screensDidSleep();
    void screensDidWake();

signals:
    void screenNameChanged(const QString& name);
    void pageStarted();
    void reapplyDue();

private:
    void setScreenName(const QString& name);
    void startPage();
    void rendererEnded(const RendererEnd& end);

    WallpaperHost& m_host;
    MainQueue& m_queue;
    Clock& m_clock;
    SystemLog& m_log;
    std::vector<double> m_reloads;  // when the current window's page was reloaded, oldest first
    std::shared_ptr<WallpaperWindow> m_window;
    QString m_screenName;
};

#pragma once
// The visuals page on one screen's desktop (or in a preview window), and the typed
// calls into it. Pauses the page while the window cannot be seen and feeds it only
// while it can. Main thread only; feed() runs 30 times a second.

#include <QMap>
#include <QString>
#include <functional>
#include <memory>

#include "audio/AudioFeatures.h"
#include "platform/WallpaperHost.h"

class WebPage;

class WallpaperWindow {
public:
    // Takes a window the host has already built and shown for `screen`.
    WallpaperWindow(std::unique_ptr<HostWindow> window, ScreenInfo screen, bool preview);
    ~WallpaperWindow();
    WallpaperWindow(const WallpaperWindow&) = delete;
    WallpaperWindow& operator=(const WallpaperWindow&) = delete;

    // Stops visibility tracking, hides the window and stops its page. Once.
    void close();

    bool visible() const { return m_visible; }
    const ScreenInfo& screen() const { return m_screen; }
    bool isPreview() const { return m_preview; }
    WebPage& page();

    void setPaused(bool paused);
    void setLyricMode(const QString& mode);
    void setLyric(const QString& line);
    void feed(const AudioFeatures& features);  // only while visible
    void setBPM(double bpm);
    // Effect name to amount; a map that JSON cannot hold (NaN, infinity) sends nothing.
    void setFx(const QMap<QString, double>& effects);
    // `done` gets the page's theme name when it answers with a string.
    void stepTheme(int step, std::function<void(const QString&)> done = {});

private:
    void visibilityMayHaveChanged();

    std::unique_ptr<HostWindow> m_window;
    ScreenInfo m_screen;
    bool m_preview = false;
    bool m_visible = true;
    bool m_closed = false;
};

#pragma once
// Makes the platform window that shows the visuals page on one screen, either as
// the desktop wallpaper or as a floating preview. Main thread only.

#include <functional>
#include <memory>

#include "platform/Screens.h"

class WebPage;

class HostWindow {
public:
    virtual ~HostWindow() = default;
    virtual WebPage& page() = 0;
    // Whether the window can currently be seen (shown, not minimised, not covered
    // by a fullscreen or maximised window of another program).
    virtual bool isVisibleOnScreen() const = 0;
    // Called on the main thread whenever isVisibleOnScreen() may have changed.
    virtual void setVisibilityHandler(std::function<void()> handler) = 0;
    // Hides the window and stops and detaches its page; called once, before deletion.
    virtual void close() = 0;
};

class WallpaperHost {
public:
    virtual ~WallpaperHost() = default;
    // Builds the window for `screen`, loads the visuals page and shows it.
    virtual std::unique_ptr<HostWindow> createWindow(const ScreenInfo& screen, bool preview) = 0;
};

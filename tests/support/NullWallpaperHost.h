#pragma once
// A wallpaper host whose windows are always visible and whose page ignores every
// script and keeps nothing: for measuring the app's own cost per call.

#include "platform/WallpaperHost.h"
#include "platform/WebPage.h"

class NullPage final : public WebPage {
public:
    void evaluate(const QString&, ScriptDone) override {}
    void callWithArguments(const QString&, const QVariantMap&, ScriptDone) override {}
    void setRendererEndedHandler(std::function<void(const RendererEnd&)>) override {}
    void reload() override {}
};

class NullWallpaperHost final : public WallpaperHost {
public:
    std::unique_ptr<HostWindow> createWindow(const ScreenInfo& screen, bool preview) override;
};

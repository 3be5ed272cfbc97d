#pragma once
// The bundle of platform services handed to AppState: the real ones in main(),
// test doubles in tests. AppState owns the bundle.

#include <memory>

#include "platform/CaptureBackend.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"
#include "platform/Settings.h"
#include "platform/SystemEvents.h"
#include "platform/SystemLog.h"
#include "platform/WallpaperHost.h"

struct Platform {
    std::unique_ptr<Clock> clock;
    std::unique_ptr<MainQueue> queue;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<SystemLog> log;
    std::unique_ptr<SystemEvents> events;
    std::unique_ptr<Screens> screens;
    std::unique_ptr<WallpaperHost> wallpaperHost;
    std::unique_ptr<CaptureBackend> capture;
    std::unique_ptr<Desktop> desktop;
};

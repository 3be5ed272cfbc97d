#pragma once
// The bundle of platform services handed to AppState: the real ones in main(),
// test doubles in tests. AppState owns the bundle.

#include <QNetworkAccessManager>
#include <QUrl>
#include <memory>

#include "platform/CaptureBackend.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/MainQueue.h"
#include "platform/PlayerBridge.h"
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
    // The app's one HTTP client; HTTP is no seam: tests talk to loopback servers.
    std::unique_ptr<QNetworkAccessManager> network;
    // The LRCLIB service lyrics come from; empty: the public one.
    QUrl lyricsService;
    // Declared after the clock, so it goes first: a bridge may read the clock.
    std::unique_ptr<PlayerBridge> players;
};

#pragma once
// A Platform made of test doubles, with typed pointers to each double so that a
// test can trigger and inspect them after AppState has taken ownership.
// Settings live in a fresh temporary file per TestPlatform.

#include <QTemporaryDir>
#include <memory>

#include "FakePage.h"
#include "FakeSystem.h"
#include "ScriptedCapture.h"
#include "ScriptedPlayers.h"
#include "VirtualClock.h"
#include "VirtualQueue.h"
#include "platform/Platform.h"

class TestPlatform {
public:
    TestPlatform();
    // Hands the doubles over; the pointers stay valid while the owner lives.
    Platform take();
    // The same on the system clock and the Qt main queue; `clock` and `queue`
    // become null, the other pointers stay valid.
    Platform takeOnRealTime();

    VirtualClock* clock = nullptr;
    VirtualQueue* queue = nullptr;
    Settings* settings = nullptr;
    MemoryLog* log = nullptr;
    FakeSystemEvents* events = nullptr;
    FakeScreens* screens = nullptr;
    FakeWallpaperHost* host = nullptr;
    ScriptedCapture* capture = nullptr;
    RecordingDesktop* desktop = nullptr;
    ScriptedPlayers* players = nullptr;
    QNetworkAccessManager* network = nullptr;  // a real one: tests use loopback servers
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    Platform m_platform;
};

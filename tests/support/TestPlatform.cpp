#include "TestPlatform.h"

TestPlatform::TestPlatform()
{
    auto virtualClock = std::make_unique<VirtualClock>();
    clock = virtualClock.get();
    auto virtualQueue = std::make_unique<VirtualQueue>(*clock);
    queue = virtualQueue.get();
    m_platform.clock = std::move(virtualClock);
    m_platform.queue = std::move(virtualQueue);
    m_platform.settings = std::make_unique<Settings>(m_dir.filePath(QStringLiteral("Vesmer.conf")));
    settings = m_platform.settings.get();
    auto memoryLog = std::make_unique<MemoryLog>();
    log = memoryLog.get();
    m_platform.log = std::move(memoryLog);
    auto fakeEvents = std::make_unique<FakeSystemEvents>();
    events = fakeEvents.get();
    m_platform.events = std::move(fakeEvents);
    auto fakeScreens = std::make_unique<FakeScreens>();
    screens = fakeScreens.get();
    m_platform.screens = std::move(fakeScreens);
    auto fakeHost = std::make_unique<FakeWallpaperHost>();
    host = fakeHost.get();
    m_platform.wallpaperHost = std::move(fakeHost);
    auto scripted = std::make_unique<ScriptedCapture>();
    capture = scripted.get();
    m_platform.capture = std::move(scripted);
    auto recorder = std::make_unique<RecordingDesktop>();
    desktop = recorder.get();
    m_platform.desktop = std::move(recorder);
}

Platform TestPlatform::take()
{
    return std::move(m_platform);
}

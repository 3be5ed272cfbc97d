#include "TestPlatform.h"

#include "platform/qt/QtMainQueue.h"

namespace {

// Puts `made` into the platform's `slot` and keeps its typed pointer.
template <typename Double, typename Seam>
Double* install(std::unique_ptr<Seam>& slot, std::unique_ptr<Double> made)
{
    Double* typed = made.get();
    slot = std::move(made);
    return typed;
}

}  // namespace

TestPlatform::TestPlatform()
{
    clock = install(m_platform.clock, std::make_unique<VirtualClock>());
    queue = install(m_platform.queue, std::make_unique<VirtualQueue>(*clock));
    settings = install(m_platform.settings, std::make_unique<Settings>(m_dir.filePath(QStringLiteral("Vesmer.conf"))));
    log = install(m_platform.log, std::make_unique<MemoryLog>());
    events = install(m_platform.events, std::make_unique<FakeSystemEvents>());
    screens = install(m_platform.screens, std::make_unique<FakeScreens>());
    host = install(m_platform.wallpaperHost, std::make_unique<FakeWallpaperHost>());
    capture = install(m_platform.capture, std::make_unique<ScriptedCapture>(*queue));
    desktop = install(m_platform.desktop, std::make_unique<RecordingDesktop>());
    players = install(m_platform.players, std::make_unique<ScriptedPlayers>());
    network = install(m_platform.network, std::make_unique<QNetworkAccessManager>());
    // Nothing may reach the public service from a test.
    m_platform.lyricsService = QUrl(QStringLiteral("http://127.0.0.1:9"));
}

Platform TestPlatform::take()
{
    return std::move(m_platform);
}

Platform TestPlatform::takeOnRealTime()
{
    clock = nullptr;
    queue = nullptr;
    m_platform.clock = std::make_unique<SystemClock>();
    m_platform.queue = std::make_unique<QtMainQueue>();
    // The scripted capture answers through the queue: give it the real one.
    capture = install(m_platform.capture, std::make_unique<ScriptedCapture>(*m_platform.queue));
    return take();
}

#include "app/AppState.h"

#include "audio/AudioTap.h"
#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"
#include "wallpaper/WallpaperWindow.h"

namespace {
std::unique_ptr<AppState>& sharedInstance()
{
    static std::unique_ptr<AppState> instance;
    return instance;
}
}  // namespace

AppState* AppState::shared()
{
    return sharedInstance().get();
}

AppState& AppState::createShared(Platform platform)
{
    sharedInstance() = std::make_unique<AppState>(std::move(platform));
    return *sharedInstance();
}

void AppState::destroyShared()
{
    sharedInstance().reset();
}

AppState::AppState(Platform platform, QObject* parent)
    : QObject(parent),
      m_platform(std::move(platform)),
      m_tap(std::make_unique<AudioTap>(*m_platform.capture)),
      m_extractor(std::make_unique<FeatureExtractor>()),
      m_bpmEstimator(std::make_unique<BpmEstimator>(30.0))
{
    m_lastSignalAt = now();

    m_platform.settings->registerDefaults({
        {QStringLiteral("auto.scenes"), true},
        {QStringLiteral("auto.pace"), 1},
        {QStringLiteral("lyrics.mode"), QStringLiteral("off")},
        {QStringLiteral("look.reactivity"), 1.0},
        {QStringLiteral("look.speed"), 1.0},
        {QStringLiteral("look.exposure"), 1.0},
        {QStringLiteral("look.grain"), 1.0},
    });

    // Signals are delivered on the main thread; `this` as context drops them once
    // the state is gone.
    connect(m_platform.events.get(), &SystemEvents::screensDidSleep, this, &AppState::screensDidSleep);
    connect(m_platform.events.get(), &SystemEvents::screensDidWake, this, &AppState::screensDidWake);

    syncLyricsDefault();
}

AppState::~AppState()
{
    m_tick.cancel();
    // The tap's ring goes before the platform's capture backend: stop the capture
    // thread writing into it first.
    m_tap->stop();
}

void AppState::screensDidSleep()
{
    m_screensAsleep = true;
    if (m_wallpaper)
        m_wallpaper->setPaused(true);
}

void AppState::screensDidWake()
{
    m_screensAsleep = false;
    if (m_wallpaper && m_wallpaper->visible())
        m_wallpaper->setPaused(false);
}

bool AppState::wallpaperVisible() const
{
    return m_wallpaper && m_wallpaper->visible();
}

bool AppState::panelVisible() const
{
    return m_platform.events->panelVisible();
}

void AppState::systemLog(const QString& line)
{
    m_platform.log->write(line);
}

void AppState::setThemeName(const QString& name)
{
    publish(m_themeName, name, &AppState::themeNameChanged);
}

void AppState::setComposeStatus(const QString& status)
{
    publish(m_composeStatus, status, &AppState::composeStatusChanged);
}

void AppState::setLyricLine(const QString& line)
{
    publish(m_lyricLine, line, &AppState::lyricLineChanged);
}

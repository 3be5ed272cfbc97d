#include "app/AppState.h"

#include "app/AudioTap.h"
#include "app/CapturePump.h"
#include "compose/AutoScenes.h"
#include "compose/ComposeClient.h"
#include "compose/CoverScene.h"
#include "compose/Presets.h"
#include "compose/SceneGenerator.h"
#include "compose/SignIn.h"
#include "nowplaying/LyricSync.h"
#include "nowplaying/LyricsFetcher.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "wallpaper/LookAndThemes.h"
#include "wallpaper/WallpaperPlacement.h"
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
      m_placement(std::make_unique<WallpaperPlacement>(*m_platform.wallpaperHost, *m_platform.queue,
                                                       *m_platform.clock, *m_platform.log)),
      m_look(std::make_unique<LookAndThemes>(*m_platform.settings, *m_platform.queue, *m_platform.log, *m_placement)),
      m_compose(std::make_unique<ComposeClient>(*m_platform.network, *m_platform.queue,
                                                ComposeClient::loadConfig(*m_platform.settings))),
      m_generator(std::make_unique<SceneGenerator>(*m_compose, *m_placement)),
      m_presets(std::make_unique<Presets>(*m_platform.settings, *m_placement)),
      m_signIn(std::make_unique<SignIn>(*m_platform.settings, *m_compose, *m_platform.network, *m_platform.queue)),
      m_nowPlaying(std::make_unique<NowPlayingWatcher>(*m_platform.players, *m_platform.queue, *m_platform.clock)),
      m_lyricsFetcher(m_platform.lyricsService.isEmpty()
                          ? std::make_unique<LyricsFetcher>(*m_platform.network, *m_platform.queue)
                          : std::make_unique<LyricsFetcher>(*m_platform.network, *m_platform.queue, m_platform.lyricsService)),
      m_lyricSync(std::make_unique<LyricSync>(*m_platform.settings, *m_platform.clock, *m_platform.queue, *m_nowPlaying,
                                              *m_lyricsFetcher, *m_placement)),
      m_autoScenes(std::make_unique<AutoScenes>(*m_platform.settings, *m_platform.clock, *m_platform.log, *m_nowPlaying,
                                                *m_lyricSync, *m_placement, *m_generator)),
      m_coverScene(std::make_unique<CoverScene>(*m_platform.settings, *m_platform.queue, *m_platform.log,
                                                *m_platform.network, *m_compose, *m_generator, *m_nowPlaying,
                                                *m_placement, *m_autoScenes)),
      m_pump(std::make_unique<CapturePump>(*m_platform.queue, *m_platform.clock, *m_platform.log, *m_platform.capture))
{

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

    wireSubsystems();
    syncLyricsDefault();
    validateKey();
}

// Every connection between the subsystems and the published fields, in one place.
void AppState::wireSubsystems()
{
    connect(m_placement.get(), &WallpaperPlacement::screenNameChanged, this, [this](const QString& name) {
        publish(m_wallpaperScreenName, name, &AppState::wallpaperScreenNameChanged);
    });
    // A placed or reloaded page: the theme name query, then the stored settings.
    connect(m_placement.get(), &WallpaperPlacement::pageStarted, this, &AppState::refreshThemeName);
    connect(m_placement.get(), &WallpaperPlacement::reapplyDue, this, [this] {
        applyQuality();
        applyLook();
        applyFx();
        lyricsModeChanged();
    });
    connect(m_look.get(), &LookAndThemes::themeNameAnswered, this, &AppState::setThemeName);

    const auto aiScene = [this] { setThemeName(QStringLiteral("AI scene")); };
    connect(m_generator.get(), &SceneGenerator::statusChanged, this, &AppState::setComposeStatus);
    connect(m_generator.get(), &SceneGenerator::sceneApplied, this, aiScene);
    connect(m_generator.get(), &SceneGenerator::logLine, this, &AppState::dlog);
    connect(m_presets.get(), &Presets::statusChanged, this, &AppState::setComposeStatus);
    connect(m_presets.get(), &Presets::sceneApplied, this, aiScene);
    connect(m_presets.get(), &Presets::listChanged, this, &AppState::presetsChanged);
    // A key stored by anyone (a sign-in callback, the bundled composer, another
    // copy of the settings) is configured and checked at once.
    connect(m_platform.settings.get(), &Settings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("pro.key"))
            storedKeyChanged();
    });
    connect(m_signIn.get(), &SignIn::verdictChanged, this, [this](const QString& state, const QString& note) {
        publish(m_keyState, state, &AppState::keyStateChanged);
        publish(m_keyStatus, note, &AppState::keyStatusChanged);
    });

    m_pump->setHooks({
        .feeding = [this] { return wallpaperVisible() && !m_screensAsleep; },
        .panelVisible = [this] { return panelVisible(); },
        .feed = [this](const AudioFeatures& features) {
            if (WallpaperWindow* window = wallpaper())
                window->feed(features);
        },
        .slowWork = [this] {
            syncLyric();
            autoSceneCheck();
        },
        .tickDone = [this] { writeStatus(); },
    });
    CapturePump* pump = m_pump.get();
    connect(pump, &CapturePump::capturingChanged, this, [this](bool on) {
        publish(m_capturing, on, &AppState::capturingChanged);
    });
    connect(pump, &CapturePump::captureErrorChanged, this, [this](const QString& error) {
        publish(m_captureError, error, &AppState::captureErrorChanged);
    });
    connect(pump, &CapturePump::levelChanged, this, [this](float level) {
        publish(m_level, level, &AppState::levelChanged);
    });
    connect(pump, &CapturePump::silentForSecondsChanged, this, [this](double seconds) {
        publish(m_silentForSeconds, seconds, &AppState::silentForSecondsChanged);
    });
    connect(pump, &CapturePump::everSawSignalChanged, this, [this](bool seen) {
        publish(m_everSawSignal, seen, &AppState::everSawSignalChanged);
    });
    connect(pump, &CapturePump::tempoEstimated, this, [this](double bpm) {
        publish(m_bpm, bpm, &AppState::bpmChanged);
        if (WallpaperWindow* window = wallpaper())
            window->setBPM(m_bpm);
    });
    // Ask the players only while someone could see the answer: the panel, or a
    // visible wallpaper that shows lyrics.
    m_nowPlaying->setIsNeeded([this] {
        if (panelVisible())
            return true;
        if (m_platform.settings->stringValue(QStringLiteral("lyrics.mode"), QStringLiteral("visuals")) ==
            QLatin1String("off"))
            return false;
        return wallpaperVisible();
    });
    connect(m_nowPlaying.get(), &NowPlayingWatcher::trackAssigned, this, &AppState::nowPlayingChanged);
    connect(m_nowPlaying.get(), &NowPlayingWatcher::permissionHintAssigned, this, &AppState::nowPlayingChanged);
    connect(m_lyricSync.get(), &LyricSync::lineChanged, this, &AppState::setLyricLine);
    connect(m_lyricSync.get(), &LyricSync::songChanged, this, &AppState::scheduleCoverScene);
    connect(m_autoScenes.get(), &AutoScenes::sourceChanged, this, &AppState::setAutoSource);
    connect(m_coverScene.get(), &CoverScene::sourceChanged, this, &AppState::setAutoSource);
    connect(m_coverScene.get(), &CoverScene::statusChanged, this, &AppState::setComposeStatus);
    connect(m_coverScene.get(), &CoverScene::sceneApplied, this, aiScene);
}

// The pump (and with it the tap and its ring) goes before the platform's capture
// backend, which it stops first.
AppState::~AppState() = default;

// --- Capture

void AppState::startCapture()
{
    m_pump->start();
}

void AppState::stopCapture()
{
    m_pump->stop();
}

void AppState::pump()
{
    m_pump->tick();
}

void AppState::collectTickStats(const QString& file)
{
    m_tickStatsFile = file;
    m_pump->collectTickIntervals();
}

std::int64_t AppState::tickCount() const
{
    return m_pump->tickCount();
}

float AppState::rawLevel() const
{
    return m_pump->rawLevel();
}

double AppState::lastSignalAt() const
{
    return m_pump->lastSignalAt();
}

double AppState::lastCaptureRestart() const
{
    return m_pump->lastCaptureRestart();
}

AudioTap& AppState::tap()
{
    return m_pump->tap();
}

void AppState::screensDidSleep()
{
    m_screensAsleep = true;
    m_placement->screensDidSleep();
}

void AppState::screensDidWake()
{
    m_screensAsleep = false;
    m_placement->screensDidWake();
}

// --- Wallpaper

void AppState::setWallpaper(const ScreenInfo& screen, bool preview)
{
    m_placement->place(screen, preview);
    startCapture();
}

void AppState::removeWallpaper()
{
    m_placement->remove();
}

WallpaperWindow* AppState::wallpaper() const
{
    return m_placement->window();
}

bool AppState::wallpaperVisible() const
{
    return m_placement->visible();
}

void AppState::applyLook()
{
    m_look->applyLook();
}

void AppState::applyQuality()
{
    m_look->applyQuality();
}

void AppState::applyFx()
{
    m_look->applyFx();
}

void AppState::stepTheme(int step)
{
    m_look->stepTheme(step);
}

void AppState::refreshThemeName()
{
    m_look->refreshThemeName();
}

void AppState::setPanelVisible(bool visible)
{
    m_panelVisible = visible;
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

void AppState::setAutoSource(const QString& source)
{
    publish(m_autoSource, source, &AppState::autoSourceChanged);
}

// --- Scenes, presets, sign-in

void AppState::generateScene(const QString& prompt, bool vary)
{
    m_generator->generate(prompt, vary);
}

bool AppState::composeInFlight() const
{
    return m_generator->inFlight();
}

void AppState::setComposeInFlight(bool inFlight)
{
    m_generator->setInFlight(inFlight);
}

QString AppState::lastScenePrompt() const
{
    return m_generator->lastScenePrompt();
}

const QList<Preset>& AppState::presets() const
{
    return m_presets->list();
}

void AppState::savePreset()
{
    m_presets->save(m_autoSource.isEmpty() ? lastScenePrompt() : m_autoSource);
}

void AppState::applyPreset(const Preset& preset)
{
    m_presets->apply(preset);
}

void AppState::deletePreset(const QUuid& id)
{
    m_presets->remove(id);
}

void AppState::persistPresets()
{
    m_presets->persist();
}

void AppState::activateKey(const QString& key)
{
    m_signIn->storeKey(key);  // the stored key's change configures and checks it
    m_platform.desktop->bringToFront();
}

void AppState::storedKeyChanged()
{
    m_compose->setConfig(ComposeClient::loadConfig(*m_platform.settings));
    syncLyricsDefault();
    validateKey();
}

void AppState::validateKey()
{
    m_signIn->validateKey();
}

void AppState::openSignInPage()
{
    m_platform.desktop->openUrl(SignIn::signInPage());
}

bool AppState::hasKey() const
{
    if (!m_compose->config().appKey.isEmpty())
        return true;
    const QString stored = m_platform.settings->stringValue(QStringLiteral("pro.key"));
    return !stored.trimmed().isEmpty();
}

bool AppState::signedIn() const
{
    return hasKey() && m_keyState != SignIn::kInvalid;
}

// --- Automatic scenes and lyrics: forwards, and the places where the compose
// and now-playing subsystems come in.

void AppState::autoSceneCheck()
{
    m_autoScenes->check(m_bpm);
}

void AppState::scheduleCoverScene(const TrackInfo& track)
{
    m_coverScene->schedule(track);
}

void AppState::startNowPlaying()
{
    m_nowPlaying->start();
}

void AppState::syncLyric()
{
    m_lyricSync->syncLyric();
}

void AppState::syncLyricsDefault()
{
    m_lyricSync->syncLyricsDefault();
}

void AppState::lyricsModeChanged()
{
    m_lyricSync->lyricsModeChanged();
}

QString AppState::currentTrackText() const
{
    const std::optional<TrackInfo>& track = m_nowPlaying->track();
    if (!track)
        return {};
    if (track->artist.isEmpty())
        return track->title;
    return track->artist + QStringLiteral(" \u2014 ") + track->title;
}

std::optional<QString> AppState::permissionHint() const
{
    return m_nowPlaying->permissionHint();
}

qsizetype AppState::lyricsLineCount() const
{
    return m_lyricSync->lyricLines().size();
}

// --- For the control panel

std::optional<TrackInfo> AppState::currentTrack() const
{
    return m_nowPlaying->track();
}

void AppState::openSoundSettings()
{
    m_platform.desktop->openSoundSettings();
}

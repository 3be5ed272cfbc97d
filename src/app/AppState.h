#pragma once
// The one central object: owns one instance of each subsystem, holds what the
// control panel shows (published fields: Q_PROPERTYs with NOTIFY signals that fire
// only on a real change), wires the subsystems together, and forwards their
// operations. Main thread only. docs/architecture.md tells the rule.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "audio/AudioFeatures.h"
#include "compose/Presets.h"
#include "platform/MainQueue.h"
#include "platform/Platform.h"

class AudioTap;
class AutoScenes;
class CapturePump;
class ComposeClient;
class CoverScene;
class LookAndThemes;
class LyricSync;
class LyricsFetcher;
class NowPlayingWatcher;
class Presets;
class SceneGenerator;
class SignIn;
class WallpaperPlacement;
class WallpaperWindow;
struct TrackInfo;

class AppState : public QObject {
    Q_OBJECT
    // Capture (src/app/CapturePump)
    Q_PROPERTY(bool capturing READ capturing NOTIFY capturingChanged)
    Q_PROPERTY(QString captureError READ captureError NOTIFY captureErrorChanged)
    Q_PROPERTY(float level READ level NOTIFY levelChanged)
    Q_PROPERTY(double silentForSeconds READ silentForSeconds NOTIFY silentForSecondsChanged)
    Q_PROPERTY(bool everSawSignal READ everSawSignal NOTIFY everSawSignalChanged)
    Q_PROPERTY(double bpm READ bpm NOTIFY bpmChanged)
    // Wallpaper (src/wallpaper)
    Q_PROPERTY(QString wallpaperScreenName READ wallpaperScreenName NOTIFY wallpaperScreenNameChanged)
    Q_PROPERTY(QString themeName READ themeName NOTIFY themeNameChanged)
    // Scenes and sign-in (src/compose)
    Q_PROPERTY(QString composeStatus READ composeStatus NOTIFY composeStatusChanged)
    Q_PROPERTY(QString keyState READ keyState NOTIFY keyStateChanged)
    Q_PROPERTY(QString keyStatus READ keyStatus NOTIFY keyStatusChanged)
    Q_PROPERTY(QString autoSource READ autoSource NOTIFY autoSourceChanged)
    // Lyrics (src/nowplaying)
    Q_PROPERTY(QString lyricLine READ lyricLine NOTIFY lyricLineChanged)

public:
    explicit AppState(Platform platform, QObject* parent = nullptr);
    ~AppState() override;

    // The app's single instance, made by main(); tests construct their own.
    static AppState* shared();
    static AppState& createShared(Platform platform);
    static void destroyShared();

    Platform& platform() { return m_platform; }

    // --- Lifecycle (src/app/Lifecycle.cpp)
    void shutdown();

    // --- Capture pump and watchdogs (src/app/CapturePump)
    // Starting finishes later: `capturing` or `captureError` changes when it does.
    void startCapture();
    void stopCapture();
    void pump();  // one timer tick
    // Collects the pump's tick intervals, written to `file` by shutdown().
    void collectTickStats(const QString& file);

    // --- Status file (src/app/StatusFile.cpp)
    static constexpr double kStatusInterval = 2.0;
    void writeStatus();
    QString statusURL();
    static QString iso(double secondsSinceEpoch);  // "2026-01-02T03:04:05Z"

    // --- Wallpaper placement (src/wallpaper/WallpaperPlacement)
    void setWallpaper(const ScreenInfo& screen, bool preview);
    void removeWallpaper();
    WallpaperWindow* wallpaper() const;
    bool wallpaperVisible() const;

    // --- Look, effects, quality, themes (src/wallpaper/LookAndThemes)
    void applyLook();
    void applyQuality();
    void applyFx();
    void stepTheme(int step);
    void refreshThemeName();

    // --- Scenes from prompts (src/compose: ComposeClient, SceneGenerator)
    void generateScene(const QString& prompt, bool vary);
    bool composeInFlight() const;
    void setComposeInFlight(bool inFlight);
    QString lastScenePrompt() const;
    ComposeClient& composeClient() { return *m_compose; }

    // --- Presets (src/compose/Presets)
    const QList<Preset>& presets() const;
    void savePreset();
    void applyPreset(const Preset& preset);
    void deletePreset(const QUuid& id);
    void persistPresets();

    // --- Sign-in (src/compose/SignIn)
    // Stores a key from the sign-in callback (storedKeyChanged follows) and
    // brings the app to the front.
    void activateKey(const QString& key);
    // The configuration read again, the lyric default, and a fresh key check:
    // what follows any change of the stored "pro.key".
    void storedKeyChanged();
    void validateKey();
    void openSignInPage();
    // A key is configured: the client's, or a stored "pro.key" that is not blank.
    bool hasKey() const;
    // hasKey, and the backend has not rejected the key.
    bool signedIn() const;

    // --- Automatic and cover scenes (src/compose: AutoScenes, CoverScene)
    // The pump's slow ticks: may start a scene of the song or its lyric line.
    void autoSceneCheck();
    // Every song change: a cover scene 3 s later, unless the next change comes first.
    void scheduleCoverScene(const TrackInfo& track);

    // --- Now playing and lyrics (src/nowplaying: NowPlayingWatcher, LyricsFetcher, LyricSync)
    // Starts watching the players; the panel's first showing calls it.
    void startNowPlaying();
    void syncLyric();
    void syncLyricsDefault();
    void lyricsModeChanged();
    // The current track as "artist — title", or empty when there is none.
    QString currentTrackText() const;
    // Why the player cannot be read, or none; nowPlayingChanged tells of a change.
    std::optional<QString> permissionHint() const;
    // Lines of the current song's lyrics: 0 while loading or when it has none.
    qsizetype lyricsLineCount() const;

    // --- Logging and shared helpers (src/app/Logging.cpp)
    static void dlog(const QString& message);
    static QString logURL();
    static QString jsString(const QString& text);
    // Whether the control panel is at least partly on screen, as the panel last
    // reported it: shown, not minimised, not completely covered.
    bool panelVisible() const { return m_panelVisible; }
    void setPanelVisible(bool visible);
    void systemLog(const QString& line);  // line includes the "[vesmer] " prefix

    // --- For the control panel (src/panel): what it shows beside the published
    // fields, and where its sound-settings button goes.
    // The watcher's current track; nowPlayingChanged tells of a change.
    std::optional<TrackInfo> currentTrack() const;
    void openSoundSettings();

    // --- Published fields
    bool capturing() const { return m_capturing; }
    QString captureError() const { return m_captureError; }  // null: none
    float level() const { return m_level; }
    double silentForSeconds() const { return m_silentForSeconds; }
    bool everSawSignal() const { return m_everSawSignal; }
    double bpm() const { return m_bpm; }
    QString wallpaperScreenName() const { return m_wallpaperScreenName; }  // null: none
    QString themeName() const { return m_themeName; }
    QString composeStatus() const { return m_composeStatus; }
    QString keyState() const { return m_keyState; }
    QString keyStatus() const { return m_keyStatus; }
    QString autoSource() const { return m_autoSource; }
    QString lyricLine() const { return m_lyricLine; }

    void setThemeName(const QString& name);
    void setComposeStatus(const QString& status);
    void setAutoSource(const QString& source);
    void setLyricLine(const QString& line);

    // --- Unpublished state, readable for diagnostics and tests
    bool screensAsleep() const { return m_screensAsleep; }
    std::int64_t tickCount() const;
    float rawLevel() const;
    double lastSignalAt() const;
    double lastCaptureRestart() const;
    AudioTap& tap();
    CapturePump& capturePump() { return *m_pump; }

signals:
    void capturingChanged();
    void captureErrorChanged();
    void levelChanged();
    void silentForSecondsChanged();
    void everSawSignalChanged();
    void bpmChanged();
    void wallpaperScreenNameChanged();
    void themeNameChanged();
    void composeStatusChanged();
    void keyStateChanged();
    void keyStatusChanged();
    void autoSourceChanged();
    void lyricLineChanged();
    void presetsChanged();
    // The watcher published a track or a hint (at every poll, changed or not).
    void nowPlayingChanged();

private:
    // Stores `value` and emits `changed` only when it differs.
    template <typename T>
    void publish(T& field, const T& value, void (AppState::*changed)());
    void wireSubsystems();
    void screensDidSleep();
    void screensDidWake();
    double now() const { return m_platform.clock->now(); }

    Platform m_platform;

    // Subsystems
    std::unique_ptr<WallpaperPlacement> m_placement;
    std::unique_ptr<LookAndThemes> m_look;
    std::unique_ptr<ComposeClient> m_compose;
    std::unique_ptr<SceneGenerator> m_generator;
    std::unique_ptr<Presets> m_presets;
    std::unique_ptr<SignIn> m_signIn;
    std::unique_ptr<NowPlayingWatcher> m_nowPlaying;
    std::unique_ptr<LyricsFetcher> m_lyricsFetcher;
    std::unique_ptr<LyricSync> m_lyricSync;  // after the two it uses, so it goes first
    std::unique_ptr<AutoScenes> m_autoScenes;  // after what they read, so they go first
    std::unique_ptr<CoverScene> m_coverScene;

    // Capture
    std::unique_ptr<CapturePump> m_pump;
    QString m_tickStatsFile;  // empty: not collected

    // Published
    bool m_capturing = false;
    QString m_captureError;
    float m_level = 0.0f;
    double m_silentForSeconds = 0.0;
    bool m_everSawSignal = false;
    double m_bpm = 0.0;
    QString m_wallpaperScreenName;
    QString m_themeName = QStringLiteral("\u2014");
    QString m_composeStatus;
    QString m_keyState;
    QString m_keyStatus;
    QString m_autoSource;
    QString m_lyricLine;

    // Bookkeeping
    bool m_screensAsleep = false;
    bool m_panelVisible = false;
    double m_lastStatusWrite = Clock::distantPast();
    std::optional<QString> m_statusURL;
};

namespace detail {
// A null text (none) and an empty one are different published values.
inline bool samePublished(const QString& a, const QString& b) { return a == b && a.isNull() == b.isNull(); }
template <typename T>
bool samePublished(const T& a, const T& b) { return a == b; }
}  // namespace detail

template <typename T>
void AppState::publish(T& field, const T& value, void (AppState::*changed)())
{
    if (detail::samePublished(field, value))
        return;
    field = value;  // update first, so a slot reading it back sees the new value
    emit(this->*changed)();
}

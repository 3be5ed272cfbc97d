#pragma once
// Automatic scenes: while music plays on a visible wallpaper, asks scene
// generation for a scene of the song as it starts, then, at the user's pace
// ("auto.pace"), for scenes of the lyric line being sung. Keeps the pacing
// bookkeeping that cover scenes share. Main thread only; check() runs about ten
// times a second and does no work until its conditions hold.

#include <QObject>
#include <QString>

#include "nowplaying/LyricLine.h"
#include "platform/Clock.h"

class LyricSync;
class NowPlayingWatcher;
class SceneGenerator;
class Settings;
class SystemLog;
class WallpaperPlacement;

class AutoScenes : public QObject {
    Q_OBJECT
public:
    // How long a new song waits for its lyrics before its scene goes ahead without.
    static constexpr double kLyricsWait = 6.0;

    AutoScenes(const Settings& settings, const Clock& clock, SystemLog& log, const NowPlayingWatcher& watcher,
               const LyricSync& lyrics, const WallpaperPlacement& placement, SceneGenerator& generator,
               QObject* parent = nullptr);

    // One look at the song, its lyric line and `bpm` (0: no tempo); may start a scene.
    void check(double bpm);

    // Seconds between two automatic scenes of one song for an "auto.pace" value:
    // 60, 30 or 15, values outside 0..2 clamped.
    static double paceSeconds(int pace);

    // A cover scene was scheduled for the song `trackKey`: the song's pace counts from now.
    void coverScheduled(const QString& trackKey);
    // A cover scene started: so does the next pace period.
    void coverStarted();

signals:
    void sourceChanged(const QString& source);

private:
    bool paceAllows(const QString& key) const;
    // The line at `position` and the one after it (the first after the last),
    // the empty ones left out, joined by " / ".
    static QString lyricContext(const LyricLines& lines, double position);

    const Settings& m_settings;
    const Clock& m_clock;
    SystemLog& m_log;
    const NowPlayingWatcher& m_watcher;
    const LyricSync& m_lyrics;
    const WallpaperPlacement& m_placement;
    SceneGenerator& m_generator;

    bool m_enabled = true;   // "auto.scenes"
    double m_pace = 0;       // seconds, from "auto.pace"
    QString m_autoTrackKey;  // the song last seen playing
    double m_autoTrackAt = Clock::distantPast();
    QString m_lastAutoKey;  // song key, "|", lyric context (or "<cover>")
    double m_lastAutoAt = Clock::distantPast();
};

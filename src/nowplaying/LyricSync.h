#pragma once
// Lyric sync: follows the watcher's track, loads a new song's lyrics when the song
// changes, picks the line for the playback position (extrapolated from the last
// poll while playing) and hands a changed line to the wallpaper; also sends the
// user's lyric mode. Main thread only; syncLyric() runs about ten times a second
// and allocates nothing while the line stays.

#include <QObject>
#include <QString>
#include <optional>

#include "nowplaying/LyricLine.h"
#include "nowplaying/TrackInfo.h"

class Clock;
class LyricsFetcher;
class MainQueue;
class NowPlayingWatcher;
class Settings;
class WallpaperPlacement;

class LyricSync final : public QObject {
    Q_OBJECT
public:
    LyricSync(Settings& settings, const Clock& clock, MainQueue& queue, NowPlayingWatcher& watcher,
              LyricsFetcher& fetcher, const WallpaperPlacement& placement, QObject* parent = nullptr);

    // Reacts to a change of song only; the same song reported again changes nothing.
    void trackChanged(const std::optional<TrackInfo>& track);
    void syncLyric();
    // Publishes `text` as the current line and, unless the mode is "off", sends it.
    void setLyric(const QString& text);
    // Sends the mode and then the line (empty for "off") to a wallpaper, if any.
    void lyricsModeChanged();
    // A user who never chose a lyric mode gets lyrics drawn into the visuals.
    void syncLyricsDefault();

    QString line() const { return m_line; }
    QString lyricsKey() const { return m_lyricsKey; }
    const LyricLines& lyricLines() const { return m_lyricLines; }

signals:
    void lineChanged(const QString& line);
    // A different song began; the cover scene starts from here.
    void songChanged(const TrackInfo& track);

private:
    QString mode() const;

    Settings& m_settings;
    const Clock& m_clock;
    MainQueue& m_queue;
    NowPlayingWatcher& m_watcher;
    LyricsFetcher& m_fetcher;
    const WallpaperPlacement& m_placement;
    QString m_lyricsKey;
    LyricLines m_lyricLines;
    QString m_line;
};

#include "nowplaying/LyricSync.h"

#include <QPointer>

#include "nowplaying/LyricsFetcher.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"
#include "platform/Settings.h"
#include "wallpaper/WallpaperPlacement.h"
#include "wallpaper/WallpaperWindow.h"

namespace {
const QString kModeKey = QStringLiteral("lyrics.mode");
}

LyricSync::LyricSync(Settings& settings, const Clock& clock, MainQueue& queue, NowPlayingWatcher& watcher,
                     LyricsFetcher& fetcher, const WallpaperPlacement& placement, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock), m_queue(queue), m_watcher(watcher), m_fetcher(fetcher),
      m_placement(placement)
{
    // Each published track reaches trackChanged a moment later, in publication
    // order. The track current now is not delivered: an absent one changes nothing.
    connect(&m_watcher, &NowPlayingWatcher::trackAssigned, this, [this](const std::optional<TrackInfo>& track) {
        m_queue.post([self = QPointer(this), track] {
            if (self)
                self->trackChanged(track);
        });
    });
    if (m_watcher.track())
        trackChanged(m_watcher.track());
}

QString LyricSync::mode() const
{
    return m_settings.stringValue(kModeKey, QStringLiteral("visuals"));
}

void LyricSync::trackChanged(const std::optional<TrackInfo>& track)
{
    // An absent track keeps the lyrics: the same song may come back.
    if (!track)
        return;
    const QString key = track->key();
    if (key == m_lyricsKey)
        return;
    m_lyricsKey = key;
    m_lyricLines.clear();
    setLyric(QString());
    m_fetcher.fetch(*track, [self = QPointer(this), key](const LyricLines& lines) {
        // Lyrics of a song that is no longer current are dropped.
        if (self && self->m_lyricsKey == key)
            self->m_lyricLines = lines;
    });
    emit songChanged(*track);
}

void LyricSync::syncLyric()
{
    const std::optional<TrackInfo>& track = m_watcher.track();
    if (!track || m_lyricLines.isEmpty()) {
        setLyric(QString());
        return;
    }
    const double position = track->positionAt(m_clock.now());
    // From the end, so that of lines with equal times the later one wins.
    for (auto line = m_lyricLines.crbegin(); line != m_lyricLines.crend(); ++line) {
        if (line->t <= position) {
            setLyric(line->text);
            return;
        }
    }
    setLyric(QString());
}

void LyricSync::setLyric(const QString& text)
{
    if (text == m_line)
        return;
    m_line = text;
    emit lineChanged(m_line);
    if (mode() == QLatin1String("off"))
        return;
    if (WallpaperWindow* window = m_placement.window())
        window->setLyric(text);
}

void LyricSync::lyricsModeChanged()
{
    WallpaperWindow* window = m_placement.window();
    if (!window)
        return;
    const QString current = mode();
    window->setLyricMode(current);
    window->setLyric(current == QLatin1String("off") ? QString() : m_line);
}

void LyricSync::syncLyricsDefault()
{
    if (m_settings.hasOwnValue(kModeKey))
        return;
    m_settings.setValue(kModeKey, QStringLiteral("visuals"));
    lyricsModeChanged();
}

#include "compose/AutoScenes.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

#include "compose/SceneGenerator.h"
#include "nowplaying/LyricSync.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "platform/Settings.h"
#include "platform/SystemLog.h"
#include "wallpaper/WallpaperPlacement.h"

namespace {
const QChar kQuote(QLatin1Char('"'));

QString quoted(const QString& text)
{
    return kQuote + text + kQuote;
}

QString tempoSuffix(double bpm)
{
    if (!(bpm > 0.0) || !std::isfinite(bpm))
        return {};
    // llround: halves away from zero, so 99.5 reads as 100.
    return QStringLiteral(", %1 BPM").arg(std::llround(bpm));
}
}  // namespace

AutoScenes::AutoScenes(const Settings& settings, const Clock& clock, SystemLog& log, const NowPlayingWatcher& watcher,
                       const LyricSync& lyrics, const WallpaperPlacement& placement, SceneGenerator& generator,
                       QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(clock), m_log(log), m_watcher(watcher), m_lyrics(lyrics),
      m_placement(placement), m_generator(generator)
{
    // Held rather than read at every check: the check runs ten times a second and
    // a settings read allocates.
    const auto read = [this] {
        m_enabled = m_settings.boolValue(QStringLiteral("auto.scenes"), true);
        m_pace = paceSeconds(m_settings.intValue(QStringLiteral("auto.pace"), 1));
    };
    read();
    connect(&m_settings, &Settings::changed, this, [read](const QString& key) {
        if (key == QLatin1String("auto.scenes") || key == QLatin1String("auto.pace"))
            read();
    });
}

double AutoScenes::paceSeconds(int pace)
{
    static constexpr double kSeconds[] = {60.0, 30.0, 15.0};
    return kSeconds[std::clamp(pace, 0, 2)];
}

void AutoScenes::coverScheduled(const QString& trackKey)
{
    m_lastAutoKey = trackKey + QStringLiteral("|<cover>");
    m_lastAutoAt = m_clock.now();
}

void AutoScenes::coverStarted()
{
    m_lastAutoAt = m_clock.now();
}

void AutoScenes::check(double bpm)
{
    if (!m_enabled || m_generator.inFlight() || !m_placement.visible())
        return;
    const std::optional<TrackInfo>& track = m_watcher.track();
    if (!track || !track->playing)
        return;

    const double now = m_clock.now();
    const QString key = track->key();
    if (key != m_autoTrackKey) {
        m_autoTrackKey = key;
        m_autoTrackAt = now;
    }
    // Until lyric sync has seen the new song (a moment after the watcher), its
    // lines are the previous song's: they count as none rather than as this song's.
    const LyricLines none;
    const LyricLines& lines = m_lyrics.lyricsKey() == key ? m_lyrics.lyricLines() : none;
    if (lines.isEmpty() && now - m_autoTrackAt < kLyricsWait)
        return;
    if (!paceAllows(key))
        return;

    const QString context = lyricContext(lines, track->positionAt(now));
    const QString identity = key + QLatin1Char('|') + context;
    const bool vary = identity == m_lastAutoKey;
    m_lastAutoKey = identity;
    m_lastAutoAt = now;

    emit sourceChanged(context.isEmpty() ? track->title + QStringLiteral(" — ") + track->artist : context);
    const QString song = quoted(track->title) + QStringLiteral(" by ") + track->artist + tempoSuffix(bpm);
    const QString prompt = context.isEmpty()
        ? QStringLiteral("a bold audio-reactive scene for the song ") + song
        : QStringLiteral("a scene interpreting this lyric: ") + quoted(context) + QStringLiteral(" — from ") + song;
    m_log.write(QStringLiteral("[vesmer] auto-scene%1: %2").arg(vary ? QStringLiteral(" (vary)") : QString(), prompt));
    m_generator.generate(prompt, vary);
}

bool AutoScenes::paceAllows(const QString& key) const
{
    // The bar matters: "Song|Band|Record|21" must not pace "Song|Band|Record|216".
    const bool sameSong = m_lastAutoKey.size() > key.size() && m_lastAutoKey.startsWith(key)
                          && m_lastAutoKey.at(key.size()) == QLatin1Char('|');
    return !sameSong || m_clock.now() - m_lastAutoAt > m_pace;
}

QString AutoScenes::lyricContext(const LyricLines& lines, double position)
{
    if (lines.isEmpty())
        return {};
    QString current;
    QString next = lines.first().text;  // also what follows the last line
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lines[i].t <= position) {
            current = lines[i].text;
            if (i + 1 < lines.size())
                next = lines[i + 1].text;
            break;
        }
    }
    QStringList parts;
    for (const QString& text : {current, next})
        if (!text.isEmpty())
            parts << text;
    return parts.join(QStringLiteral(" / "));
}

// Lyric sync. Placeholders where the now-playing work fills in: the pump and the
// wallpaper re-apply already call these.
#include "app/AppState.h"

void AppState::syncLyric() {}

void AppState::syncLyricsDefault()
{
    // A user who never chose a lyric mode gets lyrics drawn into the visuals.
    if (!m_platform.settings->hasOwnValue(QStringLiteral("lyrics.mode")))
        m_platform.settings->setValue(QStringLiteral("lyrics.mode"), QStringLiteral("visuals"));
}

void AppState::lyricsModeChanged() {}

QString AppState::currentTrackText() const
{
    return {};
}

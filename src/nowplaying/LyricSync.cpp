#include "nowplaying/LyricSync.h"

#include "platform/Settings.h"

void LyricSync::syncLyricsDefault()
{
    if (!m_settings.hasOwnValue(QStringLiteral("lyrics.mode")))
        m_settings.setValue(QStringLiteral("lyrics.mode"), QStringLiteral("visuals"));
}

#include "app/AppState.h"

#include "app/CapturePump.h"
#include "nowplaying/NowPlayingWatcher.h"

void AppState::shutdown()
{
    stopCapture();
    if (const auto& intervals = m_pump->tickIntervals(); intervals && !m_tickStatsFile.isEmpty()
        && !intervals->writeTo(m_tickStatsFile))
        systemLog(QStringLiteral("[vesmer] cannot write the tick statistics to ") + m_tickStatsFile);
    removeWallpaper();
    m_nowPlaying->stop();
}

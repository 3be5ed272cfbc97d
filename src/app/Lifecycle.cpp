#include "app/AppState.h"

#include "nowplaying/NowPlayingWatcher.h"

void AppState::shutdown()
{
    stopCapture();
    removeWallpaper();
    m_nowPlaying->stop();
}

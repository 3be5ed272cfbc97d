#include "app/AppState.h"

void AppState::shutdown()
{
    stopCapture();
    removeWallpaper();
    // The now-playing watcher's polling stops here once it exists.
}

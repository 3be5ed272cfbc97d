// Automatic scenes. Placeholder: the pump already calls the check on slow ticks;
// the check itself comes with the compose work.
#include "app/AppState.h"

void AppState::autoSceneCheck() {}

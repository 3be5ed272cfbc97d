// Placeholder: the status file is built by the capture work.
#include "app/AppState.h"

void AppState::writeStatus() {}
QString AppState::statusURL() { return {}; }

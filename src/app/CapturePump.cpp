// Placeholder: the capture pump and its watchdogs are built by the capture work.
#include "app/AppState.h"

void AppState::startCapture() {}
void AppState::stopCapture() {}
void AppState::pump() {}
void AppState::installDeviceListener() {}

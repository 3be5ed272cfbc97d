// Placeholder: look, effects, quality and themes are built by the wallpaper host work.
#include "app/AppState.h"

void AppState::applyLook() {}
void AppState::applyQuality() {}
void AppState::applyFx() {}
void AppState::stepTheme(int) {}
void AppState::refreshThemeName() {}

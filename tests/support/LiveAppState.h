#pragma once
// An AppState on real time (system clock, Qt main queue) and the real PulseAudio
// capture backend, with the remaining doubles of a TestPlatform (log, events,
// screens, wallpaper host). For integration tests against a sound server.

#include <memory>

class AppState;
class TestPlatform;

// `doubles` keeps the typed pointers of the doubles still in use; its clock, queue
// and capture pointers refer to replaced objects and must not be used.
std::unique_ptr<AppState> makeLiveAppState(TestPlatform& doubles);

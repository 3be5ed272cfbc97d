#include "LiveAppState.h"

#include "TestPlatform.h"
#include "app/AppState.h"
#include "platform/pulse/PulseCaptureBackend.h"

std::unique_ptr<AppState> makeLiveAppState(TestPlatform& doubles)
{
    Platform platform = doubles.takeOnRealTime();
    platform.capture = std::make_unique<PulseCaptureBackend>();
    return std::make_unique<AppState>(std::move(platform));
}

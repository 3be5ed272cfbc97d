#include "LiveAppState.h"

#include "TestPlatform.h"
#include "app/AppState.h"
#include "platform/pulse/PulseCaptureBackend.h"
#include "platform/qt/QtMainQueue.h"

std::unique_ptr<AppState> makeLiveAppState(TestPlatform& doubles)
{
    Platform platform = doubles.take();
    platform.clock = std::make_unique<SystemClock>();
    platform.queue = std::make_unique<QtMainQueue>();
    platform.capture = std::make_unique<PulseCaptureBackend>();
    return std::make_unique<AppState>(std::move(platform));
}

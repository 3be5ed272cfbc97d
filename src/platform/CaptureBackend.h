#pragma once
// The source of the mixed system audio output. start/stop/sampleRate and
// watchDefaultOutput run on the main thread; captured frames are written into
// the ring from the backend's own thread only.

#include <functional>
#include <optional>

#include "platform/TapError.h"

class SampleRing;

class CaptureBackend {
public:
    // A start's outcome: no error once recording, else why it failed.
    using StartDone = std::function<void(const std::optional<TapError>&)>;

    virtual ~CaptureBackend() = default;
    // Starts recording into `ring` without blocking the caller. `done` runs later on
    // the main thread, never inside start(), and never after stop() or destruction.
    // A failed start leaves nothing behind.
    virtual void start(SampleRing& ring, StartDone done) = 0;
    // Stops and releases everything start made, cancelling a pending start; safe to
    // call at any time.
    virtual void stop() = 0;
    // The stream's actual rate in Hz, as last started (48000 before the first start).
    virtual double sampleRate() const = 0;
    // Calls `changed` on the main thread whenever the default output device changes,
    // whether or not capture runs. Installed once per process.
    virtual void watchDefaultOutput(std::function<void()> changed) = 0;
};

#pragma once
// The source of the mixed system audio output. start/stop/sampleRate and
// watchDefaultOutput run on the main thread; captured frames are written into
// a SampleSink from the backend's own thread only.

#include <functional>
#include <optional>

#include "platform/TapError.h"

// Where captured frames go. Called on the backend's own thread only; it must
// copy and return at once (no allocation, no waiting on the main thread).
class SampleSink {
public:
    virtual ~SampleSink() = default;
    // `frames` interleaved frames of `channels` float samples each.
    virtual void writeMono(const float* samples, int frames, int channels) = 0;
};

class CaptureBackend {
public:
    // A start's outcome: no error once recording, else why it failed.
    using StartDone = std::function<void(const std::optional<TapError>&)>;

    virtual ~CaptureBackend() = default;
    // Starts recording into `sink` without blocking the caller. `done` runs later on
    // the main thread, never inside start(), and never after stop() or destruction.
    // A failed start leaves nothing behind.
    virtual void start(SampleSink& sink, StartDone done) = 0;
    // Stops and releases everything start made, cancelling a pending start; safe to
    // call at any time.
    virtual void stop() = 0;
    // The stream's actual rate in Hz, as last started (48000 before the first start).
    virtual double sampleRate() const = 0;
    // Calls `changed` on the main thread whenever the default output device changes,
    // whether or not capture runs. Installed once per process.
    virtual void watchDefaultOutput(std::function<void()> changed) = 0;
};

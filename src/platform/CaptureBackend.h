#pragma once
// The source of the mixed system audio output. start/stop/sampleRate and
// watchDefaultOutput run on the main thread; captured frames are written into
// the ring from the backend's own thread only.

#include <functional>

class SampleRing;

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    // Starts recording into `ring`; returns once recording, throws TapError otherwise.
    // A failed start leaves nothing behind.
    virtual void start(SampleRing& ring) = 0;
    // Stops and releases everything start made; safe to call at any time.
    virtual void stop() = 0;
    // The stream's actual rate in Hz, as last started (48000 before the first start).
    virtual double sampleRate() const = 0;
    // Calls `changed` on the main thread whenever the default output device changes,
    // whether or not capture runs. Installed once per process.
    virtual void watchDefaultOutput(std::function<void()> changed) = 0;
};

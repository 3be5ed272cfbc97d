#pragma once
// System audio capture: a CaptureBackend recording into this tap's SampleRing.
// Main thread only (the backend writes the ring from its own thread). The ring
// lives as long as the tap and keeps its samples across stops and restarts.

#include <optional>

#include "audio/SampleRing.h"
#include "platform/CaptureBackend.h"

class AudioTap {
public:
    explicit AudioTap(CaptureBackend& backend) : m_backend(backend) {}
    ~AudioTap() { stop(); }  // the ring goes with the tap: the backend must stop writing first
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    // Starts capturing; does nothing while running or starting. `done` gets the
    // outcome later on the main thread, unless stop() comes first. A failure leaves
    // the tap stopped with nothing held.
    void start(CaptureBackend::StartDone done);
    // Marks the tap stopped, then tears the backend down, cancelling a pending
    // start; safe at any time.
    void stop();

    bool isRunning() const { return m_running; }
    bool isStarting() const { return m_starting; }
    double sampleRate() const { return m_backend.sampleRate(); }
    SampleRing& ring() { return m_ring; }

private:
    CaptureBackend& m_backend;
    // The ring as the backend sees it: a sink on the capture thread.
    struct RingSink final : SampleSink {
        explicit RingSink(SampleRing& ring) : ring(ring) {}
        void writeMono(const float* samples, int frames, int channels) override { ring.writeMono(samples, frames, channels); }
        SampleRing& ring;
    };
    SampleRing m_ring;
    RingSink m_sink{m_ring};
    bool m_running = false;
    bool m_starting = false;
};

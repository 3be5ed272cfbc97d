#pragma once
// System audio capture: a CaptureBackend recording into this tap's SampleRing.
// Main thread only (the backend writes the ring from its own thread). The ring
// lives as long as the tap and keeps its samples across stops and restarts.

#include "audio/SampleRing.h"
#include "platform/TapError.h"

class CaptureBackend;

class AudioTap {
public:
    explicit AudioTap(CaptureBackend& backend) : m_backend(backend) {}

    // Starts capturing; does nothing while running. Throws TapError on failure,
    // leaving the tap stopped with nothing held.
    void start();
    // Marks the tap stopped, then tears the backend down; safe at any time.
    void stop();

    bool isRunning() const { return m_running; }
    double sampleRate() const;
    SampleRing& ring() { return m_ring; }

private:
    CaptureBackend& m_backend;
    SampleRing m_ring;
    bool m_running = false;
};

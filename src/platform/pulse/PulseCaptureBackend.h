#pragma once
// Captures the mixed system output from the PulseAudio (or pipewire-pulse) server:
// a float32 mono record stream on the default sink's monitor source. start/stop and
// watchDefaultOutput run on the main thread; the stream's read callback runs on the
// libpulse loop thread and only copies whole frames into the ring (no allocation).
// A stream that dies while recording (server gone) leaves a window of silence.

#include <functional>
#include <memory>

#include "platform/CaptureBackend.h"

class QObject;

class PulseCaptureBackend final : public CaptureBackend {
public:
    PulseCaptureBackend();
    ~PulseCaptureBackend() override;
    PulseCaptureBackend(const PulseCaptureBackend&) = delete;
    PulseCaptureBackend& operator=(const PulseCaptureBackend&) = delete;

    // Blocks until the stream records, for at most kStartTimeoutSeconds; then throws
    // TapError ("<libpulse call> failed (<negative error code>)"). Every start makes
    // a fresh main loop, context and stream.
    void start(SampleRing& ring) override;
    void stop() override;
    double sampleRate() const override { return m_sampleRate; }
    // A separate, long-lived connection that follows the server's default sink. A lost
    // server is reconnected from the main thread; its return counts as a change.
    void watchDefaultOutput(std::function<void()> changed) override;

    static constexpr double kStartTimeoutSeconds = 5.0;
    static constexpr int kFragmentMs = 10;
    static constexpr int kReconnectMs = 1000;

private:
    class Session;
    class Watcher;

    std::unique_ptr<QObject> m_mainContext;  // posts from the loop threads land here
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Watcher> m_watcher;
    double m_sampleRate = 48000.0;
};

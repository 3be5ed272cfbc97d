#pragma once
// Captures the mixed system output from the PulseAudio (or pipewire-pulse) server:
// a float32 mono record stream on the default sink's monitor source. start/stop and
// watchDefaultOutput run on the main thread; the stream's read callback runs on the
// libpulse loop thread and only copies whole frames into the sink (no allocation).
// A stream that dies while recording (server gone) leaves a window of silence.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "platform/CaptureBackend.h"
#include "platform/TapError.h"

class QObject;

class PulseCaptureBackend final : public CaptureBackend {
public:
    PulseCaptureBackend();
    ~PulseCaptureBackend() override;
    PulseCaptureBackend(const PulseCaptureBackend&) = delete;
    PulseCaptureBackend& operator=(const PulseCaptureBackend&) = delete;

    // Connects on a thread of its own and answers once the stream records, or with a
    // TapError ("<libpulse call> failed (<negative error code>)") after at most
    // kStartTimeoutSeconds. Every start makes a fresh main loop, context and stream.
    void start(SampleSink& sink, StartDone done) override;
    // Cancels a pending start (waking its thread at once) and releases everything.
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

    void finished(std::uint64_t attempt, const std::optional<TapError>& error, double rate);

    std::unique_ptr<QObject> m_mainContext;  // posts from the other threads land here
    std::unique_ptr<Session> m_session;
    std::thread m_starter;  // runs while a start is pending
    StartDone m_done;
    std::uint64_t m_attempt = 0;  // results of earlier attempts are dropped
    std::unique_ptr<Watcher> m_watcher;
    double m_sampleRate = 48000.0;
};

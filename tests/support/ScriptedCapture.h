#pragma once
// A capture backend driven by the test: a start succeeds, or fails with the TapError
// the test set, and its answer is posted to the main queue, or held until the test
// calls answerStart(). write() puts samples into the ring as the capture thread would.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "platform/CaptureBackend.h"
#include "platform/MainQueue.h"
#include "platform/TapError.h"

class ScriptedCapture final : public CaptureBackend {
public:
    explicit ScriptedCapture(MainQueue& queue) : m_queue(queue) {}

    void start(SampleSink& sink, StartDone done) override;
    void stop() override;
    double sampleRate() const override { return rate; }
    void watchDefaultOutput(std::function<void()> changed) override;

    // Triggers.
    void write(const std::vector<float>& mono);
    void changeDefaultOutput();
    // Delivers the held answer of the pending start; false when there is none.
    bool answerStart();

    QString failWith;         // non-empty: the next starts fail with TapError(failWith)
    bool holdStarts = false;  // true: starts wait for answerStart()
    double rate = 48000.0;
    int starts = 0;
    int stops = 0;
    int watchers = 0;
    bool running = false;  // recording: from a successful start until stop()
    std::function<void()> onStop;  // called by every stop()

private:
    MainQueue& m_queue;
    SampleSink* m_sink = nullptr;
    std::function<void()> m_changed;
    // The pending start's answer; a stop() drops it.
    std::optional<TapError> m_answer;
    StartDone m_pending;
};

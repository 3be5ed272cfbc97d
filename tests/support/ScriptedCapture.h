#pragma once
// A capture backend driven by the test: start succeeds or throws the TapError the
// test set; write() puts samples into the ring as the capture thread would.

#include <QString>
#include <functional>
#include <vector>

#include "audio/SampleRing.h"
#include "platform/TapError.h"
#include "platform/CaptureBackend.h"

class ScriptedCapture final : public CaptureBackend {
public:
    void start(SampleRing& ring) override;
    void stop() override;
    double sampleRate() const override { return rate; }
    void watchDefaultOutput(std::function<void()> changed) override;

    // Triggers.
    void write(const std::vector<float>& mono);
    void changeDefaultOutput();

    QString failWith;  // non-empty: the next starts throw TapError(failWith)
    double rate = 48000.0;
    int starts = 0;
    int stops = 0;
    int watchers = 0;
    bool running = false;
    std::function<void()> onStop;  // called by every stop()

private:
    SampleRing* m_ring = nullptr;
    std::function<void()> m_changed;
};

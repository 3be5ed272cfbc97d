#pragma once
// The capture pump: starts and stops the tap, analyses every 1/30 s hop of captured
// audio in audio time, hands the newest features to the page once per timer tick,
// and rebuilds the tap after an output-device change or a long silence. It owns the
// tap and the analysis; AppState publishes what it reports and answers its hooks.
// Main thread only.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/AudioTap.h"
#include "app/TickIntervals.h"
#include "audio/AnalysisConstants.h"
#include "audio/AudioAnalysis.h"
#include "platform/MainQueue.h"

class CaptureBackend;
class Clock;
class SystemLog;

class CapturePump : public QObject {
    Q_OBJECT
public:
    static constexpr double kPumpInterval = analysis::kHopSeconds;
    static constexpr int kSlowDivisor = 3;
    static constexpr float kSignalThreshold = 0.01f;
    static constexpr double kSilenceLimit = 20.0;
    static constexpr double kRebuildSpacing = 30.0;
    static constexpr double kStallLimit = 0.25;  // no new audio for longer: stalled

    // What a tick asks of, and hands to, the rest of the app. Every hook is set.
    struct Hooks {
        std::function<bool()> feeding;  // a visible wallpaper on awake screens
        std::function<bool()> panelVisible;
        std::function<void(const AudioFeatures&)> feed;
        std::function<void()> slowWork;  // runs on slow ticks, before the silence watchdog
        std::function<void()> tickDone;  // ends every processed tick
    };

    CapturePump(MainQueue& queue, const Clock& clock, SystemLog& log, CaptureBackend& capture, QObject* parent = nullptr);
    ~CapturePump() override;

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }
    // Collects the intervals between timer firings from now on.
    void collectTickIntervals() { m_intervals.emplace(); }
    const std::optional<TickIntervals>& tickIntervals() const { return m_intervals; }

    // Starts capture unless it runs or a start is pending; the outcome arrives later.
    void start();
    // Stops the timer and the tap, cancelling a pending start; safe at any time.
    void stop();
    // One timer tick.
    void tick();

    bool capturing() const { return m_capturing; }
    bool starting() const { return m_starting; }
    bool everSawSignal() const { return m_everSawSignal; }
    std::int64_t tickCount() const { return m_tickCount; }
    float rawLevel() const { return m_rawLevel; }
    double lastSignalAt() const { return m_lastSignalAt; }
    double lastCaptureRestart() const { return m_lastCaptureRestart; }
    bool deviceListenerInstalled() const { return m_deviceListenerInstalled; }
    // Flux values handed to the tempo estimator, one per hop of audio.
    std::int64_t hopsAnalysed() const { return m_analysis.hops(); }
    // Hops that were no longer in the ring when a late tick came: gaps in the tempo's input.
    std::int64_t hopsSkipped() const { return m_hopsSkipped; }
    AudioTap& tap() { return m_tap; }

signals:
    void capturingChanged(bool capturing);
    void captureErrorChanged(const QString& error);  // null: none
    void levelChanged(float level);
    void silentForSecondsChanged(double seconds);
    void everSawSignalChanged(bool seen);
    void tempoEstimated(double bpm);

private:
    void started(const std::optional<TapError>& error);
    void rebuild();
    void installDeviceListener();
    std::int64_t hopEndAt(std::int64_t k) const;
    bool analyseHops(bool feeding, double t);
    double now() const;
    void log(const QString& line);

    MainQueue& m_queue;
    const Clock& m_clock;
    SystemLog& m_log;
    CaptureBackend& m_capture;
    Hooks m_hooks;

    AudioTap m_tap;
    AudioAnalysis m_analysis;
    TaskHandle m_tick;
    std::optional<TickIntervals> m_intervals;
    double m_lastFiring = 0.0;

    bool m_capturing = false;
    bool m_starting = false;
    bool m_everSawSignal = false;
    bool m_loggedSignal = false;
    bool m_deviceListenerInstalled = false;
    double m_lastSignalAt = 0.0;
    double m_lastCaptureRestart = 0.0;
    std::int64_t m_tickCount = 0;
    float m_rawLevel = 0.0f;

    // Hops of the running stream: hop k ends m_streamStart + hopEnd(k) frames into the ring.
    std::int64_t m_streamStart = 0;
    std::int64_t m_rate = 48000;
    std::int64_t m_nextHop = 1;
    std::int64_t m_hopsSkipped = 0;
    std::int64_t m_lastWritten = -1;  // the ring's count when it last grew
    double m_lastAudioAt = 0.0;       // when that was
    AudioFeatures m_newest;
};

#include "app/CapturePump.h"

#include <QPointer>
#include <cmath>

#include "audio/SampleRing.h"
#include "platform/CaptureBackend.h"
#include "platform/Clock.h"
#include "platform/SystemLog.h"

CapturePump::CapturePump(MainQueue& queue, const Clock& clock, SystemLog& log, CaptureBackend& capture, QObject* parent)
    : QObject(parent),
      m_queue(queue),
      m_clock(clock),
      m_log(log),
      m_capture(capture),
      m_tap(capture),
      m_lastSignalAt(clock.now()),
      m_lastCaptureRestart(Clock::distantPast())
{
}

CapturePump::~CapturePump()
{
    m_tick.cancel();  // the tap stops itself as it goes
}

double CapturePump::now() const
{
    return m_clock.now();
}

void CapturePump::log(const QString& line)
{
    m_log.write(line);
}

void CapturePump::start()
{
    if (m_capturing || m_starting)
        return;
    m_starting = true;
    // The new stream's frames follow what the ring holds now: the previous stream
    // has stopped writing, and its audio was analysed with it.
    m_streamStart = m_tap.ring().written();
    const QPointer<CapturePump> self(this);
    m_tap.start([self](const std::optional<TapError>& error) {
        if (self)
            self->started(error);
    });
}

void CapturePump::started(const std::optional<TapError>& error)
{
    m_starting = false;
    if (error) {
        const QString text = QString::fromStdString(error->description());
        emit captureErrorChanged(text);
        emit capturingChanged(false);
        log(QStringLiteral("[vesmer] tap FAILED: ") + text);
        return;  // nothing retries: the next wallpaper or watchdog tries again
    }
    m_capturing = true;
    emit capturingChanged(true);
    emit captureErrorChanged(QString());
    // Silence is counted from this capture, not from an earlier one.
    m_lastSignalAt = now();
    if (!m_deviceListenerInstalled) {
        m_deviceListenerInstalled = true;
        installDeviceListener();
    }
    log(QString::asprintf("[vesmer] tap started (sampleRate %.0f)", m_tap.sampleRate()));

    m_rate = std::max<std::int64_t>(1, std::llround(m_tap.sampleRate()));
    m_nextHop = 1;
    const QPointer<CapturePump> self(this);
    m_lastFiring = now();
    m_tick = m_queue.every(kPumpInterval, 0.0, [self] {
        if (self)
            self->tick();
    });
}

void CapturePump::stop()
{
    m_tick.cancel();
    m_tick = TaskHandle();
    m_starting = false;
    if (m_tap.isRunning() || m_tap.isStarting())
        m_tap.stop();
    m_capturing = false;
    emit capturingChanged(false);
    emit levelChanged(0.0f);
}

void CapturePump::rebuild()
{
    m_lastCaptureRestart = now();
    stop();
    start();
}

void CapturePump::installDeviceListener()
{
    const QPointer<CapturePump> self(this);
    m_capture.watchDefaultOutput([self] {
        if (!self)
            return;
        self->log(QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap"));
        if (self->m_capturing)
            self->rebuild();
    });
}

std::int64_t CapturePump::hopEndAt(std::int64_t k) const
{
    return m_streamStart + AudioAnalysis::hopEnd(k, m_rate);
}

// Brings the analysis up to the audio captured so far. Feeding, every hop since the
// last tick is analysed and its flux pushed, so the tempo sees 30 values per second
// of audio however late the tick; otherwise only the newest hop is looked at, for
// its level. Returns whether the tempo estimate changed.
bool CapturePump::analyseHops(bool feeding, double t)
{
    SampleRing& ring = m_tap.ring();
    const std::int64_t written = ring.written();
    if (written != m_lastWritten) {
        m_lastWritten = written;
        m_lastAudioAt = t;
    }
    if (t - m_lastAudioAt > kStallLimit) {
        // No audio for a while: the stream has stalled or died (a dead one leaves a
        // window of silence). The newest window is looked at again on every tick,
        // so that the level decays and the silence watchdog can act; the tempo is
        // not fed. A healthy stream delivers every few milliseconds.
        if (const auto features = m_analysis.features(ring, written))
            m_newest = *features;
        return false;
    }
    const std::int64_t first = m_nextHop;
    while (hopEndAt(m_nextHop) <= written)
        ++m_nextHop;
    const std::int64_t last = m_nextHop - 1;
    if (last < first)
        return false;  // no new hop yet: the newest features stay as they are
    if (!feeding) {
        if (const auto features = m_analysis.features(ring, hopEndAt(last)))
            m_newest = *features;
        return false;
    }
    bool tempoChanged = false;
    for (std::int64_t k = first; k <= last; ++k) {
        const std::int64_t end = hopEndAt(k);
        // A window older than the ring holds is gone: the tick came too late for it.
        if (end - analysis::kWindow < written - SampleRing::kCapacity) {
            ++m_hopsSkipped;
            continue;
        }
        if (const auto hop = m_analysis.hop(ring, end)) {
            m_newest = hop->features;
            tempoChanged = tempoChanged || hop->tempoChanged;
        } else {
            ++m_hopsSkipped;  // overwritten while this tick ran
        }
    }
    return tempoChanged;
}

void CapturePump::tick()
{
    if (m_intervals) {
        const double firing = now();
        m_intervals->record(firing - m_lastFiring);
        m_lastFiring = firing;
    }
    if (!m_capturing)
        return;
    ++m_tickCount;

    // A visible wallpaper on awake screens is fed every tick; otherwise only every
    // third tick runs, and nothing is fed.
    const bool slow = m_tickCount % kSlowDivisor == 0;
    const bool feeding = m_hooks.feeding();
    if (!feeding && !slow)
        return;

    const double t = now();  // one clock read serves the whole tick
    const bool tempoChanged = analyseHops(feeding, t);
    const AudioFeatures features = m_newest;
    m_rawLevel = features.level;

    if (features.level > kSignalThreshold) {
        m_lastSignalAt = t;
        if (!m_everSawSignal) {
            m_everSawSignal = true;
            emit everSawSignalChanged(true);
        }
        if (!m_loggedSignal) {
            m_loggedSignal = true;
            log(QString::asprintf("[vesmer] SIGNAL \u2014 system audio flowing (level %.3f)", double(features.level)));
        }
    }

    if (slow) {
        // A hidden panel costs no redraws: its two values are left as they are.
        if (m_hooks.panelVisible()) {
            emit levelChanged(features.level);
            emit silentForSecondsChanged(t - m_lastSignalAt);
        }
        m_hooks.slowWork();
        if (m_everSawSignal && t - m_lastSignalAt > kSilenceLimit && t - m_lastCaptureRestart > kRebuildSpacing) {
            log(QStringLiteral("[vesmer] silent 20s after signal \u2014 rebuilding the tap"));
            if (m_capturing)
                rebuild();
        }
    }

    if (feeding) {
        m_hooks.feed(features);
        if (tempoChanged)
            emit tempoEstimated(m_analysis.bpm());
    }

    m_hooks.tickDone();
}

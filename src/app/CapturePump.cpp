// The capture pump: starts and stops the tap, moves the newest audio window to the
// page and the tempo estimator 30 times a second, and rebuilds the tap after an
// output-device change or a long silence. Main thread only.
#include <QPointer>

#include "app/AppState.h"
#include "app/AudioTap.h"
#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"
#include "wallpaper/WallpaperWindow.h"

void AppState::startCapture()
{
    if (m_capturing)
        return;
    try {
        m_tap->start();
    } catch (const TapError& error) {
        const QString text = QString::fromStdString(error.description());
        publish(m_captureError, text, &AppState::captureErrorChanged);
        publish(m_capturing, false, &AppState::capturingChanged);
        systemLog(QStringLiteral("[vesmer] tap FAILED: ") + text);
        return;  // nothing retries: the next wallpaper or watchdog tries again
    }
    publish(m_capturing, true, &AppState::capturingChanged);
    publish(m_captureError, QString(), &AppState::captureErrorChanged);
    // Silence is counted from this capture, not from an earlier one.
    m_lastSignalAt = now();
    if (!m_deviceListenerInstalled) {
        m_deviceListenerInstalled = true;
        installDeviceListener();
    }
    systemLog(QString::asprintf("[vesmer] tap started (sampleRate %.0f)", m_tap->sampleRate()));
    const QPointer<AppState> self(this);
    m_tick = m_platform.queue->every(kPumpInterval, 0.0, [self] {
        if (self)
            self->pump();
    });
}

void AppState::stopCapture()
{
    m_tick.cancel();
    m_tick = TaskHandle();
    if (m_tap->isRunning())
        m_tap->stop();
    publish(m_capturing, false, &AppState::capturingChanged);
    publish(m_level, 0.0f, &AppState::levelChanged);
}

void AppState::installDeviceListener()
{
    const QPointer<AppState> self(this);
    m_platform.capture->watchDefaultOutput([self] {
        if (!self)
            return;
        self->systemLog(QStringLiteral("[vesmer] default output changed \u2014 rebuilding the tap"));
        if (!self->m_capturing)
            return;
        self->m_lastCaptureRestart = self->now();
        self->stopCapture();
        self->startCapture();
    });
}

void AppState::pump()
{
    if (!m_capturing)
        return;
    ++m_tickCount;

    // A visible wallpaper on awake screens is fed every tick; otherwise only every
    // third tick runs, and nothing is fed.
    const bool slow = m_tickCount % kSlowDivisor == 0;
    const bool feedTick = wallpaperVisible() && !m_screensAsleep;
    if (!feedTick && !slow)
        return;

    const AudioFeatures features = m_tap->ring().latest(kWindowSize, m_windowBuf.data(), m_windowBuf.size())
                                       ? m_extractor->step(m_windowBuf.data())
                                       : AudioFeatures{};
    m_rawLevel = features.level;

    if (features.level > kSignalThreshold) {
        m_lastSignalAt = now();
        publish(m_everSawSignal, true, &AppState::everSawSignalChanged);
        if (!m_loggedSignal) {
            m_loggedSignal = true;
            systemLog(QString::asprintf("[vesmer] SIGNAL \u2014 system audio flowing (level %.3f)", double(features.level)));
        }
    }

    if (slow) {
        // A hidden panel costs no redraws: its two values are left as they are.
        if (panelVisible()) {
            publish(m_level, features.level, &AppState::levelChanged);
            publish(m_silentForSeconds, now() - m_lastSignalAt, &AppState::silentForSecondsChanged);
        }
        syncLyric();
        autoSceneCheck();
        if (m_everSawSignal && now() - m_lastSignalAt > kSilenceLimit && now() - m_lastCaptureRestart > kRebuildSpacing) {
            systemLog(QStringLiteral("[vesmer] silent 20s after signal \u2014 rebuilding the tap"));
            if (m_capturing) {
                m_lastCaptureRestart = now();
                stopCapture();
                startCapture();
            }
        }
    }

    if (feedTick) {
        if (WallpaperWindow* window = wallpaper())
            window->feed(features);
        m_bpmEstimator->push(features.flux);
        if (now() - m_lastBpmUpdate > kTempoInterval) {
            m_lastBpmUpdate = now();
            if (m_bpmEstimator->update()) {
                publish(m_bpm, m_bpmEstimator->bpm(), &AppState::bpmChanged);
                if (WallpaperWindow* window = wallpaper())
                    window->setBPM(m_bpm);
            }
        }
    }

    writeStatus();
}

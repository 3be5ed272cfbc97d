#include "audio/AudioAnalysis.h"

#include "audio/SampleRing.h"

std::optional<AudioFeatures> AudioAnalysis::features(SampleRing& ring, std::int64_t end)
{
    // Before a whole window has passed there is nothing to analyse: zeros, and the
    // extractor's smoothing is left alone.
    if (end < analysis::kWindow)
        return AudioFeatures{};
    if (!ring.window(end, analysis::kWindow, m_window.data(), m_window.size()))
        return std::nullopt;
    return m_extractor.step(m_window.data());
}

std::optional<AudioAnalysis::Hop> AudioAnalysis::hop(SampleRing& ring, std::int64_t end)
{
    const std::optional<AudioFeatures> found = features(ring, end);
    if (!found)
        return std::nullopt;
    Hop result{*found, false};
    m_estimator.push(found->flux);
    ++m_hops;
    if (m_hops == 1 || m_hops - m_lastEstimate > analysis::kTempoHops) {
        m_lastEstimate = m_hops;
        result.tempoChanged = m_estimator.update();
    }
    return result;
}

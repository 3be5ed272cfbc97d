#include "audio/BpmEstimator.h"

#include <cmath>

namespace {

constexpr int kMinLag = 10;
constexpr int kMaxLag = 40;
constexpr int kLagCount = kMaxLag - kMinLag + 1;
constexpr float kMinEnergy = 0.0001f;
constexpr float kMinPeak = 0.08f;
constexpr float kPeakOverMean = 1.6f;
constexpr double kLowBpm = 70.0;
constexpr double kHighBpm = 180.0;
constexpr double kCloseBpm = 3.0;
constexpr int kVotesToLock = 2;

}  // namespace

void BpmEstimator::push(float flux)
{
    m_ring[size_t(m_head)] = flux;
    m_head = (m_head + 1) % kHistory;
    if (m_filled < kHistory)
        ++m_filled;
}

float BpmEstimator::correlation(int lag, int n, float energy) const
{
    float sum = 0.0f;
    for (int i = lag; i < n; ++i)
        sum += m_scratch[size_t(i)] * m_scratch[size_t(i - lag)];
    return sum / energy;
}

bool BpmEstimator::reset()
{
    if (std::fabs(m_bpm) < 0.05)
        return false;
    m_lastEstimate = 0.0;
    m_candidate = 0.0;
    m_candidateVotes = 0;
    m_bpm = 0.0;
    return true;
}

bool BpmEstimator::update()
{
    const int n = m_filled;
    if (n < kMinHistory)
        return reset();

    // Newest n values, oldest first, with the mean removed (single precision).
    int index = (m_head - n + 2 * kHistory) % kHistory;
    float total = 0.0f;
    for (int i = 0; i < n; ++i) {
        m_scratch[size_t(i)] = m_ring[size_t(index)];
        total += m_scratch[size_t(i)];
        index = (index + 1) % kHistory;
    }
    const float mean = total / float(n);
    float energy = 0.0f;
    for (int i = 0; i < n; ++i) {
        m_scratch[size_t(i)] -= mean;
        energy += m_scratch[size_t(i)] * m_scratch[size_t(i)];
    }
    if (energy <= kMinEnergy)
        return reset();

    // Strongest lag; among equal maxima the smallest wins, and r ≤ 0 never does.
    float best = 0.0f;
    int bestLag = 0;
    float sumOfR = 0.0f;
    for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
        const float r = correlation(lag, n, energy);
        sumOfR += r;
        if (r > best) {
            best = r;
            bestLag = lag;
        }
    }
    if (bestLag == 0 || !(best > kMinPeak) || !(best > kPeakOverMean * (sumOfR / float(kLagCount))))
        return reset();

    double lag = bestLag;
    if (bestLag > kMinLag && bestLag < kMaxLag) {
        const float before = correlation(bestLag - 1, n, energy);
        const float after = correlation(bestLag + 1, n, energy);
        const float curvature = before - 2.0f * best + after;
        if (std::fabs(curvature) > 1e-6f)
            lag += double(0.5f * (before - after) / curvature);
    }

    double tempo = 60.0 * m_rate / lag;
    while (tempo < kLowBpm)
        tempo *= 2.0;
    while (tempo > kHighBpm)
        tempo /= 2.0;

    if (m_lastEstimate > 0.0 && std::fabs(tempo - m_lastEstimate) < kCloseBpm) {
        m_candidateVotes = 0;
        tempo = (tempo + m_lastEstimate) / 2.0;
        m_lastEstimate = tempo;
    } else if (m_candidate > 0.0 && std::fabs(tempo - m_candidate) < kCloseBpm) {
        ++m_candidateVotes;
        if (m_candidateVotes < kVotesToLock)
            return false;
        m_lastEstimate = tempo;
        m_candidate = 0.0;
        m_candidateVotes = 0;
    } else {
        m_candidate = tempo;
        m_candidateVotes = 1;
        return false;
    }

    const double rounded = std::round(tempo * 10.0) / 10.0;  // halves away from zero
    if (std::fabs(rounded - m_bpm) < 0.05)
        return false;
    m_bpm = rounded;
    return true;
}

#pragma once
// Estimates the tempo from the stream of bass-onset flux values: autocorrelation
// over lags of 10..40 values, parabolic peak refinement, octave folding into
// 70..180 BPM, and hysteresis so that a new tempo must be seen twice.
// Main thread only. push() is O(1) and allocates nothing; update() every ~2 s.

#include <array>

#include "audio/AnalysisConstants.h"

class BpmEstimator {
public:
    static constexpr int kHistory = 512;
    static constexpr int kMinHistory = 12 * analysis::kHopsPerSecond;  // 12 s of values

    explicit BpmEstimator(double rate = analysis::kHopsPerSecond) : m_rate(rate) {}

    void push(float flux);
    // Recomputes the estimate; true exactly when bpm() changed (also to 0).
    bool update();

    // The published tempo, rounded to 0.1 BPM; 0 means no tempo.
    double bpm() const { return m_bpm; }
    int filled() const { return m_filled; }

private:
    float correlation(int lag, int n, float energy) const;
    bool reset();

    std::array<float, kHistory> m_ring{};
    std::array<float, kHistory> m_scratch{};
    int m_head = 0;
    int m_filled = 0;
    double m_lastEstimate = 0.0;
    double m_candidate = 0.0;
    int m_candidateVotes = 0;
    double m_bpm = 0.0;
    const double m_rate;
};

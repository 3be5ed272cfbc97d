#pragma once
// Turns the newest 1024 mono samples into one AudioFeatures record: band levels,
// overall level, beat envelope, spectral centroid, bass-onset flux, energy.
// Main thread, 30 calls a second; keeps a smoothed spectrum between calls.
// step() allocates nothing: the FFT plan and all buffers are made at construction.

#include <array>

#include "audio/AnalysisConstants.h"
#include "audio/AudioFeatures.h"

class FeatureExtractor {
public:
    static constexpr int kWindow = analysis::kWindow;
    static constexpr int kBins = kWindow / 2;

    FeatureExtractor();  // throws std::runtime_error if no FFT plan can be made
    ~FeatureExtractor();
    FeatureExtractor(const FeatureExtractor&) = delete;
    FeatureExtractor& operator=(const FeatureExtractor&) = delete;

    // `window` holds exactly kWindow samples, oldest first (not checked).
    AudioFeatures step(const float* window);

    // The normalised spectrum of the last step, 0..1 per bin.
    const std::array<float, kBins>& norm() const { return m_norm; }

private:
    float band(double lo, double hi) const;

    std::array<float, kWindow> m_hann{};
    std::array<float, kBins> m_smoothed{};
    std::array<float, kBins> m_norm{};
    float* m_samples = nullptr;     // FFTW-aligned input, kWindow floats
    void* m_spectrum = nullptr;     // FFTW-aligned output, kBins + 1 complex values
    void* m_plan = nullptr;
    float m_bassAvg = 0.0f;
    float m_beatEnv = 0.0f;
    float m_levelAvg = 0.0f;
};

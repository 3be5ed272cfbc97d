#include "audio/FeatureExtractor.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr float kMagnitudeScale = 0.00048828125f;  // 1/2048: the packed FFT's factor 2, over n
constexpr float kSmoothNew = 0.2f;
constexpr float kSmoothOld = 0.8f;
constexpr float kFloor = 1e-12f;
constexpr float kDecibelsPerOctave = float(20.0 * 0.30102999566398119521);  // 20·log10(2)
constexpr double kBassEnd = 0.08;
constexpr double kMidEnd = 0.35;
constexpr float kOnsetThreshold = 0.06f;
constexpr float kBeatValue = 0.88f;
constexpr float kBeatDecay = 0.88f;
constexpr float kFluxGain = 4.0f;
constexpr float kCentroidScale = 0.001953125f;  // 1/512

}  // namespace

FeatureExtractor::FeatureExtractor()
{
    // Periodic Hann scaled to unit mean square.
    for (int n = 0; n < kWindow; ++n)
        m_hann[size_t(n)] = float(0.8165 * (1.0 - std::cos(2.0 * M_PI * n / kWindow)));
    m_samples = fftwf_alloc_real(kWindow);
    auto* spectrum = fftwf_alloc_complex(kBins + 1);
    m_spectrum = spectrum;
    if (m_samples && spectrum)
        m_plan = fftwf_plan_dft_r2c_1d(kWindow, m_samples, spectrum, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    if (!m_plan) {
        fftwf_free(m_samples);
        fftwf_free(spectrum);
        throw std::runtime_error("fftwf_plan_dft_r2c_1d failed (1024)");
    }
}

FeatureExtractor::~FeatureExtractor()
{
    fftwf_destroy_plan(static_cast<fftwf_plan>(m_plan));
    fftwf_free(m_samples);
    fftwf_free(m_spectrum);
}

float FeatureExtractor::band(double lo, double hi) const
{
    const auto i0 = static_cast<long long>(lo * kBins);
    const auto i1 = static_cast<long long>(hi * kBins);
    if (i1 <= i0)
        return 0.0f;
    float sum = 0.0f;
    for (long long i = i0; i < i1; ++i)
        sum += m_norm[size_t(i)];
    return sum / float(i1 - i0);
}

AudioFeatures FeatureExtractor::step(const float* window)
{
    // 1. Window.
    for (int n = 0; n < kWindow; ++n)
        m_samples[n] = window[n] * m_hann[size_t(n)];

    // 2. Transform. FFTW gives X[0..512]; the packed form the magnitudes are defined
    //    on holds 2·X[j] for j ≥ 1 and the pair (2·DC, 2·Nyquist) in bin 0.
    fftwf_execute(static_cast<fftwf_plan>(m_plan));
    const auto* spectrum = static_cast<const fftwf_complex*>(m_spectrum);

    // 3. Magnitude, smoothing, decibel mapping.
    for (int j = 0; j < kBins; ++j) {
        float re, im;
        if (j == 0) {
            re = 2.0f * spectrum[0][0];
            im = 2.0f * spectrum[kBins][0];
        } else {
            re = 2.0f * spectrum[j][0];
            im = 2.0f * spectrum[j][1];
        }
        const float magnitude = std::sqrt(re * re + im * im) * kMagnitudeScale;
        float& smoothed = m_smoothed[size_t(j)];
        smoothed = kSmoothNew * magnitude + kSmoothOld * smoothed;
        const float s = std::max(smoothed, kFloor);
        // 20·log10(s) through log2: this libc's log10f is several times slower than
        // its log2f, and this loop runs 512 times a tick.
        const float d = (kDecibelsPerOctave * std::log2(s) + 100.0f) / 70.0f;
        m_norm[size_t(j)] = std::min(std::max(d, 0.0f), 1.0f);
    }

    // 4-5. Bands (defined in bins, not hertz) and level.
    AudioFeatures f;
    f.bass = band(0.0, kBassEnd);
    f.mid = band(kBassEnd, kMidEnd);
    f.treble = band(kMidEnd, 1.0);
    f.level = (f.bass + f.mid + f.treble) / 3.0f;

    // 6. Bass onset against the average from before this call.
    const float rise = std::max(f.bass - m_bassAvg, 0.0f);
    m_bassAvg = 0.1f * f.bass + 0.9f * m_bassAvg;
    m_beatEnv = rise > kOnsetThreshold ? kBeatValue : m_beatEnv * kBeatDecay;
    m_levelAvg = 0.05f * f.level + 0.95f * m_levelAvg;

    // 7. Centroid.
    float sum = 0.0f;
    float weighted = 0.0f;
    for (int j = 0; j < kBins; ++j) {
        sum += m_norm[size_t(j)];
        weighted += float(j) * m_norm[size_t(j)];
    }
    f.centroid = sum > 0.0f ? (weighted / sum) * kCentroidScale : 0.0f;

    // 8-9.
    f.flux = std::min(kFluxGain * rise, 1.0f);
    f.beat = m_beatEnv;
    f.energy = m_levelAvg;
    return f;
}

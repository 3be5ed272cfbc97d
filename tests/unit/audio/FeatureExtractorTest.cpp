#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numeric>
#include <random>
#include <vector>

#include "audio/FeatureExtractor.h"

using ::testing::DoubleNear;
using ::testing::Pointwise;

namespace {

constexpr int N = 1024;
constexpr int kBins = 512;

// The features computed the slow, obvious way: a direct DFT in double precision.
struct ReferenceExtractor {
    std::array<double, kBins> smoothed{}, norm{};
    double bassAvg = 0, beatEnv = 0, levelAvg = 0;

    double band(double lo, double hi) const
    {
        const int i0 = int(lo * kBins), i1 = int(hi * kBins);
        return std::accumulate(norm.begin() + i0, norm.begin() + i1, 0.0) / (i1 - i0);
    }

    // bass, mid, treble, level, beat, centroid, flux, energy
    std::array<double, 8> step(const std::vector<float>& x)
    {
        std::vector<std::complex<double>> X(kBins + 1);
        for (int n = 0; n < N; ++n) {
            const double w = double(x[size_t(n)]) * double(float(0.8165 * (1 - std::cos(2 * M_PI * n / N))));
            for (int j = 0; j <= kBins; ++j)
                X[size_t(j)] += w * std::polar(1.0, -2 * M_PI * double(j) * n / N);
        }
        double s = 0, wsum = 0;
        for (int j = 0; j < kBins; ++j) {
            // Bin 0 holds DC and Nyquist together.
            const double m = (j == 0 ? std::hypot(X[0].real(), X[kBins].real()) : std::abs(X[size_t(j)])) / 1024;
            smoothed[size_t(j)] = 0.2 * m + 0.8 * smoothed[size_t(j)];
            norm[size_t(j)] = std::clamp((20 * std::log10(std::max(smoothed[size_t(j)], 1e-12)) + 100) / 70, 0.0, 1.0);
            s += norm[size_t(j)];
            wsum += j * norm[size_t(j)];
        }
        const double bass = band(0, 0.08), mid = band(0.08, 0.35), treble = band(0.35, 1.0);
        const double level = (bass + mid + treble) / 3;
        const double rise = std::max(bass - bassAvg, 0.0);
        bassAvg = 0.1 * bass + 0.9 * bassAvg;
        beatEnv = rise > 0.06 ? 0.88 : beatEnv * 0.88;
        levelAvg = 0.05 * level + 0.95 * levelAvg;
        return {bass, mid, treble, level, beatEnv, s > 0 ? wsum / s / 512 : 0, std::min(4 * rise, 1.0), levelAvg};
    }
};

std::array<double, 8> fields(const AudioFeatures& f)
{
    return {f.bass, f.mid, f.treble, f.level, f.beat, f.centroid, f.flux, f.energy};
}

std::vector<float> sine(double bin, double amplitude)
{
    std::vector<float> x(N);
    for (int n = 0; n < N; ++n)
        x[size_t(n)] = float(amplitude * std::sin(2 * M_PI * bin * n / N));
    return x;
}

}  // namespace

TEST(FeatureExtractor, AgreesWithADirectDftOverSeveralCalls)
{
    std::mt19937 rng(1234);
    std::normal_distribution<float> gauss(0.0f, 0.3f);
    std::vector<float> noise(N);
    std::generate(noise.begin(), noise.end(), [&] { return gauss(rng); });
    const std::vector<float> silence(N);
    std::vector<float> dcAndNyquist(N);
    for (int n = 0; n < N; ++n)
        dcAndNyquist[size_t(n)] = 0.2f + (n % 2 ? -0.1f : 0.1f);

    const std::pair<const char*, std::vector<std::vector<float>>> rows[] = {
        {"bin-centre sine", {sine(20, 0.5), sine(20, 0.5), sine(20, 0.5)}},
        {"white noise", {noise, noise, noise}},
        {"silence, sound, then decay in silence", {silence, noise, silence, silence}},
        {"DC and Nyquist land in bin 0", {dcAndNyquist, dcAndNyquist}},
    };
    EXPECT_EQ(FeatureExtractor().step(silence.data()), AudioFeatures{}) << "silence is all zeros";
    for (const auto& [name, windows] : rows) {
        SCOPED_TRACE(name);
        FeatureExtractor extractor;
        ReferenceExtractor reference;
        for (const auto& window : windows) {
            EXPECT_THAT(fields(extractor.step(window.data())), Pointwise(DoubleNear(1e-5), reference.step(window)));
            ASSERT_THAT(extractor.norm(), Pointwise(DoubleNear(1e-5), reference.norm));
        }
    }
}

#pragma once
// One analysis hop, the same for the live pump and the offline tool: the features
// of the window that ends at a given frame of the ring, its flux pushed to the
// tempo estimator, and the tempo re-estimated in audio time (counted in hops).
// One thread at a time; hop() and features() allocate nothing.

#include <array>
#include <cstdint>
#include <optional>

#include "audio/AnalysisConstants.h"
#include "audio/AudioFeatures.h"
#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"

class SampleRing;

class AudioAnalysis {
public:
    struct Hop {
        AudioFeatures features;     // all zeros when less than a window precedes the hop
        bool tempoChanged = false;  // bpm() changed on this hop (also to 0)
    };

    AudioAnalysis() = default;  // throws std::runtime_error if no FFT plan can be made

    // Where hop k (1, 2, …) of a stream at `rate` Hz ends, in frames from the
    // stream's first frame: floor(k × rate / 30).
    static std::int64_t hopEnd(std::int64_t k, std::int64_t rate) { return k * rate / analysis::kHopsPerSecond; }

    // Analyses the window ending at frame `end` of `ring` (counted as the ring's
    // written()), pushes its flux and re-estimates the tempo when due. Nullopt, with
    // nothing pushed, when part of that window is no longer (or not yet) in the ring.
    std::optional<Hop> hop(SampleRing& ring, std::int64_t end);
    // The same window's features without feeding the tempo estimator.
    std::optional<AudioFeatures> features(SampleRing& ring, std::int64_t end);

    double bpm() const { return m_estimator.bpm(); }
    // Flux values pushed so far: one per hop.
    std::int64_t hops() const { return m_hops; }

private:
    FeatureExtractor m_extractor;
    BpmEstimator m_estimator{analysis::kHopsPerSecond};
    std::array<float, analysis::kWindow> m_window{};
    std::int64_t m_hops = 0;
    std::int64_t m_lastEstimate = 0;
};

#pragma once
// Runs the pump's audio analysis (AudioAnalysis) over a whole audio file, offline:
// tick k is hop k, at audio time k/30 s, and sees the frames before
// floor(k × rate / 30), written through the real SampleRing. Used by
// vesmer-analyze and its tests.

#include <functional>
#include <optional>
#include <string>

#include "audio/AudioFeatures.h"

struct AnalysisTick {
    long long tick = 0;      // 1, 2, 3, …
    double time = 0.0;       // seconds of audio
    AudioFeatures features;  // all zeros while the ring holds less than a window
    double bpm = 0.0;        // the published tempo after this tick
};

struct AnalysisSummary {
    double bpm = 0.0;                   // last published tempo
    std::optional<double> firstBpmAt;   // audio time of the first non-zero tempo
};

// Analyses `path`; calls `onTick` for every tick. Returns the summary, or the
// reason the file could not be read in `error`.
std::optional<AnalysisSummary> analyseFile(const std::string& path,
    const std::function<void(const AnalysisTick&)>& onTick, std::string& error);

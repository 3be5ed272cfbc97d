#pragma once
// The shape of the audio analysis, the same live and offline: a window of 1024
// mono samples analysed every 1/30 s of audio, and the tempo re-estimated once
// more than 2 s of audio have passed since the last estimate.

namespace analysis {

inline constexpr int kWindow = 1024;
inline constexpr int kHopsPerSecond = 30;
inline constexpr double kHopSeconds = 1.0 / kHopsPerSecond;
// The tempo is re-estimated on the first hop and then whenever more than this
// many hops (2 s of audio) have passed since the last estimate.
inline constexpr int kTempoHops = 2 * kHopsPerSecond;

}  // namespace analysis

#include "OfflineAnalysis.h"

#include <sndfile.h>

#include <array>
#include <cmath>
#include <vector>

#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"
#include "audio/SampleRing.h"

namespace {

constexpr int kTicksPerSecond = 30;
constexpr long long kUpdateEveryTicks = 60;  // the tempo is re-estimated after more than 2 s

struct SoundFile {
    SNDFILE* handle = nullptr;
    ~SoundFile()
    {
        if (handle)
            sf_close(handle);
    }
};

}  // namespace

std::optional<AnalysisSummary> analyseFile(const std::string& path,
    const std::function<void(const AnalysisTick&)>& onTick, std::string& error)
{
    SF_INFO info{};
    SoundFile file;
    file.handle = sf_open(path.c_str(), SFM_READ, &info);
    if (!file.handle) {
        error = sf_strerror(nullptr);
        return std::nullopt;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error = "no audio channels";
        return std::nullopt;
    }

    SampleRing ring;
    FeatureExtractor extractor;
    BpmEstimator estimator(kTicksPerSecond);
    std::array<float, FeatureExtractor::kWindow> window{};
    std::vector<float> chunk;

    AnalysisSummary summary;
    const long long totalFrames = info.frames;
    long long framesWritten = 0;
    long long lastUpdateTick = 0;
    for (long long k = 1;; ++k) {
        const long long due = k * info.samplerate / kTicksPerSecond;  // floor for non-negative values
        if (due > totalFrames)
            break;
        const long long wanted = due - framesWritten;
        if (wanted > 0) {
            chunk.resize(size_t(wanted * info.channels));
            const sf_count_t got = sf_readf_float(file.handle, chunk.data(), wanted);
            if (got != wanted) {
                error = "read error after " + std::to_string(framesWritten + got) + " frames";
                return std::nullopt;
            }
            ring.writeMono(chunk.data(), int(got), info.channels);
            framesWritten = due;
        }

        AnalysisTick tick;
        tick.tick = k;
        tick.time = double(k) / kTicksPerSecond;
        if (ring.latest(FeatureExtractor::kWindow, window.data(), window.size()))
            tick.features = extractor.step(window.data());
        estimator.push(tick.features.flux);
        if (k == 1 || k - lastUpdateTick > kUpdateEveryTicks) {
            lastUpdateTick = k;
            if (estimator.update()) {
                summary.bpm = estimator.bpm();
                if (summary.bpm > 0.0 && !summary.firstBpmAt)
                    summary.firstBpmAt = tick.time;
            }
        }
        tick.bpm = summary.bpm;
        if (onTick)
            onTick(tick);
    }
    return summary;
}

#include "OfflineAnalysis.h"

#include <sndfile.h>

#include <vector>

#include "audio/AudioAnalysis.h"
#include "audio/SampleRing.h"

namespace {

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
    AudioAnalysis analyser;
    std::vector<float> chunk;

    AnalysisSummary summary;
    const long long totalFrames = info.frames;
    long long framesWritten = 0;
    for (long long k = 1;; ++k) {
        const long long due = AudioAnalysis::hopEnd(k, info.samplerate);
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

        // The whole file passes through the ring hop by hop: a hop's window is always held.
        const AudioAnalysis::Hop hop = analyser.hop(ring, due).value();
        AnalysisTick tick;
        tick.tick = k;
        tick.time = double(k) / analysis::kHopsPerSecond;
        tick.features = hop.features;
        if (hop.tempoChanged) {
            summary.bpm = analyser.bpm();
            if (summary.bpm > 0.0 && !summary.firstBpmAt)
                summary.firstBpmAt = tick.time;
        }
        tick.bpm = summary.bpm;
        if (onTick)
            onTick(tick);
    }
    return summary;
}

// vesmer-analyze FILE [--summary]: the app's audio analysis over an audio file.
#include <cstdio>
#include <cstring>
#include <string>

#include "OfflineAnalysis.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: vesmer-analyze FILE [--summary]\n"
                         "  Prints one CSV row per 1/30 s tick: tick,time,bass,mid,treble,level,beat,centroid,flux,energy,bpm\n"
                         "  --summary  prints only: bpm=<last tempo> first_bpm_at=<seconds or none>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string path;
    bool summaryOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary") == 0)
            summaryOnly = true;
        else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return usage();
        else if (path.empty())
            path = argv[i];
        else
            return usage();
    }
    if (path.empty())
        return usage();

    if (!summaryOnly)
        std::printf("tick,time,bass,mid,treble,level,beat,centroid,flux,energy,bpm\n");
    std::string error;
    const auto summary = analyseFile(path, [summaryOnly](const AnalysisTick& t) {
        if (summaryOnly)
            return;
        const AudioFeatures& f = t.features;
        std::printf("%lld,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g\n", t.tick, t.time, double(f.bass),
            double(f.mid), double(f.treble), double(f.level), double(f.beat), double(f.centroid), double(f.flux),
            double(f.energy), t.bpm);
    }, error);
    if (!summary) {
        std::fprintf(stderr, "vesmer-analyze: %s: %s\n", path.c_str(), error.c_str());
        return 2;
    }
    if (summaryOnly) {
        if (summary->firstBpmAt)
            std::printf("bpm=%.9g first_bpm_at=%.9g\n", summary->bpm, *summary->firstBpmAt);
        else
            std::printf("bpm=%.9g first_bpm_at=none\n", summary->bpm);
    }
    return 0;
}

// vesmer-analyze FILE [--summary]: the app's audio analysis over an audio file.
// vesmer-analyze --lrc FILE [--duration SECONDS]: the lyric lines the app would show.
#include <QFile>
#include <QString>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LyricsAnalysis.h"
#include "OfflineAnalysis.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: vesmer-analyze FILE [--summary]\n"
                         "       vesmer-analyze --lrc FILE [--duration SECONDS]\n"
                         "  Prints one CSV row per 1/30 s tick: tick,time,bass,mid,treble,level,beat,centroid,flux,energy,bpm\n"
                         "  --summary  prints only: bpm=<last tempo> first_bpm_at=<seconds or none>\n"
                         "  --lrc      prints the lines of a lyric file as a JSON list of [seconds, text] pairs\n"
                         "             in display order; a file without time tags is spread over --duration\n");
    return 2;
}

int printLyrics(int argc, char** argv)
{
    const char* path = nullptr;
    double duration = 0.0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--duration") == 0 && i + 1 < argc) {
            char* end = nullptr;
            duration = std::strtod(argv[++i], &end);
            if (*end != '\0' || !std::isfinite(duration))
                return usage();
        } else if (!path) {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (!path)
        return usage();
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vesmer-analyze: %s: %s\n", path, qPrintable(file.errorString()));
        return 2;
    }
    const QByteArray json = lyricsAsJson(QString::fromUtf8(file.readAll()), duration).toUtf8();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--lrc") == 0)
        return printLyrics(argc, argv);
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

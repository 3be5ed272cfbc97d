// LRC parsing: a typical synced lyric of 80 lines, and hostile inputs of growing
// size, whose time must grow linearly.
#include <QString>
#include <cmath>
#include <benchmark/benchmark.h>

#include "nowplaying/LyricLine.h"

namespace {

QString typicalLyric()
{
    QString text = QStringLiteral("[ar:Some Band]\n[ti:Some Song]\n[al:Some Album]\n[length:03:35]\n");
    for (int i = 0; i < 80; ++i) {
        const double t = 12.0 + i * 2.5;
        text += QStringLiteral("[%1:%2]").arg(int(t) / 60, 2, 10, QLatin1Char('0')).arg(std::fmod(t, 60.0), 5, 'f', 2, QLatin1Char('0'));
        text += QStringLiteral("And the words of line %1 go on for a while like lyrics do\n").arg(i);
    }
    return text;
}

void BM_ParseTypicalLyric(benchmark::State& state)
{
    const QString text = typicalLyric();
    for (auto _ : state)
        benchmark::DoNotOptimize(parseLRC(text));
}
BENCHMARK(BM_ParseTypicalLyric)->Unit(benchmark::kMicrosecond);

// Tags on one line, and brackets that never close: time per character stays flat.
void BM_ParseManyTags(benchmark::State& state)
{
    const QString text = QStringLiteral("[00:01]").repeated(state.range(0)) + QStringLiteral("x");
    for (auto _ : state)
        benchmark::DoNotOptimize(parseLRC(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseManyTags)->RangeMultiplier(10)->Range(1000, 1'000'000)->Complexity()->Unit(benchmark::kMillisecond);

void BM_ParseOpenBrackets(benchmark::State& state)
{
    const QString text = QStringLiteral("[0:0").repeated(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(parseLRC(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseOpenBrackets)->RangeMultiplier(10)->Range(1000, 2'500'000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

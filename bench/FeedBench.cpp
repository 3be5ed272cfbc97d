// Main-thread cost of one feed call: building its arguments, and building plus
// sending it through the wallpaper window to a loaded page in the real web
// engine. Needs an X display (run under Xvfb, e.g. through tests/run-headless.sh's
// environment) and, as root, QTWEBENGINE_DISABLE_SANDBOX=1. The CPU column is the
// benchmark thread's own CPU time, i.e. the main thread's.
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include "wallpaper/PageCalls.h"
#include "platform/qt/QtHostWindow.h"
#include "platform/qt/QtWebPage.h"
#include "wallpaper/WallpaperWindow.h"

namespace {

AudioFeatures sampleFeatures(int i)
{
    const float x = float(i % 100) / 100.0f;
    return AudioFeatures{x, x * 0.5f, x * 0.25f, x, 1.0f - x, 0.3f, x * 2.0f, 0.1f};
}

// A page with a feed function that does a little work with its arguments.
struct LoadedWindow {
    QTemporaryDir dir;
    WallpaperWindow* window = nullptr;
    std::unique_ptr<WallpaperWindow> owned;

    LoadedWindow()
    {
        QFile page(dir.filePath("index.html"));
        page.open(QIODevice::WriteOnly);
        page.write("<!doctype html><script>var fed = 0;"
                   "function vesmerFeed(b, m, t, l, beat, cen, flux, en) { fed += b + m + t + l + beat + cen + flux + en; }"
                   "</script>");
        page.close();
        const ScreenInfo screen{QStringLiteral("bench"), QRect(0, 0, 320, 180)};
        auto host = std::make_unique<QtHostWindow>(screen, false, QUrl::fromLocalFile(dir.filePath("index.html")));
        QtWebPage& webPage = host->webPage();
        owned = std::make_unique<WallpaperWindow>(std::move(host), screen, false);
        window = owned.get();
        QDeadlineTimer deadline(30000);
        while (!webPage.bridgeReady() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
    }
};

LoadedWindow& loaded()
{
    static LoadedWindow instance;
    return instance;
}

void BM_FeedBuild(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        QVariantMap arguments = PageCalls::feedArguments(sampleFeatures(i++));
        benchmark::DoNotOptimize(arguments);
    }
}
BENCHMARK(BM_FeedBuild);

// feed() alone, with the event loop turned every 32 calls so that the channel's
// messages leave the process.
void BM_FeedSend(benchmark::State& state)
{
    LoadedWindow& w = loaded();
    if (!dynamic_cast<QtWebPage&>(w.window->page()).bridgeReady()) {
        state.SkipWithError("the page did not load");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        w.window->feed(sampleFeatures(i));
        if (++i % 32 == 0) {
            state.PauseTiming();
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_FeedSend);

// feed() plus a turn of the event loop after every call: everything the main
// thread does for one feed at the pump's pace.
void BM_FeedSendAndDeliver(benchmark::State& state)
{
    LoadedWindow& w = loaded();
    int i = 0;
    for (auto _ : state) {
        w.window->feed(sampleFeatures(i++));
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_FeedSendAndDeliver);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    loaded().owned.reset();
    benchmark::Shutdown();
    return 0;
}

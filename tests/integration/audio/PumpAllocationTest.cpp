// Its own binary: every malloc-family call of the process goes through a counter
// (operator new and Qt's containers both end in malloc), switched on around single
// pump ticks on the main thread. Proves the pump's sample path allocates nothing.
#include <QByteArray>
#include <QFile>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "NullWallpaperHost.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/CapturePump.h"
#include "wallpaper/WallpaperWindow.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<long> g_allocations{0};
thread_local bool t_counting = false;

void counted()
{
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

template <typename Work>
long allocationsDuring(Work work)
{
    const long before = g_allocations.load();
    t_counting = true;
    work();
    t_counting = false;
    return g_allocations.load() - before;
}

}  // namespace

extern "C" {
void* malloc(size_t size)
{
    counted();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    counted();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
    counted();
    return __libc_realloc(pointer, size);
}
void free(void* pointer)
{
    __libc_free(pointer);
}
}

namespace {

// A little more than a hop of audio per tick, so that ticks analyse one or two
// hops; stereo, so that the capture thread's down-mix is counted too.
std::vector<float> music()
{
    std::vector<float> out(2 * 2000);
    for (size_t i = 0; i < out.size(); i += 2) {
        out[i] = float(0.8 * std::sin(2 * M_PI * 55 * double(i / 2) / 48000));
        out[i + 1] = float(0.4 * std::sin(2 * M_PI * 660 * double(i / 2) / 48000));
    }
    return out;
}

// Runs 30 warm-up ticks (the first write the SIGNAL line and compute the status
// path: once per process, not per tick), then `ticks` counted ones, each with the
// capture thread's ring write before it. The timer is bypassed: the test calls
// pump() as the timer would. `expected` gives the allocations a tick may make;
// ticks that wrote the status file or changed the tempo are the documented
// exceptions.
template <typename Expected>
void checkTicks(TestPlatform& tp, AppState& state, int ticks, Expected expected)
{
    const std::vector<float> signal = music();
    QByteArray status;
    int statusWrites = 0;
    for (int tick = -30; tick < ticks; ++tick) {
        tp.clock->advance(CapturePump::kPumpInterval);
        const long allowed = tick < 0 ? 0 : expected();
        const double tempoBefore = state.bpm();
        const long made = allocationsDuring([&] {
            state.tap().ring().writeMono(signal.data(), int(signal.size() / 2), 2);
            state.pump();
        });
        QFile file(state.statusURL());
        const QByteArray now = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (tick < 0 || now != status || state.bpm() != tempoBefore) {
            statusWrites += tick >= 0 && now != status ? 1 : 0;
            status = now;
            continue;
        }
        ASSERT_EQ(made, allowed) << "tick " << tick;
    }
    EXPECT_GE(statusWrites, ticks / 60 - 1) << "the exceptions really were status writes";
    EXPECT_GT(state.rawLevel(), CapturePump::kSignalThreshold);
}

TEST(PumpAllocations, TicksAllocateNothingBeyondWhatThePageCallItselfNeeds)
{
    TestPlatform tp;
    Platform platform = tp.take();
    platform.wallpaperHost = std::make_unique<NullWallpaperHost>();
    AppState state(std::move(platform));
    state.setPanelVisible(true);  // the published level and silence, too
    state.startCapture();
    tp.queue->runPending();
    // Without a wallpaper: slow ticks only.
    checkTicks(tp, state, 30 * 20, [] { return 0L; });

    state.setWallpaper(tp.screens->screens.first(), false);
    tp.queue->runPending();
    // The feed call's own cost (its argument map), measured alone the same way
    // just before each tick; the page itself keeps nothing.
    const auto feedCost = [&] { return allocationsDuring([&] { state.wallpaper()->feed(AudioFeatures{}); }); };
    EXPECT_GT(feedCost(), 0) << "the page call is seen, so equality below means the pump adds nothing";
    checkTicks(tp, state, 30 * 20, feedCost);
}

}  // namespace

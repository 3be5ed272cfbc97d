// Its own binary: replaces the global allocation functions to count every
// allocation, and proves the per-tick audio calls make none.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/BpmEstimator.h"
#include "audio/FeatureExtractor.h"
#include "audio/SampleRing.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(AudioAllocations, PerTickCallsAllocateNothing)
{
    SampleRing ring;
    FeatureExtractor extractor;
    BpmEstimator estimator;
    std::vector<float> stereo(2 * 512);
    for (size_t i = 0; i < stereo.size(); ++i)
        stereo[i] = float(std::sin(double(i) * 0.05));
    std::array<float, 1024> window{};

    const long before = g_allocations.load();
    for (int tick = 0; tick < 600; ++tick) {
        ring.writeMono(stereo.data(), 512, 2);
        ring.writeMono(stereo.data(), 1024, 1);
        ASSERT_TRUE(ring.latest(1024, window.data(), window.size()));
        const AudioFeatures f = extractor.step(window.data());
        estimator.push(f.flux);
        if (tick % 60 == 59)
            estimator.update();
    }
    EXPECT_EQ(g_allocations.load() - before, 0);

    // The counter itself works.
    auto* probe = new std::vector<int>(3);
    delete probe;
    EXPECT_GE(g_allocations.load() - before, 2);
}

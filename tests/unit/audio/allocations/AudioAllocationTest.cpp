// Its own binary: replaces the global allocation functions to count every
// allocation, and proves the per-hop audio calls make none.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/AudioAnalysis.h"
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

TEST(AudioAllocations, PerHopCallsAllocateNothing)
{
    SampleRing ring;
    AudioAnalysis analysis;
    std::vector<float> stereo(2 * 800);
    for (size_t i = 0; i < stereo.size(); ++i)
        stereo[i] = float(std::sin(double(i) * 0.05));

    const long before = g_allocations.load();
    // 20 s of audio: 600 hops, ten tempo estimates.
    for (std::int64_t k = 1; k <= 600; ++k) {
        ring.writeMono(stereo.data(), 800, 2);
        ring.writeMono(stereo.data(), 800, 1);
        ASSERT_TRUE(analysis.hop(ring, AudioAnalysis::hopEnd(k, 48000)));
        ASSERT_TRUE(analysis.features(ring, ring.written()));
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_EQ(analysis.hops(), 600);

    // The counter itself works.
    auto* probe = new std::vector<int>(3);
    delete probe;
    EXPECT_GE(g_allocations.load() - before, 2);
}

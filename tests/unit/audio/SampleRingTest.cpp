#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "audio/SampleRing.h"

namespace {

// Writes `count` mono samples valued from, from + 1, ...
void writeCounting(SampleRing& ring, int from, int count)
{
    std::vector<float> input(static_cast<size_t>(count));
    std::iota(input.begin(), input.end(), float(from));
    ring.writeMono(input.data(), count, 1);
}

}  // namespace

TEST(SampleRing, LatestNeedsAWholeWindowAndReturnsTheNewestInOrder)
{
    SampleRing ring;
    writeCounting(ring, 1, 1023);
    std::array<float, 1024> out{};
    out.fill(-7.0f);
    EXPECT_FALSE(ring.latest(1024, out.data(), out.size()));
    EXPECT_EQ(out[0], -7.0f) << "a failed read leaves the output untouched";

    writeCounting(ring, 1024, 1);
    ASSERT_TRUE(ring.latest(1024, out.data(), out.size()));
    EXPECT_EQ(out.front(), 1.0f);
    EXPECT_EQ(out.back(), 1024.0f);
    std::array<float, 1024> again{};
    ASSERT_TRUE(ring.latest(1024, again.data(), again.size()));
    EXPECT_EQ(out, again) << "no write in between: the same samples";

    std::array<float, 10> tooShort{};
    EXPECT_FALSE(ring.latest(1024, tooShort.data(), tooShort.size()));
    EXPECT_TRUE(ring.latest(0, tooShort.data(), 0));
}

TEST(SampleRing, WindowEndsAtAnAbsolutePositionWhileItIsStillHeld)
{
    SampleRing ring;
    writeCounting(ring, 0, 10000);
    std::array<float, 1024> out{};
    out.fill(-7.0f);
    EXPECT_FALSE(ring.window(10001, 1024, out.data(), out.size())) << "not yet written";
    EXPECT_FALSE(ring.window(1000, 1024, out.data(), out.size())) << "before the first sample";
    EXPECT_EQ(out[0], -7.0f);
    ASSERT_TRUE(ring.window(5000, 1024, out.data(), out.size()));
    EXPECT_EQ(out.front(), 3976.0f);
    EXPECT_EQ(out.back(), 4999.0f);

    // 16384 samples are held, so the oldest window ends at written - 16384 + 1024.
    writeCounting(ring, 10000, 10000);
    EXPECT_FALSE(ring.window(20000 - 16384 + 1023, 1024, out.data(), out.size())) << "partly overwritten";
    ASSERT_TRUE(ring.window(20000 - 16384 + 1024, 1024, out.data(), out.size()));
    EXPECT_EQ(out.front(), float(20000 - 16384));
    ASSERT_TRUE(ring.window(17000, 1024, out.data(), out.size()));
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(out[size_t(i)], float(17000 - 1024 + i));
}

TEST(SampleRing, DownMixesFramesToTheirMeanAndCountsFrames)
{
    SampleRing ring;
    const std::array<float, 2> stereo{1.0f, 3.0f};
    const std::array<float, 6> threeChannels{1.0f, 2.0f, 6.0f, -3.0f, 0.0f, 0.0f};
    ring.writeMono(stereo.data(), 1, 2);
    ring.writeMono(threeChannels.data(), 2, 3);
    EXPECT_EQ(ring.written(), 3);
    std::array<float, 3> out{};
    ASSERT_TRUE(ring.latest(3, out.data(), out.size()));
    EXPECT_EQ(out, (std::array<float, 3>{2.0f, 3.0f, -1.0f}));
}

TEST(SampleRing, OneWriteLargerThanTheRingKeepsItsNewestSamples)
{
    SampleRing ring;
    writeCounting(ring, 0, 20000);
    EXPECT_EQ(ring.written(), 20000);
    std::array<float, 1024> out{};
    ASSERT_TRUE(ring.latest(1024, out.data(), out.size()));
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(out[size_t(i)], float(20000 - 1024 + i));

    // The next write lands at 20000 mod 16384: the newest sample follows on.
    writeCounting(ring, -1, 1);
    ASSERT_TRUE(ring.latest(2, out.data(), out.size()));
    EXPECT_EQ(out[0], 19999.0f);
    EXPECT_EQ(out[1], -1.0f);
}

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "audio/SampleRing.h"

TEST(SampleRing, LatestNeedsAWholeWindowAndReturnsTheNewestInOrder)
{
    SampleRing ring;
    std::vector<float> input(1023);
    std::iota(input.begin(), input.end(), 1.0f);
    ring.writeMono(input.data(), 1023, 1);

    std::array<float, 1024> out{};
    out.fill(-7.0f);
    EXPECT_FALSE(ring.latest(1024, out.data(), out.size()));
    EXPECT_EQ(out[0], -7.0f) << "a failed read leaves the output untouched";

    const float next = 1024.0f;
    ring.writeMono(&next, 1, 1);
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
    std::vector<float> input(20000);
    std::iota(input.begin(), input.end(), 0.0f);
    ring.writeMono(input.data(), 10000, 1);
    std::array<float, 1024> out{};
    out.fill(-7.0f);
    EXPECT_FALSE(ring.window(10001, 1024, out.data(), out.size())) << "not yet written";
    EXPECT_FALSE(ring.window(1000, 1024, out.data(), out.size())) << "before the first sample";
    EXPECT_EQ(out[0], -7.0f);
    ASSERT_TRUE(ring.window(5000, 1024, out.data(), out.size()));
    EXPECT_EQ(out.front(), 3976.0f);
    EXPECT_EQ(out.back(), 4999.0f);

    // Across the wrap: 16384 samples are held, so the oldest window ends at
    // written - 16384 + 1024.
    ring.writeMono(input.data() + 10000, 10000, 1);
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
    std::vector<float> stereo;
    for (int i = 0; i < 10; ++i)
        stereo.insert(stereo.end(), {1.0f, 3.0f});
    ring.writeMono(stereo.data(), 10, 2);
    EXPECT_EQ(ring.written(), 10);

    const std::array<float, 6> threeChannels{1.0f, 2.0f, 6.0f, -3.0f, 0.0f, 0.0f};
    ring.writeMono(threeChannels.data(), 2, 3);
    std::array<float, 12> out{};
    ASSERT_TRUE(ring.latest(12, out.data(), out.size()));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[size_t(i)], 2.0f);
    EXPECT_EQ(out[10], 3.0f);
    EXPECT_EQ(out[11], -1.0f);
}

TEST(SampleRing, OneLargeWriteWrapsAndKeepsTheLastSamples)
{
    SampleRing ring;
    std::vector<float> input(20000);
    std::iota(input.begin(), input.end(), 0.0f);
    ring.writeMono(input.data(), int(input.size()), 1);
    EXPECT_EQ(ring.written(), 20000);

    std::array<float, 1024> out{};
    ASSERT_TRUE(ring.latest(1024, out.data(), out.size()));
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(out[size_t(i)], float(20000 - 1024 + i));

    // The next write lands at 20000 mod 16384 = 3616: the newest sample follows on.
    const float after = -1.0f;
    ring.writeMono(&after, 1, 1);
    ASSERT_TRUE(ring.latest(2, out.data(), out.size()));
    EXPECT_EQ(out[0], 19999.0f);
    EXPECT_EQ(out[1], -1.0f);
}

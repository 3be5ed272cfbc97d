#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "audio/SampleRing.h"

namespace {

// from, from + 1, ... (`count` values)
std::vector<float> counting(int from, int count)
{
    std::vector<float> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), float(from));
    return values;
}

void writeCounting(SampleRing& ring, int from, int count)
{
    ring.writeMono(counting(from, count).data(), count, 1);
}

// The n samples copied by latest() (end < 0) or window() into an output of
// `outSize` floats; none when refused, which must leave the output untouched.
std::optional<std::vector<float>> read(SampleRing& ring, int n, std::int64_t end = -1, size_t outSize = 1024)
{
    std::vector<float> out(outSize, -7.0f);
    if (end < 0 ? ring.latest(n, out.data(), outSize) : ring.window(end, n, out.data(), outSize))
        return std::vector<float>(out.begin(), out.begin() + n);
    EXPECT_EQ(out, std::vector<float>(outSize, -7.0f)) << "a refused read leaves the output untouched";
    return std::nullopt;
}

}  // namespace

TEST(SampleRing, LatestNeedsAWholeWindowAndReturnsTheNewestInOrder)
{
    SampleRing ring;
    writeCounting(ring, 1, 1023);
    EXPECT_FALSE(read(ring, 1024));
    writeCounting(ring, 1024, 1);
    EXPECT_EQ(read(ring, 1024), counting(1, 1024));
    EXPECT_FALSE(read(ring, 1024, -1, 10)) << "output too short";
    EXPECT_EQ(read(ring, 0, -1, 0), std::vector<float>{});
}

TEST(SampleRing, WindowEndsAtAnAbsolutePositionWhileItIsStillHeld)
{
    SampleRing ring;
    writeCounting(ring, 0, 10000);
    EXPECT_FALSE(read(ring, 1024, 10001)) << "not yet written";
    EXPECT_FALSE(read(ring, 1024, 1000)) << "before the first sample";
    EXPECT_EQ(read(ring, 1024, 5000), counting(3976, 1024));

    // 16384 samples are held, so the oldest window ends at written - 16384 + 1024.
    writeCounting(ring, 10000, 10000);
    EXPECT_FALSE(read(ring, 1024, 20000 - 16384 + 1023)) << "partly overwritten";
    EXPECT_EQ(read(ring, 1024, 20000 - 16384 + 1024), counting(20000 - 16384, 1024));
    EXPECT_EQ(read(ring, 1024, 17000), counting(17000 - 1024, 1024));
}

TEST(SampleRing, DownMixesFramesToTheirMeanAndCountsFrames)
{
    SampleRing ring;
    const float stereo[] = {1.0f, 3.0f};
    const float threeChannels[] = {1.0f, 2.0f, 6.0f, -3.0f, 0.0f, 0.0f};
    ring.writeMono(stereo, 1, 2);
    ring.writeMono(threeChannels, 2, 3);
    EXPECT_EQ(ring.written(), 3);
    EXPECT_EQ(read(ring, 3), (std::vector<float>{2.0f, 3.0f, -1.0f}));
}

TEST(SampleRing, OneWriteLargerThanTheRingKeepsItsNewestSamples)
{
    SampleRing ring;
    writeCounting(ring, 0, 20000);
    EXPECT_EQ(read(ring, 1024), counting(20000 - 1024, 1024));

    // The next write lands at 20000 mod 16384: the newest sample follows on.
    writeCounting(ring, -1, 1);
    EXPECT_EQ(read(ring, 2), (std::vector<float>{19999.0f, -1.0f}));
}

#pragma once
// A histogram of the real time between successive pump timer firings, in 1 ms
// buckets (1000 ms and more in the last), for load measurements. record() is a
// fixed-array increment: nothing is allocated per tick.

#include <QString>
#include <array>
#include <cstdint>

class TickIntervals {
public:
    static constexpr int kLastBucket = 1000;

    void record(double seconds);
    // One line per non-empty bucket, "<ms> <count>", ascending.
    QString text() const;
    // Writes text() to `path`; false when the file cannot be written.
    bool writeTo(const QString& path) const;

private:
    std::array<std::int64_t, kLastBucket + 1> m_counts{};
};

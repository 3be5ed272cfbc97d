#pragma once
// Hand-over of captured audio from the capture thread to the main thread: a fixed
// circular buffer of mono float samples behind one short-held lock.
// writeMono: capture thread; latest, window: main thread. None allocates.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

class SampleRing {
public:
    static constexpr int kCapacity = 16384;

    // Appends `frames` mono samples; `samples` holds frames × channels interleaved
    // floats, and each frame is down-mixed to the plain mean of its channels.
    void writeMono(const float* samples, int frames, int channels);

    // Copies the newest n samples, oldest first, into out[0..n-1]. False (and `out`
    // untouched) when fewer than n samples were ever written or out is too short.
    bool latest(int n, float* out, std::size_t outSize);
    // Copies the n samples that end at sample `end` (counted as written() counts),
    // oldest first. False (and `out` untouched) unless all of them were written and
    // are still held, and out is long enough.
    bool window(std::int64_t end, int n, float* out, std::size_t outSize);

    // Total mono samples ever written; grows without bound.
    std::int64_t written();

private:
    bool copyEndingAt(std::int64_t end, int n, float* out, std::size_t outSize);  // under m_lock

    std::mutex m_lock;
    std::array<float, kCapacity> m_buf{};
    int m_head = 0;
    std::int64_t m_written = 0;
};

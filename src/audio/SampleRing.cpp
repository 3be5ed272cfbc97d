#include "audio/SampleRing.h"

#include <algorithm>

void SampleRing::writeMono(const float* samples, int frames, int channels)
{
    if (frames <= 0)
        return;
    const std::lock_guard guard(m_lock);
    if (channels <= 1) {
        // At most two straight copies: up to the end of the buffer, then from its start.
        int remaining = frames;
        const float* from = samples;
        if (remaining > kCapacity) {  // only the last kCapacity samples can survive
            from += remaining - kCapacity;
            m_head = (m_head + (remaining - kCapacity)) % kCapacity;
            remaining = kCapacity;
        }
        while (remaining > 0) {
            const int run = std::min(remaining, kCapacity - m_head);
            std::copy(from, from + run, m_buf.begin() + m_head);
            from += run;
            remaining -= run;
            m_head = (m_head + run) % kCapacity;
        }
    } else {
        const float divisor = float(channels);
        for (int i = 0; i < frames; ++i) {
            const float* frame = samples + std::size_t(i) * std::size_t(channels);
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += frame[c];
            m_buf[size_t(m_head)] = sum / divisor;
            if (++m_head == kCapacity)
                m_head = 0;
        }
    }
    m_written += frames;
}

bool SampleRing::latest(int n, float* out, std::size_t outSize)
{
    const std::lock_guard guard(m_lock);
    return copyEndingAt(m_written, n, out, outSize);
}

bool SampleRing::window(std::int64_t end, int n, float* out, std::size_t outSize)
{
    const std::lock_guard guard(m_lock);
    return copyEndingAt(end, n, out, outSize);
}

bool SampleRing::copyEndingAt(std::int64_t end, int n, float* out, std::size_t outSize)
{
    // A request larger than the ring can never be met consistently.
    if (n < 0 || n > kCapacity || outSize < std::size_t(n))
        return false;
    if (end > m_written || end - n < 0 || end - n < m_written - kCapacity)
        return false;
    const int back = int(m_written - end);  // at most kCapacity - n here
    const int start = ((m_head - back - n) % kCapacity + kCapacity) % kCapacity;
    const int firstRun = std::min(n, kCapacity - start);
    std::copy(m_buf.begin() + start, m_buf.begin() + start + firstRun, out);
    std::copy(m_buf.begin(), m_buf.begin() + (n - firstRun), out + firstRun);
    return true;
}

std::int64_t SampleRing::written()
{
    const std::lock_guard guard(m_lock);
    return m_written;
}

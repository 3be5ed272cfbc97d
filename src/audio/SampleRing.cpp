#include "audio/SampleRing.h"

void SampleRing::writeMono(const float* samples, int frames, int channels)
{
    if (frames <= 0)
        return;
    const std::lock_guard guard(m_lock);
    if (channels <= 1) {
        for (int i = 0; i < frames; ++i) {
            m_buf[size_t(m_head)] = samples[i];
            m_head = (m_head + 1) % kCapacity;
        }
    } else {
        const float divisor = float(channels);
        for (int i = 0; i < frames; ++i) {
            const float* frame = samples + std::size_t(i) * std::size_t(channels);
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += frame[c];
            m_buf[size_t(m_head)] = sum / divisor;
            m_head = (m_head + 1) % kCapacity;
        }
    }
    m_written += frames;
}

bool SampleRing::latest(int n, float* out, std::size_t outSize)
{
    if (n < 0)
        return false;
    const std::lock_guard guard(m_lock);
    // A request larger than the ring can never be met consistently.
    if (m_written < n || outSize < std::size_t(n) || n > kCapacity)
        return false;
    int index = (m_head - n + 2 * kCapacity) % kCapacity;
    for (int i = 0; i < n; ++i) {
        out[i] = m_buf[size_t(index)];
        index = (index + 1) % kCapacity;
    }
    return true;
}

std::int64_t SampleRing::written()
{
    const std::lock_guard guard(m_lock);
    return m_written;
}

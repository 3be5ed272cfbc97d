#include "app/AudioTap.h"

#include "platform/CaptureBackend.h"

void AudioTap::start()
{
    if (m_running)
        return;
    m_backend.start(m_ring);
    m_running = true;
}

void AudioTap::stop()
{
    m_running = false;
    m_backend.stop();
}

double AudioTap::sampleRate() const
{
    return m_backend.sampleRate();
}

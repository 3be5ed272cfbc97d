#include "app/AudioTap.h"

void AudioTap::start(CaptureBackend::StartDone done)
{
    if (m_running || m_starting)
        return;
    m_starting = true;
    // The backend never answers after stop(), which this tap's destructor calls.
    m_backend.start(m_sink, [this, done = std::move(done)](const std::optional<TapError>& error) {
        m_starting = false;
        m_running = !error;
        done(error);
    });
}

void AudioTap::stop()
{
    m_running = false;
    m_starting = false;
    m_backend.stop();
}

#include "platform/MainQueue.h"

void TaskHandle::cancel()
{
    if (!m_state || m_state->cancelled)
        return;
    m_state->cancelled = true;
    if (auto release = std::move(m_state->onCancel))
        release();
}

bool TaskHandle::isActive() const
{
    return m_state && !m_state->cancelled;
}

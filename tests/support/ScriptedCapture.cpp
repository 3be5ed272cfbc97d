#include "ScriptedCapture.h"

void ScriptedCapture::start(SampleRing& ring)
{
    if (!failWith.isEmpty())
        throw TapError(failWith.toStdString());
    ++starts;
    running = true;
    m_ring = &ring;
}

void ScriptedCapture::stop()
{
    ++stops;
    running = false;
    if (onStop)
        onStop();
}

void ScriptedCapture::watchDefaultOutput(std::function<void()> changed)
{
    ++watchers;
    m_changed = std::move(changed);
}

void ScriptedCapture::write(const std::vector<float>& mono)
{
    if (m_ring && running)
        m_ring->writeMono(mono.data(), int(mono.size()), 1);
}

void ScriptedCapture::changeDefaultOutput()
{
    if (m_changed)
        m_changed();
}

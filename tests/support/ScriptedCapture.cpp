#include "ScriptedCapture.h"

#include <utility>

void ScriptedCapture::start(SampleSink& sink, StartDone done)
{
    ++starts;
    m_answer.reset();
    if (!failWith.isEmpty()) {
        m_answer = TapError(failWith.toStdString());
    } else {
        // Records at once, like a real stream before its result reaches the main thread.
        running = true;
        m_sink = &sink;
    }
    m_pending = std::move(done);
    if (!holdStarts)
        m_queue.post([this, generation = starts] {
            if (generation == starts)
                answerStart();
        });
}

bool ScriptedCapture::answerStart()
{
    StartDone done = std::exchange(m_pending, nullptr);
    if (!done)
        return false;
    done(m_answer);
    return true;
}

void ScriptedCapture::stop()
{
    ++stops;
    running = false;
    m_pending = nullptr;
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
    if (m_sink && running)
        m_sink->writeMono(mono.data(), int(mono.size()), 1);
}

void ScriptedCapture::changeDefaultOutput()
{
    if (m_changed)
        m_changed();
}

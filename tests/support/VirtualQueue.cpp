#include "VirtualQueue.h"

void VirtualQueue::schedule(double due, Task task)
{
    m_tasks.emplace(std::make_pair(due, m_sequence++), std::move(task));
}

void VirtualQueue::post(std::function<void()> fn)
{
    schedule(m_clock.now(), Task{std::move(fn), std::make_shared<TaskHandle::State>(), 0.0});
}

TaskHandle VirtualQueue::after(double seconds, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    schedule(m_clock.now() + seconds, Task{std::move(fn), state, 0.0});
    return TaskHandle(state);
}

TaskHandle VirtualQueue::every(double seconds, double, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    schedule(m_clock.now() + seconds, Task{std::move(fn), state, seconds});
    return TaskHandle(state);
}

bool VirtualQueue::runNextDue(double until)
{
    while (!m_tasks.empty()) {
        auto it = m_tasks.begin();
        if (it->first.first > until)
            return false;
        const double due = it->first.first;
        Task task = std::move(it->second);
        m_tasks.erase(it);
        if (task.state->cancelled)
            continue;
        if (due > m_clock.now())
            m_clock.set(due);
        if (task.interval > 0.0) {
            schedule(due + task.interval, Task{task.fn, task.state, task.interval});
        } else {
            task.state->cancelled = true;  // ran: no longer active
        }
        task.fn();
        return true;
    }
    return false;
}

void VirtualQueue::runPending()
{
    while (runNextDue(m_clock.now())) {
    }
}

void VirtualQueue::advance(double seconds)
{
    const double until = m_clock.now() + seconds;
    while (runNextDue(until)) {
    }
    m_clock.set(until);
}

int VirtualQueue::pendingCount() const
{
    int count = 0;
    for (const auto& [key, task] : m_tasks)
        count += task.state->cancelled ? 0 : 1;
    return count;
}

#include "VirtualQueue.h"

namespace {
constexpr double kSlack = 1e-6;
}

void VirtualQueue::schedule(double due, Task task)
{
    m_tasks.emplace(std::make_pair(due, m_sequence++), std::move(task));
}

void VirtualQueue::post(std::function<void()> fn)
{
    schedule(m_clock.now(), Task{std::move(fn), std::make_shared<TaskHandle::State>(), nullptr});
}

TaskHandle VirtualQueue::after(double seconds, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    schedule(m_clock.now() + seconds, Task{std::move(fn), state, nullptr});
    return TaskHandle(state);
}

TaskHandle VirtualQueue::every(double seconds, double, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    auto deadlines = std::make_shared<RepeatDeadlines>(m_clock.now(), seconds);
    schedule(deadlines->due(), Task{std::move(fn), state, deadlines});
    return TaskHandle(state);
}

bool VirtualQueue::runNextDue(double until)
{
    while (!m_tasks.empty()) {
        auto it = m_tasks.begin();
        // Deadlines are computed as start + n × interval while tests step the
        // clock by adding intervals: at 1.8e9 s the two differ in the last bits.
        if (it->first.first > until + kSlack)
            return false;
        const double due = it->first.first;
        Task task = std::move(it->second);
        m_tasks.erase(it);
        if (task.state->cancelled)
            continue;
        if (due > m_clock.now())
            m_clock.set(due);
        if (!task.deadlines)
            task.state->cancelled = true;  // ran: no longer active
        task.fn();
        // The next deadline counts from when this run ended, as on the real queue.
        if (task.deadlines) {
            const double next = task.deadlines->next(m_clock.now());  // before `task` moves
            schedule(next, std::move(task));
        }
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
    if (m_clock.now() < until)  // a busy task may have taken it further
        m_clock.set(until);
}

int VirtualQueue::pendingCount() const
{
    int count = 0;
    for (const auto& [key, task] : m_tasks)
        count += task.state->cancelled ? 0 : 1;
    return count;
}

#pragma once
// Test main queue on a VirtualClock: nothing runs until the test calls runPending()
// or advance(), which runs every due task in time order (ties in scheduling order)
// with the clock set to each task's due time, unless an earlier task has moved it
// past that (a busy main thread): then the task runs late. Repeating tasks keep
// to their deadlines as the Qt queue does.

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "platform/MainQueue.h"
#include "platform/RepeatDeadlines.h"
#include "VirtualClock.h"

class VirtualQueue final : public MainQueue {
public:
    explicit VirtualQueue(VirtualClock& clock) : m_clock(clock) {}

    void post(std::function<void()> fn) override;
    TaskHandle after(double seconds, std::function<void()> fn) override;
    TaskHandle every(double seconds, double toleranceSeconds, std::function<void()> fn) override;

    // Runs what is due now, including what those tasks post for now.
    void runPending();
    // Moves time forward by `seconds`, running each task as its time comes.
    void advance(double seconds);
    // advance(seconds) `times` times over: one pump tick after another.
    void advance(double seconds, int times)
    {
        for (int i = 0; i < times; ++i)
            advance(seconds);
    }
    // Number of tasks still scheduled (cancelled ones excluded).
    int pendingCount() const;

private:
    struct Task {
        std::function<void()> fn;
        std::shared_ptr<TaskHandle::State> state;
        std::shared_ptr<RepeatDeadlines> deadlines;  // set: repeating
    };
    void schedule(double due, Task task);
    bool runNextDue(double until);

    VirtualClock& m_clock;
    std::multimap<std::pair<double, std::uint64_t>, Task> m_tasks;
    std::uint64_t m_sequence = 0;
};

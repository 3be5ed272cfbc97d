#pragma once
// Test main queue on a VirtualClock: nothing runs until the test calls runPending()
// or advance(), which runs every due task in time order (ties in scheduling order)
// with the clock set to each task's due time.

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "platform/MainQueue.h"
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
    // Number of tasks still scheduled (cancelled ones excluded).
    int pendingCount() const;

private:
    struct Task {
        std::function<void()> fn;
        std::shared_ptr<TaskHandle::State> state;
        double interval = 0.0;  // > 0: repeating
    };
    void schedule(double due, Task task);
    bool runNextDue(double until);

    VirtualClock& m_clock;
    std::multimap<std::pair<double, std::uint64_t>, Task> m_tasks;
    std::uint64_t m_sequence = 0;
};

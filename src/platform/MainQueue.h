#pragma once
// Work scheduled on the main thread: now, after a delay, or repeatedly.
// Main thread only. Tests use VirtualQueue, which runs due tasks when told to.

#include <functional>
#include <memory>

// A handle to scheduled work; copies share the same work. Cancelling is idempotent,
// and a cancelled task never runs again. Dropping the handle does not cancel.
class TaskHandle {
public:
    TaskHandle() = default;
    void cancel();
    bool isActive() const;

    struct State {
        bool cancelled = false;
        std::function<void()> onCancel;  // releases the platform timer, if any
    };
    explicit TaskHandle(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    const std::shared_ptr<State>& state() const { return m_state; }

private:
    std::shared_ptr<State> m_state;
};

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Runs fn on the main thread soon, after what is already queued.
    virtual void post(std::function<void()> fn) = 0;
    // Runs fn once, `seconds` from now.
    virtual TaskHandle after(double seconds, std::function<void()> fn) = 0;
    // Runs fn every `seconds`; late firings are not made up.
    virtual TaskHandle every(double seconds, double toleranceSeconds, std::function<void()> fn) = 0;
};

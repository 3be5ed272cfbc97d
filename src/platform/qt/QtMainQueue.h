#pragma once
// The main queue on Qt timers, and the system clock. Main thread only.

#include <memory>

#include "platform/Clock.h"
#include "platform/MainQueue.h"

class QObject;

class SystemClock final : public Clock {
public:
    double now() const override;
};

class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    void post(std::function<void()> fn) override;
    TaskHandle after(double seconds, std::function<void()> fn) override;
    TaskHandle every(double seconds, double toleranceSeconds, std::function<void()> fn) override;

private:
    std::unique_ptr<QObject> m_context;  // parent of the timers; deleting it stops them all
};

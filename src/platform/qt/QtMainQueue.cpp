#include "platform/qt/QtMainQueue.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/RepeatDeadlines.h"

double SystemClock::now() const
{
    // Microseconds: pump tick intervals are measured on this clock.
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

namespace {

double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int toMilliseconds(double seconds)
{
    return std::max(0, int(std::lround(seconds * 1000.0)));
}

}  // namespace

QtMainQueue::QtMainQueue() : m_context(std::make_unique<QObject>()) {}
QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(m_context.get(), std::move(fn), Qt::QueuedConnection);
}

TaskHandle QtMainQueue::after(double seconds, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    auto* timer = new QTimer(m_context.get());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, state, fn = std::move(fn)] {
        timer->deleteLater();
        if (state->cancelled)
            return;
        state->cancelled = true;  // ran: the handle is no longer active
        state->onCancel = nullptr;
        fn();
    });
    QPointer<QTimer> guard(timer);
    state->onCancel = [guard] {
        if (guard)
            guard->deleteLater();
    };
    timer->start(toMilliseconds(seconds));
    return TaskHandle(state);
}

TaskHandle QtMainQueue::every(double seconds, double toleranceSeconds, std::function<void()> fn)
{
    auto state = std::make_shared<TaskHandle::State>();
    // One single-shot timer, re-armed after each run for the next deadline on a
    // monotonic clock: timers count whole milliseconds, and a period of 33 ms
    // instead of 33.3 would add up to a tick too many every 3 s.
    auto* timer = new QTimer(m_context.get());
    timer->setSingleShot(true);
    // A coarse timer may be batched by the system within the tolerance; the pump
    // (no tolerance) needs a precise one.
    timer->setTimerType(toleranceSeconds > 0 ? Qt::CoarseTimer : Qt::PreciseTimer);
    auto deadlines = std::make_shared<RepeatDeadlines>(monotonicSeconds(), std::max(seconds, 0.001));
    auto arm = [timer, deadlines] {
        // Rounded up: a timer that fired early would find its deadline still ahead.
        const double wait = deadlines->due() - monotonicSeconds();
        timer->start(std::max(0, int(std::ceil(wait * 1000.0))));
    };
    QObject::connect(timer, &QTimer::timeout, timer, [state, deadlines, arm, fn = std::move(fn)] {
        if (state->cancelled)
            return;
        fn();
        if (state->cancelled)
            return;
        deadlines->next(monotonicSeconds());
        arm();
    });
    QPointer<QTimer> guard(timer);
    state->onCancel = [guard] {
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
    };
    arm();
    return TaskHandle(state);
}

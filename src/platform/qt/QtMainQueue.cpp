#include "platform/qt/QtMainQueue.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cmath>

double SystemClock::now() const
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

namespace {

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
    auto* timer = new QTimer(m_context.get());
    // A coarse timer may be batched by the system within the tolerance; the pump
    // (no tolerance) needs a precise one.
    timer->setTimerType(toleranceSeconds > 0 ? Qt::CoarseTimer : Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [state, fn = std::move(fn)] {
        if (!state->cancelled)
            fn();
    });
    QPointer<QTimer> guard(timer);
    state->onCancel = [guard] {
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
    };
    timer->start(std::max(1, toMilliseconds(seconds)));
    return TaskHandle(state);
}

#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that
// the process ends through the event loop and its ordinary shutdown. The handler
// only writes one byte to a pipe; all work happens in the event loop.
// At most one instance; create it after the QCoreApplication.

#include <QObject>
#include <memory>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vigix {

// SIGTERM and SIGHUP (a logout, a shutdown, a kill) end the program through its event loop: the windows and the
// running test's journal are closed in order, and the journal stays to be offered at the next start. The signal
// handler only writes a byte to a pipe; the event loop reads it and calls onSignal.
class TTerminationSignals : public QObject
{
    Q_OBJECT
public:
    // One at a time per process. onSignal null: QCoreApplication::quit, which a window may refuse (the program
    // passes its own, which ends a running section first and cannot be refused).
    explicit TTerminationSignals(std::function<void()> onSignal = {}, QObject *parent = nullptr);
    ~TTerminationSignals() override;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vigix

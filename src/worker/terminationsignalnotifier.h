#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT (what a desktop session sends at log-off or shut-down,
// and Ctrl+C in a terminal) into the Qt signal terminationRequested() on the event loop.
// The signal handler only writes one byte into a pipe; everything else happens when the
// event loop reads it, where any code may run. One instance at a time; the destructor puts
// the previous handlers back.
class TerminationSignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignalNotifier(QObject* parent = nullptr);
    ~TerminationSignalNotifier() override;

    // False when the pipe could not be made; the program then ends by the default
    // signal actions.
    bool isActive() const;

    // What the notifier's own handler does: safe in a signal handler, for one installed over
    // the notifier's to pass a signal on. Does nothing while no notifier is active.
    static void notifyFromHandler(int signalNumber);

signals:
    void terminationRequested(int signalNumber);

private slots:
    void readPendingSignals();

private:
    int m_pipeReadEnd = -1;
    int m_pipeWriteEnd = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    struct sigaction m_previousTermAction = {};
    struct sigaction m_previousHangUpAction = {};
    struct sigaction m_previousInterruptAction = {};
};

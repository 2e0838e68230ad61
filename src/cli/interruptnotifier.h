#pragma once

#include <QObject>

// Turns the requests to end the program, SIGINT (Ctrl+C), SIGTERM and SIGHUP, or the
// console's Ctrl+C and Ctrl+Break on Windows, into interrupted() on the event loop instead,
// for a run that ends itself: after the writes under way, with its summary. The handler only
// wakes the event loop; everything else happens there. While an UpdateInterruptGuard holds,
// the guard answers these signals and passes them on through notifyFromHandler(). One
// instance at a time; the earlier handling comes back when it ends. Where the wake-up cannot
// be set up, the signals keep their usual effect.
class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

    // Safe in a signal handler and on the console's own handler thread.
    static void notifyFromHandler();

signals:
    void interrupted();

private:
    // Tells the event loop of a wake-up; a child of the notifier, deleted before what it watches.
    QObject* m_wake = nullptr;
};

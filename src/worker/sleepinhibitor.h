#pragma once

#include <QObject>

#include <functional>

class MLPWorkerThread;

// Keeps the machine from sleeping or shutting down unasked while firmware is written: a
// closed lid or an idle suspend stops the USB link and leaves the unit half-written. On
// Linux it is a logind inhibitor lock in "block" mode on shutdown and sleep, with the reason
// the desktop shows to the person; on Windows the "system required" execution state (the
// window refuses a log-off or shut-down on its own: shutdownblockreason). Where the system
// offers no such lock (no logind or no system bus, as in a container) it holds nothing and
// says nothing, and the write goes on.
//
// Held by count: units written side by side keep the one system lock until the last write
// ends. hold() and release() run on the thread the inhibitor lives on, which takes and gives
// back the system lock; writers on other threads reach it through queued signals
// (holdWhileWriting).
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // Holds from each deviceWriteStarted of `worker` to the deviceWriteFinished that follows.
    void holdWhileWriting(MLPWorkerThread& worker);

public slots:
    void hold();
    // A release without a hold does nothing.
    void release();

private:
    // Takes the system's lock (per system: sleepinhibitor_logind.cpp, sleepinhibitor_windows.cpp)
    // and returns what gives it back; an empty function where no lock was taken.
    static std::function<void()> takeSystemLock();
    void giveBackSystemLock();

    int m_holds = 0;
    std::function<void()> m_giveBackSystemLock;
};

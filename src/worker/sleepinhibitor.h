#pragma once

#include <QObject>

#include <functional>
#include <mutex>

class MLPWorkerThread;

// Keeps the machine from sleeping or shutting down unasked while firmware is written: a
// closed lid or an idle suspend stops the USB link and leaves the unit half-written. On
// Linux it is a logind inhibitor lock in "block" mode on shutdown, sleep and the lid switch
// (where logind handles the lid itself, a lid closed under a sleep lock alone still
// suspends), with the reason the desktop shows to the person; on Windows a power request
// that keeps the system running (the window refuses a log-off or shut-down on its own:
// shutdownblockreason). Where the system offers no such lock (no logind or no system bus, as
// in a container) it holds nothing and says nothing, and the write goes on; where logind
// does not answer within a few seconds, the log says so and the write goes on.
//
// Held by count: units written side by side keep the one system lock until the last update
// ends. hold() and release() may be called from any thread; hold() returns once the lock is
// held or has given up, so the thread that writes waits for it before its first byte.
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    // logind answers at once; a system bus that does not holds up the first byte this long.
    static constexpr int kAnswerBoundMs = 3000;

    explicit SleepInhibitor(QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // Holds from the start of each update on `worker` to its end, before the update's first byte.
    void holdWhileUpdating(MLPWorkerThread& worker);

    void hold();
    // A release without a hold does nothing.
    void release();

private:
    // Takes the system's lock (per system: sleepinhibitor_logind.cpp, sleepinhibitor_windows.cpp)
    // and returns what gives it back; an empty function where no lock was taken.
    static std::function<void()> takeSystemLock();
    void giveBackSystemLock();

    MLPWorkerThread* m_worker = nullptr;
    std::mutex m_mutex;
    int m_holds = 0;
    std::function<void()> m_giveBackSystemLock;
};

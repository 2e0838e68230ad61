#pragma once

#include <atomic>
#include <functional>
#include <mutex>

class SleepInhibitor;

// The updates under way, on the worker thread and beside it: each counted from the start of its
// request, through the check of its unit, the write and the questions asked afterwards, to
// its end. The first to begin and the last to end are told (`firstBegunOrLastEnded`, called
// under the count's lock, so that a begin is never told after the end of a later count). A
// sleep lock given here is held from each begin to its end, and a begin returns only once it
// is held or the lock has given up within its bound: no unit's first byte goes out before it.
class UpdatesUnderWay
{
public:
    explicit UpdatesUnderWay(std::function<void(bool)> firstBegunOrLastEnded);

    UpdatesUnderWay(const UpdatesUnderWay&) = delete;
    UpdatesUnderWay& operator=(const UpdatesUnderWay&) = delete;

    // On the thread that runs the update, before and after it.
    void begin();
    void end();
    // Safe to ask from any thread.
    bool any() const;

    // Null holds none. Returns once no begin or end is using the one before, which may then go.
    void setSleepLock(SleepInhibitor* lock);

private:
    std::function<void(bool)> m_firstBegunOrLastEnded;
    // Changed under the mutex with the tellings; read without it, also by whoever is told.
    std::mutex m_countMutex;
    std::atomic<int> m_count{0};
    // Apart from the count's: taking the lock may take its bound, and the count is asked meanwhile.
    std::mutex m_sleepLockMutex;
    SleepInhibitor* m_sleepLock = nullptr;
};

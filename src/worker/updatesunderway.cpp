#include "updatesunderway.h"

#include "sleepinhibitor.h"

#include <utility>

UpdatesUnderWay::UpdatesUnderWay(std::function<void(bool)> firstBegunOrLastEnded)
    : m_firstBegunOrLastEnded(std::move(firstBegunOrLastEnded))
{}

void UpdatesUnderWay::begin()
{
    {
        const std::lock_guard<std::mutex> lock(m_countMutex);
        if (++m_count == 1) {
            m_firstBegunOrLastEnded(true);
        }
    }
    const std::lock_guard<std::mutex> lock(m_sleepLockMutex);
    if (m_sleepLock) {
        m_sleepLock->hold();
    }
}

void UpdatesUnderWay::end()
{
    {
        const std::lock_guard<std::mutex> lock(m_sleepLockMutex);
        if (m_sleepLock) {
            m_sleepLock->release();
        }
    }
    const std::lock_guard<std::mutex> lock(m_countMutex);
    if (--m_count == 0) {
        m_firstBegunOrLastEnded(false);
    }
}

bool UpdatesUnderWay::any() const
{
    return m_count > 0;
}

void UpdatesUnderWay::setSleepLock(SleepInhibitor* lock)
{
    const std::lock_guard<std::mutex> guard(m_sleepLockMutex);
    m_sleepLock = lock;
}

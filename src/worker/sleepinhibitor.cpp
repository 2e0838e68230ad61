#include "sleepinhibitor.h"

#include "mlpworkerthread.h"

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor()
{
    // The worker's threads hold and release through this object until it is taken back.
    if (m_worker) {
        m_worker->setSleepLock(nullptr);
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    giveBackSystemLock();
}

void SleepInhibitor::holdWhileUpdating(MLPWorkerThread& worker)
{
    m_worker = &worker;
    worker.setSleepLock(this);
}

void SleepInhibitor::hold()
{
    // Held while the system is asked: a second writer waits for the one lock too.
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_holds++ == 0) {
        m_giveBackSystemLock = takeSystemLock();
    }
}

void SleepInhibitor::release()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_holds > 0 && --m_holds == 0) {
        giveBackSystemLock();
    }
}

void SleepInhibitor::giveBackSystemLock()
{
    if (m_giveBackSystemLock) {
        m_giveBackSystemLock();
        m_giveBackSystemLock = nullptr;
    }
}

#include "sleepinhibitor.h"

#include "mlpworkerthread.h"

#include <QThread>

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor()
{
    giveBackSystemLock();
}

void SleepInhibitor::holdWhileWriting(MLPWorkerThread& worker)
{
    // Queued from the worker thread: the system lock is taken and given back on this
    // object's thread alone.
    connect(&worker, &MLPWorkerThread::deviceWriteStarted, this, &SleepInhibitor::hold);
    connect(&worker, &MLPWorkerThread::deviceWriteFinished, this, &SleepInhibitor::release);
}

void SleepInhibitor::hold()
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_holds++ == 0) {
        m_giveBackSystemLock = takeSystemLock();
    }
}

void SleepInhibitor::release()
{
    Q_ASSERT(QThread::currentThread() == thread());
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

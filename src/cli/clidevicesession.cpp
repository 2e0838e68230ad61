#include "clidevicesession.h"

#include <QEventLoop>

CliDeviceSession::CliDeviceSession(QObject* parent) : QObject(parent)
{
    m_sleepInhibitor.holdWhileUpdating(m_thread);
}

CliDeviceSession::~CliDeviceSession()
{
    stop();
}

MLPWorkerThread& CliDeviceSession::thread()
{
    if (!m_thread.isRunning()) {
        m_thread.start();
    }
    return m_thread;
}

void CliDeviceSession::stop()
{
    m_thread.stop();
    m_thread.wait();
}

void CliDeviceSession::setFrameTrace(MLPFrameTraceFunction trace, void* context)
{
    m_thread.setFrameTrace(trace, context);
}

QList<MLPDeviceInfoNode> CliDeviceSession::discover()
{
    QEventLoop loop;
    connect(&m_thread, &MLPWorkerThread::deviceDiscoverFinsihed, &loop, &QEventLoop::quit);
    thread().postDiscover();
    loop.exec();
    return m_thread.discoveredDevices();
}

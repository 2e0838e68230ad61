#include "clidevicesession.h"

#include "mlpupdatefirmwarerequest.h"

#include <QEventLoop>

CliDeviceSession::CliDeviceSession(QObject* parent) : QObject(parent) {}

CliDeviceSession::~CliDeviceSession()
{
    stop();
}

void CliDeviceSession::ensureStarted()
{
    if (!m_thread.isRunning()) {
        m_thread.start();
    }
}

void CliDeviceSession::stop()
{
    m_thread.stop();
    m_thread.wait();
    m_updateRequest.reset();
}

void CliDeviceSession::setFrameTrace(MLPFrameTraceFunction trace, void* context)
{
    m_thread.setFrameTrace(trace, context);
}

QList<MLPDeviceInfoNode> CliDeviceSession::discover()
{
    ensureStarted();
    QEventLoop loop;
    connect(&m_thread, &MLPWorkerThread::deviceDiscoverFinsihed, &loop, &QEventLoop::quit);
    m_thread.postDiscover();
    loop.exec();
    return m_thread.discoveredDevices();
}

CliDeviceSession::Selection CliDeviceSession::select(int index)
{
    ensureStarted();
    Selection selection;
    QEventLoop loop;
    connect(&m_thread, &MLPWorkerThread::deviceSelectionAnswered, &loop,
            [&](bool answered, const MLPDeviceInfoNode& device) {
                selection.answered = answered;
                selection.device = device;
                loop.quit();
            });
    m_thread.selectDevice(index);
    loop.exec();
    return selection;
}

MLPUpdateOutcome CliDeviceSession::update(const QString& path, const std::function<void(int)>& progress)
{
    ensureStarted();
    m_updateRequest = std::make_unique<MLPUpdateFirmwareRequest>(path);
    QEventLoop loop;
    connect(m_updateRequest.get(), &MLPUpdateFirmwareRequest::progress, &loop, progress);
    connect(m_updateRequest.get(), &MLPWorkerRequestI::workDone, &loop, &QEventLoop::quit);
    connect(m_updateRequest.get(), &MLPWorkerRequestI::failed, &loop, &QEventLoop::quit);
    m_thread.postUpdate(m_updateRequest.get());
    loop.exec();
    return m_updateRequest->outcome();
}

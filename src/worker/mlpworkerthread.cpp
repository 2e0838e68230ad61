#include "mlpworkerthread.h"

#include "mlpconnection.h"
#include "mlpdiscoverrequest.h"
#include "mlpphy.h"
#include "mlppingrequest.h"
#include "mlpselectdevicerequest.h"
#include "mlptransport.h"

#include <QElapsedTimer>
#include <QMutexLocker>

namespace {

constexpr unsigned long kIdleSleepMs = 10;

} // namespace

MLPWorkerThread::MLPWorkerThread(QObject* parent)
    : QThread(parent), m_updates([this](bool begun) {
          if (begun) {
              emit deviceWriteStarted();
          } else {
              emit deviceWriteFinished();
          }
      }),
      m_pingRequest(new MLPPingRequest(this)), m_discoverRequest(new MLPDiscoverRequest(this)),
      m_selectRequest(new MLPSelectDeviceRequest(this))
{
    qRegisterMetaType<MLPWorkerRequestI::failReason>("MLPWorkerRequestI::failReason");
    qRegisterMetaType<uint16_t>("uint16_t");
    qRegisterMetaType<MLPDeviceInfoNode>("MLPDeviceInfoNode");

    connect(m_pingRequest, SIGNAL(workDone()), this, SLOT(pingFinished()), Qt::DirectConnection);
    connect(m_pingRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(pingFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
    connect(m_discoverRequest, SIGNAL(workDone()), this, SLOT(discoverFinished()), Qt::DirectConnection);
    connect(m_discoverRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(discoverFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
    connect(m_selectRequest, SIGNAL(workDone()), this, SLOT(selectDeviceFinished()), Qt::DirectConnection);
    connect(m_selectRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(selectDeviceFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
}

MLPWorkerThread::~MLPWorkerThread()
{
    // The links end their USB library contexts when deleted; that must not race a request
    // still talking to a device, so the loop is stopped and joined first.
    stop();
    wait();
    // Before the members go: their last act counts their update down and signals.
    m_unitThreads.joinAll();
    releaseDevice();
}

void MLPWorkerThread::postDiscover(const QList<MLPDeviceInfoNode>& leaveOut)
{
    QMutexLocker locker(&m_mutex);
    m_discoverContext.leaveOut = leaveOut;
    m_discoverContext.connection = &m_connection;
    m_discoverContext.link = &m_link;
    m_discoverContext.frameTrace = m_frameTrace;
    m_discoverContext.frameTraceContext = m_frameTraceContext;
    postOwnRequest(m_discoverRequest, &m_discoverContext);
}

void MLPWorkerThread::postSelect(const MLPDeviceInfoNode& unit)
{
    QMutexLocker locker(&m_mutex);
    m_selectContext.connection = &m_connection;
    m_selectContext.link = &m_link;
    m_selectContext.unit = unit;
    m_selectContext.frameTrace = m_frameTrace;
    m_selectContext.frameTraceContext = m_frameTraceContext;
    postOwnRequest(m_selectRequest, &m_selectContext);
}

void MLPWorkerThread::setFrameTrace(MLPFrameTraceFunction trace, void* context)
{
    QMutexLocker locker(&m_mutex);
    m_frameTrace = trace;
    m_frameTraceContext = context;
}

void MLPWorkerThread::postOwnRequest(MLPWorkerRequestI* request, MLPWorkerContext* context)
{
    for (int index = 0; index < m_pendingRequests.size(); ++index) {
        if (m_pendingRequests[index].request == m_discoverRequest ||
            m_pendingRequests[index].request == m_selectRequest) {
            m_pendingRequests.removeAt(index);
            break;
        }
    }
    m_pendingRequests.append(PendingRequest{request, context, false});
}

void MLPWorkerThread::selectDevice(int index)
{
    postSelect(discoveredDevices().value(index));
}

void MLPWorkerThread::postUpdate(MLPWorkerRequestI* request)
{
    QMutexLocker locker(&m_mutex);
    m_updateContext.connection = &m_connection;
    m_updateContext.link = &m_link;
    m_updateContext.frameTrace = m_frameTrace;
    m_updateContext.frameTraceContext = m_frameTraceContext;
    m_pendingRequests.append(PendingRequest{request, &m_updateContext, false});
}

void MLPWorkerThread::postUpdateBeside(MLPWorkerRequestI* request)
{
    QMutexLocker locker(&m_mutex);
    m_updateContext.frameTrace = m_frameTrace;
    m_updateContext.frameTraceContext = m_frameTraceContext;
    m_pendingRequests.append(PendingRequest{request, &m_updateContext, true});
}

void MLPWorkerThread::withdraw(const MLPWorkerRequestI* request)
{
    {
        QMutexLocker locker(&m_mutex);
        for (int index = 0; index < m_pendingRequests.size(); ++index) {
            if (m_pendingRequests.at(index).request == request) {
                m_pendingRequests.removeAt(index);
                return;
            }
        }
        while (m_runningCurrent && m_currentRequest == request) {
            m_currentEnded.wait(&m_mutex);
        }
    }
    // A request leaves the queue for a unit thread under the mutex: not found there, it
    // runs beside or has ended.
    m_unitThreads.waitFor(request);
}

QList<MLPDeviceInfoNode> MLPWorkerThread::discoveredDevices() const
{
    return m_discoverRequest->devices();
}

QList<MLPDeviceInfoNode> MLPWorkerThread::attachedUnits() const
{
    return m_discoverRequest->attachedUnits();
}

MissingDevices MLPWorkerThread::missingDevices() const
{
    return m_discoverRequest->missingDevices();
}

void MLPWorkerThread::start(Priority priority)
{
    m_stopRequested = false;
    QThread::start(priority);
}

void MLPWorkerThread::stop()
{
    m_stopRequested = true;
}

void MLPWorkerThread::run()
{
    while (!m_stopRequested) {
        if (m_currentRequest) {
            QElapsedTimer running;
            running.start();
            m_pingFailed = false;
            runCurrentRequest();
            if (m_pingFailed) {
                restAfterFailedPing(running);
            }
        } else {
            msleep(kIdleSleepMs);
        }
        pickNextRequest();
    }
    {
        // A request handed over as the stop came never runs, nor on a later start.
        QMutexLocker locker(&m_mutex);
        m_currentRequest = nullptr;
        m_runningCurrent = false;
        m_currentEnded.wakeAll();
    }
    releaseDevice();
    quit();
}

void MLPWorkerThread::runCurrentRequest()
{
    const bool writes = m_currentRequest->writesToDevice();
    if (writes) {
        m_updates.begin();
    }
    m_currentRequest->run(&m_currentContext);
    if (writes) {
        m_updates.end();
    }
    QMutexLocker locker(&m_mutex);
    m_runningCurrent = false;
    m_currentEnded.wakeAll();
}

void MLPWorkerThread::restAfterFailedPing(const QElapsedTimer& running)
{
    // A link whose device is gone refuses the write and fails the ping at once. Back to back,
    // such pings would spin a core and flood the window with lostConnection; resting out the
    // answer time keeps them to the pace of a silent device, one per answer time-out. A
    // posted request or a stop ends the rest at once.
    while (!m_stopRequested && running.elapsed() < kAnswerTimeoutMs && !hasPendingRequest()) {
        msleep(kIdleSleepMs);
    }
}

bool MLPWorkerThread::hasPendingRequest()
{
    QMutexLocker locker(&m_mutex);
    return !m_pendingRequests.isEmpty();
}

void MLPWorkerThread::pickNextRequest()
{
    // Without a device the ping does nothing, so the loop rests between passes; outside the
    // lock, which every post takes, so that no post waits for the rest to end.
    if (!m_connection && !hasPendingRequest()) {
        msleep(kIdleSleepMs);
    }
    // Updates that have ended are joined here, at once since their threads are done.
    m_unitThreads.reapEnded();
    QMutexLocker locker(&m_mutex);
    while (!m_pendingRequests.isEmpty() && m_pendingRequests.first().beside) {
        const PendingRequest next = m_pendingRequests.takeFirst();
        startBeside(next.request, *next.context);
    }
    if (!m_pendingRequests.isEmpty()) {
        const PendingRequest next = m_pendingRequests.takeFirst();
        m_currentRequest = next.request;
        m_currentContext = *next.context;
    } else {
        m_pingContext.connection = &m_connection;
        m_currentRequest = m_pingRequest;
        m_currentContext = m_pingContext;
    }
    // From the hand-over on, so that a withdraw cannot fall between it and the run.
    m_runningCurrent = true;
}

void MLPWorkerThread::startBeside(MLPWorkerRequestI* request, const MLPWorkerContext& context)
{
    // A unit opens once: the thread's own device goes first.
    releaseDevice();
    m_unitThreads.start(request, context);
}

void MLPWorkerThread::releaseDevice()
{
    delete m_connection;
    m_connection = nullptr;
    delete m_link;
    m_link = nullptr;
}

void MLPWorkerThread::pingFinished() {}

void MLPWorkerThread::pingFailed(MLPWorkerRequestI::failReason)
{
    m_pingFailed = true;
    emit lostConnection();
}

void MLPWorkerThread::discoverFinished()
{
    emit deviceDiscoverFinsihed();
}

void MLPWorkerThread::discoverFailed(MLPWorkerRequestI::failReason)
{
    emit deviceDiscoverFinsihed();
}

void MLPWorkerThread::selectDeviceFinished()
{
    emit deviceSelectionFinished(m_selectRequest->fwVersion, m_selectRequest->hwVersion);
    emit deviceSelectionAnswered(m_selectRequest->answered, m_selectRequest->device);
}

void MLPWorkerThread::selectDeviceFailed(MLPWorkerRequestI::failReason)
{
    selectDeviceFinished();
}

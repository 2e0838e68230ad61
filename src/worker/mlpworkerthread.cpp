#include "mlpworkerthread.h"

#include "mlpconnection.h"
#include "mlpdiscoverrequest.h"
#include "mlpphy.h"
#include "mlppingrequest.h"
#include "mlpselectdevicerequest.h"

#include <QMutexLocker>

namespace {

constexpr unsigned long kIdleSleepMs = 10;

} // namespace

MLPWorkerThread::MLPWorkerThread(QObject* parent)
    : QThread(parent), pingRequest(new MLPPingRequest(this)), discoverRequest(new MLPDiscoverRequest(this)),
      selectRequest(new MLPSelectDeviceRequest(this))
{
    qRegisterMetaType<MLPWorkerRequestI::failReason>("MLPWorkerRequestI::failReason");
    qRegisterMetaType<uint16_t>("uint16_t");

    connect(pingRequest, SIGNAL(workDone()), this, SLOT(pingFinished()), Qt::DirectConnection);
    connect(pingRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(pingFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
    connect(discoverRequest, SIGNAL(workDone()), this, SLOT(discoverFinished()), Qt::DirectConnection);
    connect(discoverRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(discoverFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
    connect(selectRequest, SIGNAL(workDone()), this, SLOT(selectDeviceFinished()), Qt::DirectConnection);
    connect(selectRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(selectDeviceFailed(MLPWorkerRequestI::failReason)), Qt::DirectConnection);
}

MLPWorkerThread::~MLPWorkerThread()
{
    // The links end their USB library contexts when deleted; that must not race a request
    // still talking to a device, so the loop is stopped and joined first.
    stop();
    wait();
    releaseDevice();
}

void MLPWorkerThread::postDiscover()
{
    QMutexLocker locker(&mutex);
    discoverContext.connection = &connection;
    discoverContext.link = &link;
    postOwnRequest(discoverRequest, &discoverContext);
}

void MLPWorkerThread::postSelect(const QString& address)
{
    QMutexLocker locker(&mutex);
    selectContext.connection = &connection;
    selectContext.link = &link;
    selectContext.address = address;
    postOwnRequest(selectRequest, &selectContext);
}

void MLPWorkerThread::postOwnRequest(MLPWorkerRequestI* request, MLPWorkerContext* context)
{
    for (int index = 0; index < pendingRequests.size(); ++index) {
        if (pendingRequests[index].request == discoverRequest ||
            pendingRequests[index].request == selectRequest) {
            pendingRequests.removeAt(index);
            break;
        }
    }
    pendingRequests.append(PendingRequest{request, context});
}

void MLPWorkerThread::selectDevice(int index)
{
    const QList<MLPDeviceInfoNode> devices = discoveredDevices();
    postSelect(index >= 0 && index < devices.size() ? devices.at(index).address : QString());
}

void MLPWorkerThread::postUpdate(MLPWorkerRequestI* request)
{
    QMutexLocker locker(&mutex);
    updateContext.connection = &connection;
    pendingRequests.append(PendingRequest{request, &updateContext});
}

QList<MLPDeviceInfoNode> MLPWorkerThread::discoveredDevices() const
{
    return discoverRequest->devices();
}

void MLPWorkerThread::stop()
{
    stopRequested = true;
}

void MLPWorkerThread::run()
{
    stopRequested = false;
    while (!stopRequested) {
        if (currentRequest) {
            currentRequest->run(&currentContext);
        } else {
            msleep(kIdleSleepMs);
        }
        pickNextRequest();
    }
    releaseDevice();
    quit();
}

void MLPWorkerThread::pickNextRequest()
{
    QMutexLocker locker(&mutex);
    if (!pendingRequests.isEmpty()) {
        const PendingRequest next = pendingRequests.takeFirst();
        currentRequest = next.request;
        currentContext = *next.context;
    } else {
        if (!connection) {
            msleep(kIdleSleepMs);
        }
        pingContext.connection = &connection;
        currentRequest = pingRequest;
        currentContext = pingContext;
    }
}

void MLPWorkerThread::releaseDevice()
{
    delete connection;
    connection = nullptr;
    delete link;
    link = nullptr;
}

void MLPWorkerThread::pingFinished() {}

void MLPWorkerThread::pingFailed(MLPWorkerRequestI::failReason)
{
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
    emit deviceSelectionFinished(selectRequest->fwVersion, selectRequest->hwVersion);
}

void MLPWorkerThread::selectDeviceFailed(MLPWorkerRequestI::failReason)
{
    emit deviceSelectionFinished(selectRequest->fwVersion, selectRequest->hwVersion);
}

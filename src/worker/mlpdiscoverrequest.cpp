#include "mlpdiscoverrequest.h"

#include "deviceaccessprobe.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"
#include "mlpworkercontext.h"

#include <QMutexLocker>

#include <memory>

namespace {

constexpr uint32_t kDiscoveryReceiveCapacity = 10000;

} // namespace

MLPDiscoverRequest::MLPDiscoverRequest(QObject* parent) : MLPWorkerRequestI(parent) {}

QList<MLPDeviceInfoNode> MLPDiscoverRequest::devices() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_deviceList;
}

QList<InaccessibleUsbDevice> MLPDiscoverRequest::inaccessibleDevices() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_inaccessible;
}

int MLPDiscoverRequest::heldBridgeCount() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_heldBridgeCount;
}

int MLPDiscoverRequest::unansweredCount() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_unansweredCount;
}

void MLPDiscoverRequest::run(MLPWorkerContext* context)
{
    delete *context->connection;
    *context->connection = nullptr;
    delete *context->link;
    *context->link = nullptr;

    {
        QMutexLocker locker(&m_devicesMutex);
        m_deviceList.clear();
        m_unansweredCount = 0;
        m_inaccessible.clear();
        m_heldBridgeCount = 0;
    }

    bool allAnswered = true;
    {
        // The connection must go before its link, hence the declaration order.
        auto link = std::make_unique<marlune::MLP::MLPPhyMultiUsb>();
        auto connection = std::make_unique<MLPConnection>(link.get(), kDiscoveryReceiveCapacity);
        connection->setFrameTrace(context->frameTrace, context->frameTraceContext);

        const int32_t deviceCount = link->enumerate();
        for (int32_t index = 0; index < deviceCount; ++index) {
            const QString address =
                QString::fromStdString(marlune::MLP::MLPPhyAddress::multi().makeAddress(index));
            link->close();
            link->openIndex(index);
            if (link->bridgeOpenRefused()) {
                // Listed but not to be opened: another program holds the bridge. Asking it
                // would only wait out the answer time, and "did not answer" would send the
                // person to check a cable that is fine.
                allAnswered = false;
                QMutexLocker locker(&m_devicesMutex);
                ++m_heldBridgeCount;
                continue;
            }

            const MLPReadResult answer = connection->requestDeviceInfo();
            if (answer.status != MLPStatus::Ok) {
                allAnswered = false;
                QMutexLocker locker(&m_devicesMutex);
                ++m_unansweredCount;
                continue;
            }
            if (answer.data && answer.length == MLPDeviceInfoRecord::kPayloadLength) {
                MLPDeviceInfoNode node = MLPDeviceInfoNode::fromRecord(
                    MLPDeviceInfoRecord::fromPayload(answer.data.get()), address);
                node.linkKind = link->linkKindAt(index);
                node.serial = QString::fromStdString(link->serialAt(index));
                QMutexLocker locker(&m_devicesMutex);
                m_deviceList.append(node);
            }
        }
        QMutexLocker locker(&m_devicesMutex);
        m_heldBridgeCount += link->heldBridgeCount();
    }

    // The discovery's links are closed now, so a device in use here is in use elsewhere.
    const QList<InaccessibleUsbDevice> inaccessible = DeviceAccessProbe::findInaccessibleDevices();
    {
        QMutexLocker locker(&m_devicesMutex);
        m_inaccessible = inaccessible;
    }

    if (allAnswered) {
        emit workDone();
    } else {
        emit failed(OperationFailed);
    }
}

#include "mlpdiscoverrequest.h"

#include "deviceaccessprobe.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"
#include "mlpunitlinks.h"
#include "mlpworkercontext.h"

#include <QMutexLocker>

#include <algorithm>
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

QList<MLPDeviceInfoNode> MLPDiscoverRequest::attachedUnits() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_attached;
}

MissingDevices MLPDiscoverRequest::missingDevices() const
{
    QMutexLocker locker(&m_devicesMutex);
    return m_missing;
}

void MLPDiscoverRequest::run(MLPWorkerContext* context)
{
    context->releaseThreadDevice();

    {
        QMutexLocker locker(&m_devicesMutex);
        m_deviceList.clear();
        m_attached.clear();
        m_missing = MissingDevices();
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
            const MLPDeviceInfoNode attached = MLPUnitLinks::listedAt(*link, index, address);
            {
                QMutexLocker locker(&m_devicesMutex);
                m_attached.append(attached);
            }
            if (std::any_of(
                    context->leaveOut.begin(), context->leaveOut.end(),
                    [&attached](const MLPDeviceInfoNode& unit) { return unit.isSameUnit(attached); })) {
                continue;
            }
            link->close();
            link->openIndex(index);
            if (link->bridgeOpenRefused()) {
                // Listed but not to be opened: another program holds the bridge. Asking it
                // would only wait out the answer time, and "did not answer" would send the
                // person to check a cable that is fine.
                allAnswered = false;
                QMutexLocker locker(&m_devicesMutex);
                ++m_missing.heldBridges;
                m_missing.heldUnits << attached;
                continue;
            }

            const MLPReadResult answer = connection->requestDeviceInfo();
            if (answer.status != MLPStatus::Ok) {
                allAnswered = false;
                QMutexLocker locker(&m_devicesMutex);
                ++m_missing.unanswered;
                m_missing.unansweredUnits << attached;
                continue;
            }
            if (answer.data && answer.length == MLPDeviceInfoRecord::kPayloadLength) {
                const MLPDeviceInfoNode node = MLPDeviceInfoNode::fromRecord(
                    MLPDeviceInfoRecord::fromPayload(answer.data.get()), attached);
                QMutexLocker locker(&m_devicesMutex);
                m_deviceList.append(node);
            }
        }
        QMutexLocker locker(&m_devicesMutex);
        m_missing.heldBridges += link->heldBridgeCount();
    }

    // The discovery's links are closed now, so a device in use here is in use elsewhere.
    const QList<InaccessibleUsbDevice> inaccessible = DeviceAccessProbe::findInaccessibleDevices();
    {
        QMutexLocker locker(&m_devicesMutex);
        m_missing.inaccessible = inaccessible;
        m_missing.ftdiDriverMissing = DeviceAccessProbe::ftdiDriverMissing();
    }

    if (allAnswered) {
        emit workDone();
    } else {
        emit failed(OperationFailed);
    }
}

#include "mlpselectdevicerequest.h"

#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphyaddress.h"
#include "mlpphymultiusb.h"
#include "mlpworkercontext.h"

namespace {

constexpr uint32_t kSelectionReceiveCapacity = 50000;

} // namespace

MLPSelectDeviceRequest::MLPSelectDeviceRequest(QObject* parent) : MLPWorkerRequestI(parent) {}

void MLPSelectDeviceRequest::run(MLPWorkerContext* context)
{
    delete *context->connection;
    *context->connection = nullptr;
    delete *context->link;
    *context->link = nullptr;

    auto* link = new marlune::MLP::MLPPhyMultiUsb();
    *context->link = link;
    link->open(context->address.toUtf8().toStdString());

    auto* connection = new MLPConnection(link, kSelectionReceiveCapacity);
    connection->setFrameTrace(context->frameTrace, context->frameTraceContext);
    *context->connection = connection;

    const MLPReadResult answer = connection->requestDeviceInfo();
    answered =
        answer.status == MLPStatus::Ok && answer.data && answer.length == MLPDeviceInfoRecord::kPayloadLength;
    device = MLPDeviceInfoNode();
    device.address = context->address;
    if (answered) {
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(answer.data.get());
        fwVersion = record.fwVersion;
        hwVersion = record.hwVersion;
        device = MLPDeviceInfoNode::fromRecord(record, context->address);
        const std::optional<int> index =
            marlune::MLP::MLPPhyAddress::multi().parseIndex(context->address.toUtf8().toStdString());
        if (index) {
            device.linkKind = link->linkKindAt(*index);
            device.serial = QString::fromStdString(link->serialAt(*index));
        }
    } else {
        fwVersion = kUnknownVersion;
        hwVersion = kUnknownVersion;
    }
    emit workDone();
}

#include "mlpselectdevicerequest.h"

#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphy.h"
#include "mlpworkercontext.h"

#include <memory>

namespace {

constexpr uint32_t kSelectionReceiveCapacity = 50000;

} // namespace

MLPSelectDeviceRequest::MLPSelectDeviceRequest(QObject* parent) : MLPWorkerRequestI(parent) {}

void MLPSelectDeviceRequest::run(MLPWorkerContext* context)
{
    context->releaseThreadDevice();

    MLPUnitLinks::Opening opening = context->units.open(context->units.context, context->unit);
    MLPDeviceInfoNode opened = opening.where;
    opened.address = context->unit.address;
    std::unique_ptr<marlune::MLP::MLPPhy> link = std::move(opening.link);
    if (!link) {
        // The unit is not attached: a link without a device answers nothing, so the pings
        // that follow report it lost, as for a unit that stopped answering.
        link = std::make_unique<marlune::MLP::MLPPhy>();
    }
    *context->link = link.release();

    auto* connection = new MLPConnection(*context->link, kSelectionReceiveCapacity);
    connection->setClock(context->clock);
    connection->setFrameTrace(context->frameTrace, context->frameTraceContext);
    *context->connection = connection;

    const MLPReadResult answer = connection->requestDeviceInfo();
    answered =
        answer.status == MLPStatus::Ok && answer.data && answer.length == MLPDeviceInfoRecord::kPayloadLength;
    device = MLPDeviceInfoNode();
    device.address = opened.address;
    if (answered) {
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(answer.data.get());
        fwVersion = record.fwVersion;
        hwVersion = record.hwVersion;
        device = MLPDeviceInfoNode::fromRecord(record, opened);
    } else {
        fwVersion = kUnknownVersion;
        hwVersion = kUnknownVersion;
    }
    emit workDone();
}

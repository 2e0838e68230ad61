#include "mlppingrequest.h"

#include "mlpconnection.h"
#include "mlpworkercontext.h"

MLPPingRequest::MLPPingRequest(QObject* parent) : MLPWorkerRequestI(parent) {}

void MLPPingRequest::run(MLPWorkerContext* context)
{
    MLPConnection* connection = *context->connection;
    if (!connection) {
        return;
    }
    switch (connection->requestDeviceInfo().status) {
    case MLPStatus::Ok:
        emit workDone();
        break;
    case MLPStatus::NoValidReply:
        emit failed(NoAnswer);
        break;
    case MLPStatus::Acknowledged:
    case MLPStatus::DeviceError:
        emit failed(OperationFailed);
        break;
    }
}

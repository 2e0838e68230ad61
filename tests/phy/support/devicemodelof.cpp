#include "devicemodelof.h"

#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphy.h"

namespace marlune::testing {

namespace {
constexpr uint32_t kReceiveCapacity = 10000;
}

std::string deviceModelOf(MLP::MLPPhy& link)
{
    MLPConnection connection(&link, kReceiveCapacity);
    const MLPReadResult result = connection.requestDeviceInfo();
    if (result.status != MLPStatus::Ok) {
        return "no answer";
    }
    return MLPDeviceInfoRecord::fromPayload(result.data.get()).model;
}

} // namespace marlune::testing

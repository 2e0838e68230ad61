#include "workerdevices.h"

namespace marlune::testing {

std::shared_ptr<VirtualDevice> makeDevice(const std::string& model, uint16_t hwVersion, uint16_t fwVersion)
{
    VirtualDeviceIdentity identity;
    identity.model = model;
    identity.hwVersion = hwVersion;
    identity.fwVersion = fwVersion;
    identity.maxFrameLength = 128;
    auto device = std::make_shared<VirtualDevice>(identity);
    device->setInstallsUpdates(true);
    return device;
}

QByteArray toBytes(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

} // namespace marlune::testing

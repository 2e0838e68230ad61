#include "demodevice.h"

namespace marlune::testing {

std::shared_ptr<VirtualDevice> makeDemoDevice(const DemoDeviceDescription& description)
{
    VirtualDeviceIdentity identity;
    identity.model = description.model.toStdString();
    identity.hwVersion = description.hwVersion;
    identity.fwVersion = description.fwVersion;
    identity.maxFrameLength = description.maxFrameLength;
    auto device = std::make_shared<VirtualDevice>(identity);
    device->setRecording(false);
    device->setInstallsUpdates(!description.keepsFirmware);
    device->setRestartAfterUpdate(description.restartMs);
    device->setAnswerDelay(description.answerDelayMs);
    device->setSilent(description.silent);
    if (description.errorSegment) {
        device->failSegment(*description.errorSegment, description.errorStatus);
    }
    return device;
}

} // namespace marlune::testing

#include "devicetext.h"

#include "mlpdeviceinfonode.h"
#include "updatetext.h"

namespace devicetext {

QString deviceSummary(const MLPDeviceInfoNode& device)
{
    const QString serial =
        device.serial.isEmpty() ? QString() : QStringLiteral(", serial %1").arg(device.serial);
    // A device that never answered is known only by where it is attached.
    if (device.model.isEmpty()) {
        return QStringLiteral("%1 at %2%3")
            .arg(UpdateText::linkKind(device.linkKind), device.address, serial);
    }
    return QStringLiteral("%1 at %2 (%3%4, hardware %5, firmware %6)")
        .arg(device.model, device.address, UpdateText::linkKind(device.linkKind), serial,
             MLPDeviceInfoNode::versionText(device.hwVersion),
             MLPDeviceInfoNode::versionText(device.fwVersion));
}

QString statusKey(MLPStatus status)
{
    switch (status) {
    case MLPStatus::Acknowledged:
        return QStringLiteral("acknowledged");
    case MLPStatus::DeviceError:
        return QStringLiteral("device-error");
    case MLPStatus::NoValidReply:
        return QStringLiteral("no-valid-reply");
    case MLPStatus::Ok:
        break;
    }
    return QStringLiteral("ok");
}

} // namespace devicetext

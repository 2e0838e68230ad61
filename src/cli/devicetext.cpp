#include "devicetext.h"

#include "mlpdeviceinfonode.h"
#include "updatetext.h"

namespace devicetext {

QString deviceSummary(const MLPDeviceInfoNode& device)
{
    QString serial = device.serial.isEmpty() ? QString() : QStringLiteral(", serial %1").arg(device.serial);
    if (device.serialShareCount > 1) {
        serial += QStringLiteral(" shared by %1").arg(device.serialShareCount);
    }
    // Where it sits tells apart units whose serial number does not.
    const QString port = device.portPath.isEmpty() || device.serialIsOwn()
                             ? QString()
                             : QStringLiteral(", port %1").arg(device.portPath);
    // A device that never answered is known only by where it is attached.
    if (device.model.isEmpty()) {
        return QStringLiteral("%1 at %2%3%4")
            .arg(UpdateText::linkKind(device.linkKind), device.address, serial, port);
    }
    return QStringLiteral("%1 at %2 (%3%4%5, hardware %6, firmware %7)")
        .arg(device.model, device.address, UpdateText::linkKind(device.linkKind), serial, port,
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

#include "devicetext.h"

#include "mlpdeviceinfonode.h"
#include "updatetext.h"

namespace devicetext {

QString deviceSummary(const MLPDeviceInfoNode& device)
{
    return QStringLiteral("%1 at %2 (%3, hardware %4, firmware %5)")
        .arg(device.model, device.address, UpdateText::linkKind(device.linkKind),
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

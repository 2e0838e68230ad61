#include "devicetext.h"

#include "mlpdeviceinfonode.h"

namespace devicetext {

QString linkKindText(marlune::MLP::MLPLinkKind kind)
{
    switch (kind) {
    case marlune::MLP::MLPLinkKind::FtdiBridge:
        return QStringLiteral("FTDI bridge");
    case marlune::MLP::MLPLinkKind::MakerUsb:
        return QStringLiteral("maker USB");
    case marlune::MLP::MLPLinkKind::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString deviceSummary(const MLPDeviceInfoNode& device)
{
    return QStringLiteral("%1 at %2 (%3, hardware %4, firmware %5)")
        .arg(device.model, device.address, linkKindText(device.linkKind),
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

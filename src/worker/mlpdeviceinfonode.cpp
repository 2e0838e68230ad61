#include "mlpdeviceinfonode.h"

#include "mlpdeviceinforecord.h"

namespace {

constexpr int kHexadecimal = 16;

} // namespace

QString MLPDeviceInfoNode::versionText(uint16_t version)
{
    return QStringLiteral("%1.").arg(version >> 8, 0, kHexadecimal) +
           QStringLiteral("%1").arg(version & 0xFF, 2, kHexadecimal, QLatin1Char('0'));
}

MLPDeviceInfoNode MLPDeviceInfoNode::fromRecord(const MLPDeviceInfoRecord& record, const QString& address)
{
    MLPDeviceInfoNode node;
    node.model = QString::fromUtf8(record.model.data(), static_cast<int>(record.model.size()));
    node.address = address;
    node.infoWord0 = record.infoWord0;
    node.hwVersion = record.hwVersion;
    node.fwVersion = record.fwVersion;
    node.maxFrameLength = record.maxFrameLength;
    return node;
}

MLPDeviceInfoNode MLPDeviceInfoNode::fromRecord(const MLPDeviceInfoRecord& record,
                                                const MLPDeviceInfoNode& where)
{
    MLPDeviceInfoNode node = fromRecord(record, where.address);
    node.linkKind = where.linkKind;
    node.serial = where.serial;
    return node;
}

bool MLPDeviceInfoNode::isSameUnit(const MLPDeviceInfoNode& other) const
{
    if (linkKind != other.linkKind) {
        return false;
    }
    if (serial.isEmpty() || other.serial.isEmpty()) {
        return serial.isEmpty() && other.serial.isEmpty() && !address.isEmpty() && address == other.address;
    }
    return serial == other.serial;
}

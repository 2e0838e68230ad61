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
    node.portPath = where.portPath;
    node.serialShareCount = where.serialShareCount;
    return node;
}

bool MLPDeviceInfoNode::isSameUnit(const MLPDeviceInfoNode& other) const
{
    if (linkKind != other.linkKind || serial != other.serial) {
        return false;
    }
    if (serialIsOwn() && other.serialIsOwn()) {
        return true;
    }
    if (!portPath.isEmpty() || !other.portPath.isEmpty()) {
        return portPath == other.portPath;
    }
    return !address.isEmpty() && address == other.address;
}

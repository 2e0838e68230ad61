#include "mlpdeviceinfonode.h"

namespace {

constexpr int kHexadecimal = 16;

} // namespace

QString MLPDeviceInfoNode::versionText(uint16_t version)
{
    return QStringLiteral("%1.").arg(version >> 8, 0, kHexadecimal) +
           QStringLiteral("%1").arg(version & 0xFF, 2, kHexadecimal, QLatin1Char('0'));
}

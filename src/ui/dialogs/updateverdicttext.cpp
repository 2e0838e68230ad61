#include "updateverdicttext.h"

#include "mlpdeviceinfonode.h"

namespace {

constexpr int kHexadecimal = 16;

QString hexByte(uint8_t value)
{
    return QStringLiteral("0x%1").arg(value, 2, kHexadecimal, QLatin1Char('0'));
}

} // namespace

QString UpdateVerdictText::failure(const MLPUpdateOutcome& outcome)
{
    using Phase = MLPUpdateOutcome::Phase;
    QString what;
    if (outcome.linkWriteFailed) {
        what = tr("the data did not reach the device (it was unplugged or stopped taking data)");
    } else if (outcome.deviceStatus) {
        what = tr("the device answered with error %1").arg(hexByte(*outcome.deviceStatus));
    } else if (outcome.status == MLPStatus::NoValidReply) {
        what = tr("the device did not answer");
    } else {
        what = tr("the device gave an answer that does not fit");
    }
    switch (outcome.phase) {
    case Phase::FileCheck:
        return tr("The update file could not be used; nothing was sent.");
    case Phase::NoConnection:
        return tr("No device was connected; nothing was sent. Press Discover Devices and try again.");
    case Phase::IdentityCheck:
        return tr("The device no longer matches the update file (model %1, hardware %2); nothing was sent. "
                  "Press "
                  "Discover Devices and try again.")
            .arg(outcome.deviceModel, MLPDeviceInfoNode::versionText(outcome.deviceHwVersion));
    case Phase::Header:
        return tr("Failed while sending the update header, segment %1: %2. No block was sent; run the update "
                  "again.")
            .arg(outcome.segment)
            .arg(what);
    case Phase::Block:
        return tr("Failed in block %1, segment %2: %3. The device may hold a partial update; run the update "
                  "again.")
            .arg(outcome.block)
            .arg(outcome.segment)
            .arg(what);
    case Phase::Done:
        break;
    }
    return QString();
}

#include "updateverdicttext.h"

#include "mlpdeviceinfonode.h"

namespace {

constexpr int kHexadecimal = 16;

QString hexByte(uint8_t value)
{
    return QStringLiteral("0x%1").arg(value, 2, kHexadecimal, QLatin1Char('0'));
}

} // namespace

QString UpdateVerdictText::fileProblem(const MLU2FileProblem& problem)
{
    using Kind = MLU2FileProblem::Kind;
    switch (problem.kind) {
    case Kind::None:
    case Kind::NotOpened:
        break;
    case Kind::Missing:
        return tr("The update file does not exist.");
    case Kind::Folder:
        return tr("The update file is a folder.");
    case Kind::Unreadable:
        return tr("The update file cannot be read: %1.").arg(problem.osReason);
    case Kind::TooShort:
        return tr("The update file is too short: %1 bytes, where its header alone takes 256.")
            .arg(problem.fileSize);
    case Kind::Signature:
    case Kind::SignatureTerminator:
        return tr("This is not a Marlune update file: it does not begin with MLU2.");
    case Kind::HardwareVersionCount:
    case Kind::BlockCount:
        return tr("The update file's header is damaged: byte %1 holds %2.")
            .arg(problem.headerOffset)
            .arg(problem.headerValue);
    case Kind::BlockOutsideFile:
        return tr("The update file is cut short: block %1 needs %2 bytes from byte %3, but the file ends at "
                  "%4.")
            .arg(problem.blockIndex)
            .arg(problem.blockLength)
            .arg(problem.blockOffset)
            .arg(problem.fileSize);
    case Kind::EmptyBlock:
        return tr("The update file is damaged: block %1 has no bytes.").arg(problem.blockIndex);
    case Kind::BlockNotMapped:
        return tr("Block %1 of the update file cannot be read: %2.")
            .arg(problem.blockIndex)
            .arg(problem.osReason);
    }
    return tr("The update file cannot be read.");
}

QString UpdateVerdictText::toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                                   const QString& noFileText)
{
    using Kind = UpdateFileVerdict::Kind;
    switch (verdict.kind) {
    case Kind::Fits:
        return tr("Writes firmware %1 to %2, which now has %3.")
            .arg(verdict.fileFirmwareVersionText, verdict.deviceModel,
                 MLPDeviceInfoNode::versionText(deviceFwVersion));
    case Kind::NoFile:
        return noFileText;
    case Kind::FileProblem:
        return fileProblem(verdict.fileProblem);
    case Kind::OtherModel:
        return tr("This file is for %1; the device is a %2.").arg(verdict.fileModel, verdict.deviceModel);
    case Kind::HardwareNotListed:
        return tr("This file fits hardware %1; the device has hardware %2.")
            .arg(verdict.fileHardwareVersionsText, MLPDeviceInfoNode::versionText(verdict.deviceHwVersion));
    }
    return QString();
}

QString UpdateVerdictText::failure(const MLPUpdateOutcome& outcome)
{
    using Phase = MLPUpdateOutcome::Phase;
    QString what;
    if (outcome.linkWriteFailed) {
        what = outcome.linkErrorName.isEmpty()
                   ? tr("the data did not reach the device (it was unplugged or stopped taking data)")
                   : tr("the data did not reach the device (it was unplugged or stopped taking data; link "
                        "status %1)")
                         .arg(outcome.linkErrorName);
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

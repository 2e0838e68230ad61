#include "updatetext.h"

#include "firmwareversion.h"
#include "mlpdeviceinfonode.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlu2file.h"
#include "mlu2format.h"
#include "updatesession.h"

#include <utility>

namespace {

using Phase = MLPUpdateOutcome::Phase;

constexpr int kHexadecimal = 16;
constexpr uint32_t kMillisecondsPerSecond = 1000;

// Why a session that has ended did not succeed and what to do about it; both empty when it
// succeeded or has not ended.
std::pair<QString, QString> endingWords(const UpdateSession& session)
{
    switch (session.state()) {
    case UpdateSession::State::Refused:
    case UpdateSession::State::Failed:
        return {UpdateText::failure(session.outcome()), UpdateText::nextStep(session.outcome())};
    case UpdateSession::State::Unconfirmed:
        break;
    default:
        return {};
    }
    const MLPUpdateOutcome outcome = session.outcome();
    QString reason;
    if (!outcome.answeredAfter) {
        reason =
            UpdateText::tr("the file was written and acknowledged, but the unit did not answer within %1 "
                           "seconds afterwards")
                .arg(MLPUpdateFirmwareRequest::kUnitReturnBoundMs / kMillisecondsPerSecond);
    } else if (!outcome.sameUnitAfter) {
        reason =
            UpdateText::tr("the file was written and acknowledged, but afterwards another unit answered in "
                           "its place: %1 on %2")
                .arg(outcome.unitAfter.model, UpdateText::unit(outcome.unitAfter));
    } else if (!marlune::isBcdVersion(outcome.unitAfter.fwVersion)) {
        reason = UpdateText::tr("the file was written and acknowledged, but the unit reports the firmware "
                                "version 0x%1, which is not a version number")
                     .arg(outcome.unitAfter.fwVersion, 4, kHexadecimal, QLatin1Char('0'));
    } else {
        reason =
            UpdateText::tr("the file was written and acknowledged, but the unit reports firmware %1, not %2")
                .arg(MLPDeviceInfoNode::versionText(outcome.unitAfter.fwVersion),
                     session.fileFirmwareVersion());
    }
    return {reason, UpdateText::tr("Power-cycle the unit, then look for the devices again and check the "
                                   "firmware it reports.")};
}

} // namespace

QString UpdateText::linkKind(marlune::MLP::MLPLinkKind kind)
{
    switch (kind) {
    case marlune::MLP::MLPLinkKind::FtdiBridge:
        return tr("FTDI bridge");
    case marlune::MLP::MLPLinkKind::MakerUsb:
        return tr("maker USB");
    case marlune::MLP::MLPLinkKind::Unknown:
        break;
    }
    return tr("unknown link");
}

QString UpdateText::unit(const MLPDeviceInfoNode& device)
{
    if (device.serialIsOwn()) {
        return tr("%1 %2").arg(linkKind(device.linkKind), device.serial);
    }
    if (device.portPath.isEmpty()) {
        return device.serial.isEmpty()
                   ? tr("%1 at %2").arg(linkKind(device.linkKind), device.address)
                   : tr("%1 %2 at %3").arg(linkKind(device.linkKind), device.serial, device.address);
    }
    if (device.serial.isEmpty()) {
        return tr("%1 on port %2").arg(linkKind(device.linkKind), device.portPath);
    }
    return (device.linkKind == marlune::MLP::MLPLinkKind::FtdiBridge
                ? tr("%1 on port %2, serial %3, shared by %4 bridges")
                : tr("%1 on port %2, serial %3, shared by %4 devices"))
        .arg(linkKind(device.linkKind), device.portPath, device.serial)
        .arg(device.serialShareCount);
}

QString UpdateText::fileProblem(const MLU2FileProblem& problem)
{
    using Kind = MLU2FileProblem::Kind;
    switch (problem.kind) {
    case Kind::None:
        return QString();
    case Kind::NotOpened:
        return tr("it has not been read");
    case Kind::Missing:
        return tr("the file does not exist");
    case Kind::Folder:
        return tr("it is a folder, not a file");
    case Kind::Unreadable:
        return tr("it cannot be read: %1").arg(problem.osReason);
    case Kind::TooShort:
        return tr("it is too short: %1 bytes, but the header alone takes %2")
            .arg(problem.fileSize)
            .arg(MLU2Format::kHeaderSize);
    case Kind::TooLarge:
        return tr("it is too large: %1 bytes, but an update file has at most %2")
            .arg(problem.fileSize)
            .arg(MLU2File::kMaxUpdateFileBytes);
    case Kind::Signature:
    case Kind::SignatureTerminator:
        return tr("it is not an update file: it does not start with the signature MLU2");
    case Kind::HardwareVersionCount:
        return tr("its header lists %1 hardware versions; 1 to %2 are allowed")
            .arg(problem.headerValue)
            .arg(MLU2Format::kMaxHardwareVersions);
    case Kind::BlockCount:
        return tr("its header counts %1 blocks; 1 to %2 are allowed")
            .arg(problem.headerValue)
            .arg(MLU2Format::kMaxBlocks);
    case Kind::BlockOutsideFile:
        return tr("block %1 (%2 bytes from offset %3) reaches beyond the end of the file (%4 bytes): the "
                  "file is truncated")
            .arg(problem.blockIndex)
            .arg(problem.blockLength)
            .arg(problem.blockOffset)
            .arg(problem.fileSize);
    case Kind::EmptyBlock:
        return tr("block %1 is empty").arg(problem.blockIndex);
    }
    return QString();
}

QString UpdateText::fileVerdict(const UpdateFileVerdict& verdict)
{
    switch (verdict.kind) {
    case UpdateFileVerdict::Kind::Fits:
        return QString();
    case UpdateFileVerdict::Kind::NoFile:
        return tr("no update file was chosen");
    case UpdateFileVerdict::Kind::FileProblem:
        return (verdict.fileProblem.headerIsValid() ? tr("the update file cannot be used: %1")
                                                    : tr("the update file cannot be read: %1"))
            .arg(fileProblem(verdict.fileProblem));
    case UpdateFileVerdict::Kind::OtherModel:
        return tr("the update file is for model %1, the device is a %2")
            .arg(verdict.fileModel, verdict.deviceModel);
    case UpdateFileVerdict::Kind::HardwareNotListed:
        return tr("the update file fits hardware %1, the device has hardware %2")
            .arg(verdict.fileHardwareVersionsText, MLPDeviceInfoNode::versionText(verdict.deviceHwVersion));
    case UpdateFileVerdict::Kind::SignatureRefused:
        return tr("the update file is refused: %1").arg(signature(verdict.signature));
    case UpdateFileVerdict::Kind::Unsigned:
        return tr("the update file is %1, and unsigned files were not allowed")
            .arg(signature(verdict.signature));
    }
    return QString();
}

QString UpdateText::signature(const UpdateFileSignatureVerdict& signature)
{
    using Kind = UpdateFileSignatureVerdict::Kind;
    switch (signature.kind) {
    case Kind::NoSignature:
        return tr("not signed");
    case Kind::Signed:
        return tr("signed by %1 (key %2)").arg(signature.keyName, signature.keyId);
    case Kind::UnknownKey:
        return tr("signed by key %1, which is not trusted").arg(signature.keyId);
    case Kind::Malformed:
        return tr("its signature file is not a minisign signature");
    case Kind::FileChanged:
        return tr("the file was changed after it was signed");
    case Kind::CommentChanged:
        return tr("the signature's trusted comment was changed after it was signed");
    case Kind::OtherFile:
        return signature.signedModel.isEmpty()
                   ? tr("the signature names no model and firmware")
                   : tr("the signature is for %1 %2")
                         .arg(signature.signedModel, signature.signedFirmwareVersion);
    }
    return QString();
}

QString UpdateText::failure(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
    case Phase::IdentityCheck:
        return tr("when the update started, %1").arg(fileVerdict(outcome.fileCheck));
    case Phase::UnitCheck:
        return unitProblem(outcome);
    case Phase::Stopped:
        return tr("stopped before any byte was sent");
    case Phase::Header:
    case Phase::Block:
    case Phase::Done:
        break;
    }
    QString why;
    if (outcome.linkWriteFailed) {
        why = outcome.linkErrorName.isEmpty()
                  ? tr("the USB link did not take it (device unplugged, or no longer taking data)")
                  : tr("the USB link did not take it (device unplugged, or no longer taking data; link "
                       "status %1)")
                        .arg(outcome.linkErrorName);
    } else if (outcome.status == MLPStatus::DeviceError) {
        why = tr("the device refused it with status 0x%1")
                  .arg(outcome.deviceStatus.value_or(0), 2, kHexadecimal, QLatin1Char('0'));
    } else if (outcome.status == MLPStatus::NoValidReply) {
        why = tr("the device gave no valid answer");
    } else {
        why = tr("the device answered out of turn");
    }
    const QString transfer =
        outcome.phase == Phase::Header ? tr("the header") : tr("block %1").arg(outcome.block);
    return tr("%1 stopped at segment %2: %3; the device confirmed %4 of %5 bytes")
        .arg(transfer)
        .arg(outcome.segment)
        .arg(why)
        .arg(outcome.confirmedBytes)
        .arg(outcome.totalBytes);
}

// Names both units where they differ: the one meant and the one that answers on its link.
QString UpdateText::unitProblem(const MLPUpdateOutcome& outcome)
{
    switch (outcome.unitProblem) {
    case MLPUpdateOutcome::UnitProblem::NotAttached:
        return tr("%1 on %2 is no longer attached").arg(outcome.unit.model, unit(outcome.unit));
    case MLPUpdateOutcome::UnitProblem::Held:
        return tr("%1 on %2 is held by another program").arg(outcome.unit.model, unit(outcome.unit));
    case MLPUpdateOutcome::UnitProblem::NotAccessible:
        return tr("%1 on %2 is attached, but this user may not open it")
            .arg(outcome.unit.model, unit(outcome.unit));
    case MLPUpdateOutcome::UnitProblem::NoAnswer:
        return tr("%1 on %2 did not answer when asked just before the update")
            .arg(outcome.unit.model, unit(outcome.unitFound));
    case MLPUpdateOutcome::UnitProblem::OtherModel:
        return tr("a %1 answers on %2 now, not the %3 listed there")
            .arg(outcome.unitFound.model, unit(outcome.unitFound), outcome.unit.model);
    case MLPUpdateOutcome::UnitProblem::SameFirmware:
        return tr("%1 on %2 already runs firmware %3")
            .arg(outcome.unit.model, unit(outcome.unitFound), outcome.fileCheck.fileFirmwareVersionText);
    case MLPUpdateOutcome::UnitProblem::NewerFirmware:
        return tr("%1 on %2 runs firmware %3, newer than the file's %4: a step back")
            .arg(outcome.unit.model, unit(outcome.unitFound),
                 MLPDeviceInfoNode::versionText(outcome.unitFound.fwVersion),
                 outcome.fileCheck.fileFirmwareVersionText);
    case MLPUpdateOutcome::UnitProblem::None:
        break;
    }
    return QString();
}

QString UpdateText::nextStep(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
    case Phase::IdentityCheck:
        if (outcome.fileCheck.kind == UpdateFileVerdict::Kind::SignatureRefused) {
            return tr("Nothing was sent; get the file again from its maker.");
        }
        if (outcome.fileCheck.kind == UpdateFileVerdict::Kind::Unsigned) {
            return tr("Nothing was sent; write it only if you trust where it came from.");
        }
        return tr("Nothing was sent; look for the device again and choose the file that fits it.");
    case Phase::Stopped:
        return tr("The unit is as it was.");
    case Phase::UnitCheck:
        switch (outcome.unitProblem) {
        case MLPUpdateOutcome::UnitProblem::NoAnswer:
            return tr("Nothing was sent; check that it is attached and powered, then look for the devices "
                      "again.");
        case MLPUpdateOutcome::UnitProblem::SameFirmware:
        case MLPUpdateOutcome::UnitProblem::NewerFirmware:
            return tr("Nothing was sent.");
        case MLPUpdateOutcome::UnitProblem::Held:
            return tr("Nothing was sent; close the other program that uses it, then run the update again.");
        case MLPUpdateOutcome::UnitProblem::NotAccessible:
            return tr("Nothing was sent; give this user access to the device (see the README), then run the "
                      "update again.");
        case MLPUpdateOutcome::UnitProblem::NotAttached:
        case MLPUpdateOutcome::UnitProblem::OtherModel:
        case MLPUpdateOutcome::UnitProblem::None:
            break;
        }
        return tr("Nothing was sent; look for the devices again.");
    case Phase::Header:
        return tr("No block was sent; run the update again.");
    case Phase::Block:
    case Phase::Done:
        break;
    }
    if (outcome.linkWriteFailed || outcome.status == MLPStatus::NoValidReply) {
        return tr(
            "The device may hold a partial update: check its cable and power, then run the update again.");
    }
    return tr("The device may hold a partial update; run the update again.");
}

QString UpdateText::reason(const UpdateSession& session)
{
    return endingWords(session).first;
}

QString UpdateText::nextStep(const UpdateSession& session)
{
    return endingWords(session).second;
}

QString UpdateText::sentence(const QString& clause)
{
    if (clause.isEmpty()) {
        return clause;
    }
    return clause.at(0).toUpper() + clause.mid(1) + QLatin1Char('.');
}

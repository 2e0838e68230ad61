#include "updatetext.h"

#include "mlpdeviceinfonode.h"
#include "mlu2file.h"
#include "mlu2format.h"
#include "updatesession.h"

#include <utility>

namespace {

using Phase = MLPUpdateOutcome::Phase;

constexpr int kHexadecimal = 16;

// Why a session that has ended did not succeed and what to do about it; both empty when it
// succeeded or has not ended. A refusal before the request is told here, the rest by the
// request's outcome.
std::pair<QString, QString> endingWords(const UpdateSession& session)
{
    const bool refusedBeforeRequest = session.state() == UpdateSession::State::Refused &&
                                      session.refusal() != UpdateSession::Refusal::Request;
    if (refusedBeforeRequest && session.refusal() == UpdateSession::Refusal::NoAnswer) {
        return {UpdateText::tr("the device at %1 did not answer when selected").arg(session.unit().address),
                UpdateText::tr("Check that it is attached and powered, then look for the devices again.")};
    }
    if (refusedBeforeRequest) {
        return {UpdateText::tr("the device at %1 is no longer the one listed there; the devices changed")
                    .arg(session.unit().address),
                UpdateText::tr("Nothing was sent; look for the devices again.")};
    }
    if (session.state() == UpdateSession::State::Refused || session.state() == UpdateSession::State::Failed) {
        return {UpdateText::failure(session.outcome()), UpdateText::nextStep(session.outcome())};
    }
    return {};
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
    }
    return QString();
}

QString UpdateText::failure(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
    case Phase::IdentityCheck:
        return tr("when the update started, %1").arg(fileVerdict(outcome.fileCheck));
    case Phase::NoConnection:
        return tr("the device was no longer connected when the update started");
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

QString UpdateText::nextStep(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
    case Phase::NoConnection:
    case Phase::IdentityCheck:
        return tr("Nothing was sent; look for the device again and choose the file that fits it.");
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

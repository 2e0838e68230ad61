#include "updateexecutor.h"

#include "clidevicesession.h"
#include "mlpdeviceinfonode.h"
#include "updatehistory.h"

#include <QDateTime>

namespace {

using Phase = MLPUpdateOutcome::Phase;

QString statusText(const MLPUpdateOutcome& outcome)
{
    if (outcome.linkWriteFailed) {
        const QString linkStatus = outcome.linkErrorName.isEmpty()
                                       ? QString()
                                       : QStringLiteral(", link status %1").arg(outcome.linkErrorName);
        return QStringLiteral("the USB link did not take it (device unplugged, or no longer taking data%1)")
            .arg(linkStatus);
    }
    switch (outcome.status) {
    case MLPStatus::DeviceError:
        return QStringLiteral("the device refused it with status 0x%1")
            .arg(outcome.deviceStatus.value_or(0), 2, 16, QLatin1Char('0'));
    case MLPStatus::NoValidReply:
        return QStringLiteral("the device gave no valid answer");
    case MLPStatus::Acknowledged:
        return QStringLiteral("the device answered out of turn");
    case MLPStatus::Ok:
        break;
    }
    return QStringLiteral("it did not go through");
}

QString nextStepAfter(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
        return QStringLiteral("Nothing was sent; \"inspect FILE\" tells what is wrong with the file.");
    case Phase::NoConnection:
    case Phase::IdentityCheck:
        return QStringLiteral("Nothing was sent. Run the command again.");
    case Phase::Header:
    case Phase::Block:
    case Phase::Done:
        break;
    }
    if (outcome.phase == Phase::Header) {
        return QStringLiteral("No block was sent; run the update again.");
    }
    if (outcome.linkWriteFailed || outcome.status == MLPStatus::NoValidReply) {
        return QStringLiteral("The device may hold a partial update: check its cable and power, then run the "
                              "update again.");
    }
    return QStringLiteral("The device may hold a partial update; run the update again.");
}

} // namespace

QString UpdateExecutor::failureReason(const MLPUpdateOutcome& outcome)
{
    switch (outcome.phase) {
    case Phase::FileCheck:
        return QStringLiteral("the update file could not be used when the update started");
    case Phase::NoConnection:
        return QStringLiteral("the device was no longer connected when the update started");
    case Phase::IdentityCheck:
        return QStringLiteral(
                   "when the update started the device reported model %1, hardware %2, which the file "
                   "does not fit: the devices changed")
            .arg(outcome.deviceModel, MLPDeviceInfoNode::versionText(outcome.deviceHwVersion));
    case Phase::Header:
    case Phase::Block:
    case Phase::Done:
        break;
    }
    const QString transfer = outcome.phase == Phase::Header ? QStringLiteral("the header")
                                                            : QStringLiteral("block %1").arg(outcome.block);
    return QStringLiteral("%1 stopped at segment %2: %3; the device confirmed %4 of %5 bytes")
        .arg(transfer)
        .arg(outcome.segment)
        .arg(statusText(outcome))
        .arg(outcome.confirmedBytes)
        .arg(outcome.totalBytes);
}

UpdateExecutor::UpdateExecutor(CliDeviceSession& session, const UpdateHistory& history)
    : m_session(session), m_history(history)
{}

UpdateExecutor::Result UpdateExecutor::run(const UpdatePlan::Item& item,
                                           const std::function<void(int)>& progress)
{
    Result result;
    result.item = item;
    const MLPDeviceInfoNode& device = item.device;

    const CliDeviceSession::Selection selection = m_session.select(item.index);
    if (!selection.answered) {
        result.verdict = Result::Verdict::NoAnswer;
        result.reason = QStringLiteral("the device at %1 did not answer when selected").arg(device.address);
        result.nextStep =
            QStringLiteral("Check that it is attached and powered, then run the command again.");
    } else if (!selection.device.isSameUnit(device)) {
        // An address is a position: a device plugged in or out since the discovery moves the
        // others, and the file was checked against the device listed there.
        result.verdict = Result::Verdict::DevicesChanged;
        result.reason =
            QStringLiteral("the device at %1 is no longer the one discovered; the devices changed")
                .arg(device.address);
        result.nextStep = QStringLiteral("Run the command again.");
    } else {
        result.outcome = m_session.update(item.filePath, progress);
        if (result.outcome->succeeded()) {
            result.verdict = Result::Verdict::Succeeded;
            const CliDeviceSession::Selection after = m_session.select(item.index);
            if (after.answered && after.device.isSameUnit(device)) {
                result.versionAfter = MLPDeviceInfoNode::versionText(after.device.fwVersion);
            }
        } else {
            result.verdict = Result::Verdict::Failed;
            result.reason = failureReason(*result.outcome);
            result.nextStep = nextStepAfter(*result.outcome);
        }
    }
    record(result);
    return result;
}

void UpdateExecutor::record(Result& result) const
{
    UpdateHistoryEntry entry =
        UpdateHistory::entryFor(result.item.device, result.item.filePath, result.item.firmwareVersion);
    entry.succeeded = result.succeeded();
    entry.reason = result.reason;
    entry.versionAfter = result.versionAfter;
    const QString problem = m_history.append(entry);
    if (!problem.isEmpty()) {
        result.historyWarning = QStringLiteral("The update history was not written: %1.").arg(problem);
    }
}

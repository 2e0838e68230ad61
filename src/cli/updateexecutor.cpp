#include "updateexecutor.h"

#include "clidevicesession.h"
#include "deviceversiontext.h"
#include "updatehistory.h"

#include <QDateTime>

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
    } else if (selection.hwVersion != device.hwVersion || selection.fwVersion != device.fwVersion) {
        // An address is a position: a device plugged in or out since the discovery moves the
        // others, and the file was checked against the device listed there.
        result.verdict = Result::Verdict::DevicesChanged;
        result.reason =
            QStringLiteral("the device at %1 is no longer the one discovered; the devices changed. "
                           "Run the command again")
                .arg(device.address);
    } else {
        if (m_session.update(item.filePath, progress)) {
            result.verdict = Result::Verdict::Succeeded;
            const CliDeviceSession::Selection after = m_session.select(item.index);
            if (after.answered && after.hwVersion == device.hwVersion) {
                result.versionAfter = deviceVersionText(after.fwVersion);
            }
        } else {
            result.verdict = Result::Verdict::Failed;
            result.reason = QStringLiteral("the device did not take the whole update");
        }
    }
    record(result);
    return result;
}

void UpdateExecutor::record(Result& result) const
{
    const MLPDeviceInfoNode& device = result.item.device;
    UpdateHistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.model = device.model;
    entry.link = QLatin1String(linkKindKey(device.linkKind));
    entry.serial = device.serial;
    entry.address = device.address;
    entry.versionBefore = deviceVersionText(device.fwVersion);
    entry.file = result.item.filePath;
    entry.fileSha256 = UpdateHistory::sha256Of(result.item.filePath);
    entry.versionWritten = result.item.firmwareVersion;
    entry.succeeded = result.succeeded();
    entry.reason = result.reason;
    entry.versionAfter = result.versionAfter;
    const QString problem = m_history.append(entry);
    if (!problem.isEmpty()) {
        result.historyWarning = QStringLiteral("The update history was not written: %1.").arg(problem);
    }
}

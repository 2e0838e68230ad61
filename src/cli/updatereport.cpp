#include "updatereport.h"

#include "cliarguments.h"
#include "clioutput.h"
#include "devicetext.h"
#include "mlpdeviceinfonode.h"
#include "updatetext.h"

#include <QJsonArray>

namespace {

QString verdictCell(const UpdateResult& result)
{
    switch (result.verdict) {
    case UpdateResult::Verdict::Confirmed:
        return QStringLiteral("succeeded");
    case UpdateResult::Verdict::TookFileUnconfirmed:
        return QStringLiteral("not confirmed: %1").arg(result.reason);
    case UpdateResult::Verdict::NotStarted:
        return QStringLiteral("not started: %1").arg(result.reason);
    case UpdateResult::Verdict::LeftAlone:
        return QStringLiteral("skipped: %1").arg(result.reason);
    case UpdateResult::Verdict::NotReached:
    case UpdateResult::Verdict::Failed:
        break;
    }
    return QStringLiteral("failed: %1").arg(result.reason);
}

QString decisionKey(UnitPlan::Decision decision)
{
    switch (decision) {
    case UnitPlan::Decision::Write:
        return QStringLiteral("write");
    case UnitPlan::Decision::LeaveAlone:
        return QStringLiteral("leftAlone");
    case UnitPlan::Decision::DoesNotFit:
        return QStringLiteral("doesNotFit");
    case UnitPlan::Decision::NoAnswer:
        return QStringLiteral("noAnswer");
    case UnitPlan::Decision::Held:
        return QStringLiteral("held");
    case UnitPlan::Decision::NotAccessible:
        break;
    }
    return QStringLiteral("notAccessible");
}

// A unit in a line of its own among others: its address, the position it was listed at, and
// what names it: its own serial number, or where it sits on the bus.
QString unitLabel(const MLPDeviceInfoNode& device)
{
    if (!device.serialIsOwn() && !device.portPath.isEmpty()) {
        return QStringLiteral("%1 on port %2").arg(device.address, device.portPath);
    }
    return device.serial.isEmpty() ? device.address
                                   : QStringLiteral("%1 %2").arg(device.address, device.serial);
}

} // namespace

UpdateReport::UpdateReport(CliOutput& output, const CliArguments& arguments)
    : m_output(output), m_arguments(arguments)
{}

void UpdateReport::plan(const UpdatePlan& plan)
{
    if (m_arguments.json()) {
        // Every attached device has a line: those the run writes get theirs as they go.
        if (!m_arguments.dryRun()) {
            for (const UpdatePlan::Skipped& skip : plan.skipped) {
                skipped(skip);
            }
            return;
        }
        QJsonArray items;
        for (const UpdatePlan::Item& item : plan.items) {
            QJsonObject entry = CliOutput::deviceJson(item.device);
            entry.insert(QStringLiteral("file"), item.filePath);
            entry.insert(QStringLiteral("fileFirmwareVersion"), item.firmwareVersion);
            entry.insert(QStringLiteral("updateBytes"), item.updateBytes);
            entry.insert(QStringLiteral("signature"), item.signature);
            items.append(entry);
        }
        QJsonArray skipped;
        for (const UpdatePlan::Skipped& skip : plan.skipped) {
            QJsonObject entry = CliOutput::deviceJson(skip.device);
            entry.insert(QStringLiteral("decision"), decisionKey(skip.decision));
            entry.insert(QStringLiteral("reason"), skip.reason);
            skipped.append(entry);
        }
        QJsonObject record;
        record.insert(QStringLiteral("event"), QStringLiteral("plan"));
        record.insert(QStringLiteral("updates"), items);
        record.insert(QStringLiteral("skipped"), skipped);
        m_output.printJsonLine(record);
        return;
    }
    if (m_arguments.quiet() && !m_arguments.dryRun()) {
        return;
    }
    if (!m_arguments.all()) {
        const UpdatePlan::Item& item = plan.items.first();
        m_output.out() << QStringLiteral("Device: %1").arg(devicetext::deviceSummary(item.device)) << '\n'
                       << QStringLiteral("File:   %1 (firmware %2, %3 bytes to send)")
                              .arg(item.filePath, item.firmwareVersion)
                              .arg(item.updateBytes)
                       << '\n'
                       << QStringLiteral("        %1").arg(UpdateText::sentence(item.signature)) << '\n';
        if (m_arguments.dryRun()) {
            m_output.out() << QStringLiteral("Dry run: the file fits the device; nothing was sent.") << '\n';
        }
        return;
    }
    // A watch may start on an empty bench.
    if (plan.items.isEmpty() && plan.skipped.isEmpty()) {
        return;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),  QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"),  QStringLiteral("BEFORE"), QStringLiteral("PLAN")};
    for (const UpdatePlan::Item& item : plan.items) {
        rows << CliOutput::unitCells(item.device) +
                    QStringList{
                        QStringLiteral("write %1 (firmware %2)").arg(item.filePath, item.firmwareVersion)};
    }
    for (const UpdatePlan::Skipped& skip : plan.skipped) {
        rows << CliOutput::unitCells(skip.device) + QStringList{QStringLiteral("skip: %1").arg(skip.reason)};
    }
    m_output.printLines(CliOutput::table(rows));
    if (m_arguments.dryRun()) {
        m_output.out() << QStringLiteral("Dry run: nothing was sent.") << '\n';
    }
}

void UpdateReport::progressEvent(const MLPDeviceInfoNode& device, int percent)
{
    QJsonObject event;
    event.insert(QStringLiteral("event"), QStringLiteral("progress"));
    // The address is a position; with --all the serial, or where the serial is shared or
    // missing the port path, tells a script which unit this is.
    event.insert(QStringLiteral("address"), device.address);
    event.insert(QStringLiteral("serial"), device.serial);
    event.insert(QStringLiteral("portPath"), device.portPath);
    event.insert(QStringLiteral("percent"), percent);
    m_output.printJsonLine(event);
}

void UpdateReport::unitStarted(const UpdatePlan::Item& item)
{
    if (m_arguments.json()) {
        progressEvent(item.device, 0);
        return;
    }
    if (!m_arguments.quiet()) {
        m_output.out() << QStringLiteral("Updating %1 with %2")
                              .arg(devicetext::deviceSummary(item.device), item.filePath)
                       << '\n';
    }
}

void UpdateReport::unitProgress(const MLPDeviceInfoNode& device, int percent, int shownPercent)
{
    if (m_arguments.json()) {
        // The request reports after every segment; a line per new percentage is enough.
        if (percent != shownPercent) {
            progressEvent(device, percent);
        }
        return;
    }
    if (!m_arguments.quiet() && percent / kPercentStep > shownPercent / kPercentStep) {
        m_output.out()
            << QStringLiteral("%1: %2%").arg(unitLabel(device)).arg(percent / kPercentStep * kPercentStep)
            << '\n';
    }
}

void UpdateReport::result(const UpdateResult& result)
{
    if (!result.historyWarning.isEmpty()) {
        m_output.err() << result.historyWarning << '\n';
    }
    const MLPDeviceInfoNode& device = result.item.device;
    if (m_arguments.json()) {
        QJsonObject record = CliOutput::deviceJson(device);
        record.insert(QStringLiteral("event"), QStringLiteral("result"));
        record.insert(QStringLiteral("file"), result.item.filePath);
        record.insert(QStringLiteral("versionBefore"), MLPDeviceInfoNode::versionText(device.fwVersion));
        record.insert(QStringLiteral("fileFirmwareVersion"), result.item.firmwareVersion);
        record.insert(QStringLiteral("signature"), result.item.signature);
        record.insert(QStringLiteral("succeeded"), result.confirmed());
        record.insert(QStringLiteral("reason"), result.reason);
        record.insert(QStringLiteral("nextStep"), result.nextStep);
        record.insert(QStringLiteral("versionAfter"), result.versionAfter);
        if (result.outcome) {
            record.insert(QStringLiteral("outcome"), CliOutput::outcomeJson(*result.outcome));
        }
        m_output.printJsonLine(record);
        return;
    }
    if (m_arguments.all()) {
        if (!m_arguments.quiet()) {
            m_output.out() << (result.confirmed()
                                   ? QStringLiteral("%1: update complete.").arg(unitLabel(device))
                                   : QStringLiteral("%1: %2.").arg(unitLabel(device), verdictCell(result)))
                           << '\n';
        }
        return;
    }
    if (result.confirmed()) {
        m_output.out() << QStringLiteral("Update complete.") << '\n';
        if (!result.versionAfter.isEmpty() && !m_arguments.quiet()) {
            m_output.out() << QStringLiteral("The device now reports firmware %1.").arg(result.versionAfter)
                           << '\n';
        }
        return;
    }
    QString reason = result.reason;
    reason[0] = reason[0].toUpper();
    if (result.verdict != UpdateResult::Verdict::Failed) {
        m_output.err() << reason << QStringLiteral(". ") << result.nextStep << '\n';
        return;
    }
    m_output.err() << QStringLiteral("The firmware update could not be completed: %1. %2")
                          .arg(result.reason, result.nextStep)
                   << '\n';
}

void UpdateReport::skipped(const UpdatePlan::Skipped& skip)
{
    if (m_arguments.json()) {
        QJsonObject record = CliOutput::deviceJson(skip.device);
        record.insert(QStringLiteral("event"), QStringLiteral("skipped"));
        record.insert(QStringLiteral("decision"), decisionKey(skip.decision));
        record.insert(QStringLiteral("reason"), skip.reason);
        m_output.printJsonLine(record);
        return;
    }
    if (!m_arguments.quiet()) {
        m_output.out()
            << QStringLiteral("%1: skipped: %2.").arg(devicetext::deviceSummary(skip.device), skip.reason)
            << '\n';
    }
}

void UpdateReport::watching()
{
    if (m_arguments.json()) {
        QJsonObject record;
        record.insert(QStringLiteral("event"), QStringLiteral("watching"));
        m_output.printJsonLine(record);
        return;
    }
    if (!m_arguments.quiet()) {
        m_output.out() << QStringLiteral("Watching for units to update; press Ctrl+C to stop.") << '\n';
    }
}

void UpdateReport::endingAfterWrites()
{
    m_output.err() << QStringLiteral("No further unit starts; the run ends once the units being written are "
                                     "done.")
                   << '\n';
}

void UpdateReport::summary(const QList<UpdateResult>& results, const QList<UpdatePlan::Skipped>& skipped)
{
    const UpdateCounts counts = UpdateResult::counts(results, skipped);
    if (m_arguments.json()) {
        QJsonObject record;
        record.insert(QStringLiteral("event"), QStringLiteral("summary"));
        record.insert(QStringLiteral("updated"), counts.confirmed);
        record.insert(QStringLiteral("failed"), counts.failed + counts.unconfirmed);
        // Of the failed: units that took the whole file but do not report its firmware.
        record.insert(QStringLiteral("unconfirmed"), counts.unconfirmed);
        record.insert(QStringLiteral("notStarted"), counts.notStarted);
        record.insert(QStringLiteral("skipped"), counts.leftAlone + counts.notFitting + counts.unreached);
        // Of the skipped: attached devices that could not be asked (no answer, held, not accessible).
        record.insert(QStringLiteral("unreached"), counts.unreached);
        m_output.printJsonLine(record);
        return;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),  QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"),  QStringLiteral("BEFORE"), QStringLiteral("WRITTEN"),
                        QStringLiteral("VERDICT")};
    for (const UpdateResult& result : results) {
        rows << CliOutput::unitCells(result.item.device) +
                    QStringList{result.written() ? result.item.firmwareVersion : QStringLiteral("-"),
                                verdictCell(result)};
    }
    for (const UpdatePlan::Skipped& skip : skipped) {
        rows << CliOutput::unitCells(skip.device) +
                    QStringList{QStringLiteral("-"), QStringLiteral("skipped: %1").arg(skip.reason)};
    }
    if (!m_arguments.quiet()) {
        m_output.out() << '\n';
    }
    m_output.printLines(CliOutput::table(rows));
    m_output.out()
        << QStringLiteral("%1 of %2 updates succeeded.").arg(counts.confirmed).arg(counts.updates()) << '\n';
    if (counts.unreached > 0) {
        m_output.out() << QStringLiteral("%1 attached device(s) could not be asked and were not written; the "
                                         "table says why.")
                              .arg(counts.unreached)
                       << '\n';
    }
}

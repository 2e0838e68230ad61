#include "updatecommand.h"

#include "builtinupdatefiles.h"
#include "clidevicesession.h"
#include "cliexitcode.h"
#include "clioutput.h"
#include "deviceaccessprobe.h"
#include "devicetext.h"
#include "frametraceprinter.h"
#include "mlpdeviceinfonode.h"
#include "progressdisplay.h"
#include "updatefilecheck.h"
#include "updatehistory.h"
#include "updateinterruptguard.h"
#include "updateplanner.h"
#include "updatetext.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

QString verdictCell(const UpdateExecutor::Result& result)
{
    switch (result.verdict) {
    case UpdateExecutor::Result::Verdict::Succeeded:
        return QStringLiteral("succeeded");
    case UpdateExecutor::Result::Verdict::Unconfirmed:
        return QStringLiteral("not confirmed: %1").arg(result.reason);
    case UpdateExecutor::Result::Verdict::NoAnswer:
    case UpdateExecutor::Result::Verdict::DevicesChanged:
    case UpdateExecutor::Result::Verdict::Failed:
        break;
    }
    return QStringLiteral("failed: %1").arg(result.reason);
}

} // namespace

UpdateCommand::UpdateCommand(CliOutput& output) : m_output(output) {}

int UpdateCommand::run(const CliArguments& arguments)
{
    // Each file is read here, once; the plan and its refusals are made from what it holds.
    QHash<QString, UpdateFileVerdict> files;
    const auto readFiles = [&files](const QStringList& paths) {
        for (const QString& path : paths) {
            if (!files.contains(path)) {
                files.insert(path, UpdateFileCheck::checkFile(path));
            }
        }
    };
    readFiles(UpdatePlanner::filesFor(arguments, {}, {}));
    UpdatePlan plan = UpdatePlanner::checkNamedFile(arguments, files);
    if (plan.isRefused()) {
        return refuse(plan, arguments, MissingDevices());
    }
    if (m_output.reportUsbStartProblem()) {
        return kExitNoDevice;
    }
    FrameTracePrinter tracePrinter(m_output.err());
    CliDeviceSession session;
    if (arguments.verbose()) {
        session.setFrameTrace(&FrameTracePrinter::trace, &tracePrinter);
    }
    const QList<MLPDeviceInfoNode> devices = session.discover();
    const QHash<QString, QString> catalogue = arguments.updateFilePath().isEmpty()
                                                  ? marlune::builtInUpdateFilesByModel()
                                                  : QHash<QString, QString>();
    readFiles(UpdatePlanner::filesFor(arguments, catalogue, devices));
    plan = UpdatePlanner::plan(devices, arguments, catalogue, files);
    if (plan.isRefused()) {
        session.stop();
        tracePrinter.flush();
        return refuse(plan, arguments, session.thread().missingDevices());
    }
    printPlan(plan, arguments);
    if (arguments.dryRun()) {
        session.stop();
        tracePrinter.flush();
        return kExitSuccess;
    }

    UpdateExecutor executor(session, UpdateHistory::defaultPath());
    QList<UpdateExecutor::Result> results;
    for (const UpdatePlan::Item& item : plan.items) {
        results << execute(executor, item, arguments);
        tracePrinter.flush();
        printResult(results.last(), arguments);
    }
    session.stop();
    tracePrinter.flush();

    if (arguments.all()) {
        printSummary(results, plan, arguments);
        const auto any = [&results](UpdateExecutor::Result::Verdict verdict) {
            return std::any_of(
                results.begin(), results.end(),
                [verdict](const UpdateExecutor::Result& result) { return result.verdict == verdict; });
        };
        // A unit that took the file but does not report it is told apart only when nothing worse happened.
        if (any(UpdateExecutor::Result::Verdict::Failed) || any(UpdateExecutor::Result::Verdict::NoAnswer) ||
            any(UpdateExecutor::Result::Verdict::DevicesChanged)) {
            return kExitUpdateFailed;
        }
        return any(UpdateExecutor::Result::Verdict::Unconfirmed) ? kExitUnconfirmed : kExitSuccess;
    }
    switch (results.first().verdict) {
    case UpdateExecutor::Result::Verdict::Succeeded:
        return kExitSuccess;
    case UpdateExecutor::Result::Verdict::NoAnswer:
    case UpdateExecutor::Result::Verdict::DevicesChanged:
        return kExitNoDevice;
    case UpdateExecutor::Result::Verdict::Unconfirmed:
        return kExitUnconfirmed;
    case UpdateExecutor::Result::Verdict::Failed:
        break;
    }
    return kExitUpdateFailed;
}

int UpdateCommand::refuse(const UpdatePlan& plan, const CliArguments& arguments,
                          const MissingDevices& missing)
{
    if (arguments.json()) {
        m_output.printJsonLine(CliOutput::refusalJson(plan.refusal, plan.refusalDetails, plan.refusalCode));
    }
    if (plan.noDeviceFound) {
        return m_output.reportNoDevice(missing);
    }
    m_output.err() << plan.refusal << '\n';
    for (const QString& detail : plan.refusalDetails) {
        m_output.err() << QStringLiteral("  ") << detail << '\n';
    }
    return plan.refusalCode;
}

void UpdateCommand::printPlan(const UpdatePlan& plan, const CliArguments& arguments)
{
    if (arguments.json()) {
        if (!arguments.dryRun()) {
            return;
        }
        QJsonArray items;
        for (const UpdatePlan::Item& item : plan.items) {
            QJsonObject entry = CliOutput::deviceJson(item.device);
            entry.insert(QStringLiteral("file"), item.filePath);
            entry.insert(QStringLiteral("fileFirmwareVersion"), item.firmwareVersion);
            entry.insert(QStringLiteral("updateBytes"), item.updateBytes);
            items.append(entry);
        }
        QJsonArray skipped;
        for (const UpdatePlan::Skipped& skip : plan.skipped) {
            QJsonObject entry = CliOutput::deviceJson(skip.device);
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
    if (arguments.quiet() && !arguments.dryRun()) {
        return;
    }
    if (!arguments.all()) {
        const UpdatePlan::Item& item = plan.items.first();
        m_output.out() << QStringLiteral("Device: %1").arg(devicetext::deviceSummary(item.device)) << '\n'
                       << QStringLiteral("File:   %1 (firmware %2, %3 bytes to send)")
                              .arg(item.filePath, item.firmwareVersion)
                              .arg(item.updateBytes)
                       << '\n';
        if (arguments.dryRun()) {
            m_output.out() << QStringLiteral("Dry run: the file fits the device; nothing was sent.") << '\n';
        }
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
    if (arguments.dryRun()) {
        m_output.out() << QStringLiteral("Dry run: nothing was sent.") << '\n';
    }
}

UpdateExecutor::Result UpdateCommand::execute(UpdateExecutor& executor, const UpdatePlan::Item& item,
                                              const CliArguments& arguments)
{
    // From the selection on: the device may start taking the file at any moment after it.
    const UpdateInterruptGuard guard;
    if (arguments.json()) {
        int lastPercent = -1;
        const auto report = [&](int percent) {
            // The request reports after every segment; a line per new percentage is enough.
            if (percent == lastPercent) {
                return;
            }
            lastPercent = percent;
            QJsonObject event;
            event.insert(QStringLiteral("event"), QStringLiteral("progress"));
            // The address is a position; with --all the serial tells a script which unit this is.
            event.insert(QStringLiteral("address"), item.device.address);
            event.insert(QStringLiteral("serial"), item.device.serial);
            event.insert(QStringLiteral("percent"), percent);
            m_output.printJsonLine(event);
        };
        // From 0, as the bar and the percent lines start.
        report(0);
        return executor.run(item, report);
    }
    if (arguments.quiet()) {
        return executor.run(item, [](int) {});
    }
    if (arguments.all()) {
        m_output.out() << QStringLiteral("Updating %1 with %2")
                              .arg(devicetext::deviceSummary(item.device), item.filePath)
                       << '\n';
    }
    ProgressDisplay display(m_output.out(), m_output.terminal(), item.updateBytes);
    display.start();
    const UpdateExecutor::Result result =
        executor.run(item, [&display](int percent) { display.show(percent); });
    display.finish();
    return result;
}

void UpdateCommand::printResult(const UpdateExecutor::Result& result, const CliArguments& arguments)
{
    if (!result.historyWarning.isEmpty()) {
        m_output.err() << result.historyWarning << '\n';
    }
    const MLPDeviceInfoNode& device = result.item.device;
    if (arguments.json()) {
        QJsonObject record = CliOutput::deviceJson(device);
        record.insert(QStringLiteral("event"), QStringLiteral("result"));
        record.insert(QStringLiteral("file"), result.item.filePath);
        record.insert(QStringLiteral("versionBefore"), MLPDeviceInfoNode::versionText(device.fwVersion));
        record.insert(QStringLiteral("fileFirmwareVersion"), result.item.firmwareVersion);
        record.insert(QStringLiteral("succeeded"), result.succeeded());
        record.insert(QStringLiteral("reason"), result.reason);
        record.insert(QStringLiteral("nextStep"), result.nextStep);
        record.insert(QStringLiteral("versionAfter"), result.versionAfter);
        if (result.outcome) {
            record.insert(QStringLiteral("outcome"), CliOutput::outcomeJson(*result.outcome));
        }
        m_output.printJsonLine(record);
        return;
    }
    if (arguments.all()) {
        if (!arguments.quiet()) {
            m_output.out() << (result.succeeded()
                                   ? QStringLiteral("%1: update complete.").arg(device.address)
                                   : QStringLiteral("%1: %2.").arg(device.address, verdictCell(result)))
                           << '\n';
        }
        return;
    }
    if (result.succeeded()) {
        m_output.out() << QStringLiteral("Update complete.") << '\n';
        if (!result.versionAfter.isEmpty() && !arguments.quiet()) {
            m_output.out() << QStringLiteral("The device now reports firmware %1.").arg(result.versionAfter)
                           << '\n';
        }
        return;
    }
    QString reason = result.reason;
    reason[0] = reason[0].toUpper();
    if (result.verdict != UpdateExecutor::Result::Verdict::Failed) {
        m_output.err() << reason << QStringLiteral(". ") << result.nextStep << '\n';
        return;
    }
    m_output.err() << QStringLiteral("The firmware update could not be completed: %1. %2")
                          .arg(result.reason, result.nextStep)
                   << '\n';
}

void UpdateCommand::printSummary(const QList<UpdateExecutor::Result>& results, const UpdatePlan& plan,
                                 const CliArguments& arguments)
{
    const int failedCount = static_cast<int>(
        std::count_if(results.begin(), results.end(),
                      [](const UpdateExecutor::Result& result) { return !result.succeeded(); }));
    if (arguments.json()) {
        QJsonObject record;
        record.insert(QStringLiteral("event"), QStringLiteral("summary"));
        record.insert(QStringLiteral("updated"), results.size() - failedCount);
        record.insert(QStringLiteral("failed"), failedCount);
        // Of the failed: units that took the whole file but do not report its firmware.
        record.insert(QStringLiteral("unconfirmed"),
                      static_cast<int>(std::count_if(
                          results.begin(), results.end(), [](const UpdateExecutor::Result& result) {
                              return result.verdict == UpdateExecutor::Result::Verdict::Unconfirmed;
                          })));
        record.insert(QStringLiteral("skipped"), plan.skipped.size());
        m_output.printJsonLine(record);
        return;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),  QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"),  QStringLiteral("BEFORE"), QStringLiteral("WRITTEN"),
                        QStringLiteral("VERDICT")};
    for (const UpdateExecutor::Result& result : results) {
        rows << CliOutput::unitCells(result.item.device) +
                    QStringList{result.written() ? result.item.firmwareVersion : QStringLiteral("-"),
                                verdictCell(result)};
    }
    for (const UpdatePlan::Skipped& skip : plan.skipped) {
        rows << CliOutput::unitCells(skip.device) +
                    QStringList{QStringLiteral("-"), QStringLiteral("skipped: %1").arg(skip.reason)};
    }
    if (!arguments.quiet()) {
        m_output.out() << '\n';
    }
    m_output.printLines(CliOutput::table(rows));
    m_output.out()
        << QStringLiteral("%1 of %2 updates succeeded.").arg(results.size() - failedCount).arg(results.size())
        << '\n';
}

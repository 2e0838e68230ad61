#include "firmwareupdatecli.h"

#include "builtinupdatefiles.h"
#include "clidevicesession.h"
#include "cliexitcode.h"
#include "deviceaccessprobe.h"
#include "devicetext.h"
#include "frametraceprinter.h"
#include "mlpdeviceinfonode.h"
#include "mlpusbidentities.h"
#include "progressdisplay.h"
#include "updatefilecheck.h"
#include "updatefilereport.h"
#include "updatehistory.h"
#include "updateinterruptguard.h"
#include "updateplanner.h"
#include "updatetext.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPUsbIdentities;

namespace {

constexpr int kHexadecimal = 16;

QString usbId(uint16_t vendorId, uint16_t productId)
{
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, kHexadecimal, QLatin1Char('0'))
        .arg(productId, 4, kHexadecimal, QLatin1Char('0'));
}

QJsonObject deviceJson(const MLPDeviceInfoNode& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("address"), device.address);
    object.insert(QStringLiteral("link"), QLatin1String(linkKindKey(device.linkKind)));
    object.insert(QStringLiteral("model"), device.model);
    object.insert(QStringLiteral("serial"), device.serial);
    object.insert(QStringLiteral("hardwareVersion"), MLPDeviceInfoNode::versionText(device.hwVersion));
    object.insert(QStringLiteral("firmwareVersion"), MLPDeviceInfoNode::versionText(device.fwVersion));
    object.insert(QStringLiteral("maxFrameLength"), device.maxFrameLength);
    return object;
}

QString phaseKey(MLPUpdateOutcome::Phase phase)
{
    switch (phase) {
    case MLPUpdateOutcome::Phase::FileCheck:
        return QStringLiteral("file-check");
    case MLPUpdateOutcome::Phase::NoConnection:
        return QStringLiteral("no-connection");
    case MLPUpdateOutcome::Phase::IdentityCheck:
        return QStringLiteral("identity-check");
    case MLPUpdateOutcome::Phase::Header:
        return QStringLiteral("header");
    case MLPUpdateOutcome::Phase::Block:
        return QStringLiteral("block");
    case MLPUpdateOutcome::Phase::Done:
        break;
    }
    return QStringLiteral("done");
}

// The request's account, field by field; null where it has nothing to tell.
QJsonObject outcomeJson(const MLPUpdateOutcome& outcome)
{
    QJsonObject object;
    object.insert(QStringLiteral("phase"), phaseKey(outcome.phase));
    object.insert(QStringLiteral("block"), outcome.block >= 0 ? QJsonValue(outcome.block) : QJsonValue());
    object.insert(QStringLiteral("segment"),
                  outcome.segment > 0 ? QJsonValue(outcome.segment) : QJsonValue());
    object.insert(QStringLiteral("status"), devicetext::statusKey(outcome.status));
    object.insert(QStringLiteral("linkWriteFailed"), outcome.linkWriteFailed);
    object.insert(QStringLiteral("linkError"),
                  outcome.linkErrorName.isEmpty() ? QJsonValue() : QJsonValue(outcome.linkErrorName));
    object.insert(QStringLiteral("deviceStatus"),
                  outcome.deviceStatus ? QJsonValue(int(*outcome.deviceStatus)) : QJsonValue());
    object.insert(QStringLiteral("bytesConfirmed"), qint64(outcome.confirmedBytes));
    object.insert(QStringLiteral("bytesTotal"), qint64(outcome.totalBytes));
    object.insert(QStringLiteral("lastAcknowledgementMissing"), outcome.lastAcknowledgementMissing);
    return object;
}

// Why nothing was done, as the last JSON line.
QJsonObject refusalJson(const QString& reason, const QStringList& details, int exitCode)
{
    QJsonObject record;
    record.insert(QStringLiteral("event"), QStringLiteral("refused"));
    record.insert(QStringLiteral("reason"), reason);
    record.insert(QStringLiteral("details"), QJsonArray::fromStringList(details));
    record.insert(QStringLiteral("exitCode"), exitCode);
    return record;
}

QJsonObject inaccessibleJson(const InaccessibleUsbDevice& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("usbId"), usbId(device.vendorId, device.productId));
    object.insert(QStringLiteral("bus"), device.busNumber);
    object.insert(QStringLiteral("device"), device.deviceNumber);
    object.insert(QStringLiteral("accessDenied"), device.accessDenied);
    object.insert(QStringLiteral("noDriver"), device.noDriver);
    object.insert(QStringLiteral("problem"), device.problem);
    return object;
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// Columns padded to their widest cell; the last column is not padded.
QStringList table(const QList<QStringList>& rows)
{
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (int column = 0; column < row.size(); ++column) {
            if (column >= widths.size()) {
                widths.append(0);
            }
            widths[column] = std::max(widths[column], static_cast<int>(row[column].size()));
        }
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column) {
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        }
        lines << line;
    }
    return lines;
}

} // namespace

FirmwareUpdateCli::FirmwareUpdateCli(QTextStream& out, QTextStream& err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal)
{}

int FirmwareUpdateCli::run(const QStringList& arguments)
{
    CliArguments parsed;
    switch (parsed.parse(arguments)) {
    case CliArguments::Outcome::ShowHelp:
        m_out << parsed.helpText();
        return kExitSuccess;
    case CliArguments::Outcome::ShowVersion:
        m_out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return kExitSuccess;
    case CliArguments::Outcome::UsageError:
        if (parsed.json()) {
            printJsonLine(refusalJson(parsed.errorText(), {}, kExitUsageError));
        }
        m_err << parsed.errorText() << '\n'
              << QStringLiteral("Run with --help for the commands and options.") << '\n';
        return kExitUsageError;
    case CliArguments::Outcome::Run:
        break;
    }

    switch (parsed.command()) {
    case CliArguments::Command::List:
        return list(parsed.json());
    case CliArguments::Command::Inspect:
        return inspect(parsed.inspectPath(), parsed.json());
    case CliArguments::Command::Builtin:
        return builtin(parsed.json());
    case CliArguments::Command::Update:
        return update(parsed);
    case CliArguments::Command::History:
        return history(parsed.json());
    case CliArguments::Command::None:
        break;
    }
    return kExitUsageError;
}

void FirmwareUpdateCli::printJson(const QJsonObject& object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void FirmwareUpdateCli::printJsonLine(const QJsonObject& object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}

void FirmwareUpdateCli::printLines(const QStringList& lines)
{
    for (const QString& line : lines) {
        m_out << line << '\n';
    }
}

bool FirmwareUpdateCli::reportUsbStartProblem()
{
    const QString problem = DeviceAccessProbe::usbStartProblem();
    if (problem.isEmpty()) {
        return false;
    }
    m_err << QStringLiteral("USB could not be started: %1.").arg(problem) << '\n'
          << QStringLiteral("No device can be reached until it does; with LIBUSB_DEBUG=4 in the environment "
                            "the USB library tells why.")
          << '\n';
    return true;
}

void FirmwareUpdateCli::printInaccessible(const QList<InaccessibleUsbDevice>& inaccessible)
{
    bool accessDenied = false;
    bool noDriver = false;
    for (const InaccessibleUsbDevice& device : inaccessible) {
        const bool bridge = MLPUsbIdentities::isFtdiBridge(device.vendorId, device.productId);
        m_err << QStringLiteral("USB device %1 (%2, bus %3 device %4) cannot be used: %5.")
                     .arg(usbId(device.vendorId, device.productId),
                          bridge ? QStringLiteral("an FTDI bridge") : QStringLiteral("a Marlune device"))
                     .arg(device.busNumber)
                     .arg(device.deviceNumber)
                     .arg(device.problem)
              << '\n';
        accessDenied = accessDenied || device.accessDenied;
        noDriver = noDriver || device.noDriver;
    }
    if (noDriver) {
        m_err << QStringLiteral("Windows has no WinUSB driver for it. Install %1 from the program's folder "
                                "(right-click, Install) and plug the device in again.")
                     .arg(DeviceAccessProbe::winUsbDriverFile())
              << '\n';
    }
    if (accessDenied) {
        m_err << QStringLiteral(
                     "This user has no access to it. Install the udev rules %1 into %2 (the package does "
                     "this), run \"udevadm control --reload && udevadm trigger\" as root and plug the "
                     "device in again; FILES in the manual page marlune-fwupdate-cli(1) tells more.")
                     .arg(DeviceAccessProbe::udevRulesFile(), DeviceAccessProbe::udevRulesDirectory())
              << '\n';
    }
}

int FirmwareUpdateCli::reportNoDevice(const QList<InaccessibleUsbDevice>& inaccessible)
{
    m_err << QStringLiteral("No Marlune device found.") << '\n';
    printInaccessible(inaccessible);
    if (DeviceAccessProbe::ftdiDriverMissing()) {
        m_err << QStringLiteral("The FTDI driver is not installed, so no device behind an FTDI bridge can be "
                                "found; install it and try again.")
              << '\n';
    }
    return kExitNoDevice;
}

int FirmwareUpdateCli::list(bool json)
{
    if (reportUsbStartProblem()) {
        return kExitNoDevice;
    }
    CliDeviceSession session;
    const QList<MLPDeviceInfoNode> devices = session.discover();
    session.stop();
    // Asked only now: while the discovery ran, the worker thread had devices open.
    const QList<InaccessibleUsbDevice> inaccessible = DeviceAccessProbe::findInaccessibleDevices();

    if (json) {
        QJsonArray deviceArray;
        for (const MLPDeviceInfoNode& device : devices) {
            deviceArray.append(deviceJson(device));
        }
        QJsonArray inaccessibleArray;
        for (const InaccessibleUsbDevice& device : inaccessible) {
            inaccessibleArray.append(inaccessibleJson(device));
        }
        QJsonObject object;
        object.insert(QStringLiteral("devices"), deviceArray);
        object.insert(QStringLiteral("inaccessibleDevices"), inaccessibleArray);
        printJson(object);
        return devices.isEmpty() ? kExitNoDevice : kExitSuccess;
    }

    if (devices.isEmpty()) {
        return reportNoDevice(inaccessible);
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"),  QStringLiteral("LINK"),     QStringLiteral("SERIAL"),
                        QStringLiteral("MODEL"),    QStringLiteral("HARDWARE"), QStringLiteral("FIRMWARE"),
                        QStringLiteral("MAX FRAME")};
    for (const MLPDeviceInfoNode& device : devices) {
        rows << QStringList{device.address,
                            UpdateText::linkKind(device.linkKind),
                            orDash(device.serial),
                            device.model,
                            MLPDeviceInfoNode::versionText(device.hwVersion),
                            MLPDeviceInfoNode::versionText(device.fwVersion),
                            QString::number(device.maxFrameLength)};
    }
    printLines(table(rows));
    printInaccessible(inaccessible);
    return kExitSuccess;
}

int FirmwareUpdateCli::inspect(const QString& path, bool json)
{
    const UpdateFileReport report = UpdateFileReport::inspect(path);
    if (json) {
        printJson(report.toJson());
    } else {
        printLines(report.toText());
    }
    return report.isUsable() ? kExitSuccess : kExitFileRejected;
}

int FirmwareUpdateCli::builtin(bool json)
{
    QList<UpdateFileReport> reports;
    for (const QString& path : marlune::builtInUpdateFiles()) {
        reports << UpdateFileReport::inspect(path);
    }
    if (json) {
        QJsonArray files;
        for (const UpdateFileReport& report : reports) {
            files.append(report.toJson());
        }
        QJsonObject object;
        object.insert(QStringLiteral("files"), files);
        printJson(object);
        return kExitSuccess;
    }
    if (reports.isEmpty()) {
        // A release build may carry none; files from the maker are then loaded from disk.
        m_out << QStringLiteral("No built-in update files are installed. Write an update file from disk "
                                "with \"update FILE\"; \"inspect FILE\" shows what it holds.")
              << '\n';
    }
    for (const UpdateFileReport& report : reports) {
        printLines(report.toText());
    }
    return kExitSuccess;
}

int FirmwareUpdateCli::update(const CliArguments& arguments)
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
        return refuse(plan, arguments);
    }
    if (reportUsbStartProblem()) {
        return kExitNoDevice;
    }
    FrameTracePrinter tracePrinter(m_err);
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
        // The access probe opens devices itself: only once the worker thread holds none.
        session.stop();
        tracePrinter.flush();
        return refuse(plan, arguments);
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

    const bool allSucceeded =
        std::all_of(results.begin(), results.end(),
                    [](const UpdateExecutor::Result& result) { return result.succeeded(); });
    if (arguments.all()) {
        printSummary(results, plan, arguments);
        return allSucceeded ? kExitSuccess : kExitUpdateFailed;
    }
    switch (results.first().verdict) {
    case UpdateExecutor::Result::Verdict::Succeeded:
        return kExitSuccess;
    case UpdateExecutor::Result::Verdict::NoAnswer:
    case UpdateExecutor::Result::Verdict::DevicesChanged:
        return kExitNoDevice;
    case UpdateExecutor::Result::Verdict::Failed:
        break;
    }
    return kExitUpdateFailed;
}

int FirmwareUpdateCli::refuse(const UpdatePlan& plan, const CliArguments& arguments)
{
    if (arguments.json()) {
        printJsonLine(refusalJson(plan.refusal, plan.refusalDetails, plan.refusalCode));
    }
    if (plan.noDeviceFound) {
        return reportNoDevice(DeviceAccessProbe::findInaccessibleDevices());
    }
    m_err << plan.refusal << '\n';
    for (const QString& detail : plan.refusalDetails) {
        m_err << QStringLiteral("  ") << detail << '\n';
    }
    return plan.refusalCode;
}

void FirmwareUpdateCli::printPlan(const UpdatePlan& plan, const CliArguments& arguments)
{
    if (arguments.json()) {
        if (!arguments.dryRun()) {
            return;
        }
        QJsonArray items;
        for (const UpdatePlan::Item& item : plan.items) {
            QJsonObject entry = deviceJson(item.device);
            entry.insert(QStringLiteral("file"), item.filePath);
            entry.insert(QStringLiteral("fileFirmwareVersion"), item.firmwareVersion);
            entry.insert(QStringLiteral("updateBytes"), item.updateBytes);
            items.append(entry);
        }
        QJsonArray skipped;
        for (const UpdatePlan::Skipped& skip : plan.skipped) {
            QJsonObject entry = deviceJson(skip.device);
            entry.insert(QStringLiteral("reason"), skip.reason);
            skipped.append(entry);
        }
        QJsonObject record;
        record.insert(QStringLiteral("event"), QStringLiteral("plan"));
        record.insert(QStringLiteral("updates"), items);
        record.insert(QStringLiteral("skipped"), skipped);
        printJsonLine(record);
        return;
    }
    if (arguments.quiet() && !arguments.dryRun()) {
        return;
    }
    if (!arguments.all()) {
        const UpdatePlan::Item& item = plan.items.first();
        m_out << QStringLiteral("Device: %1").arg(devicetext::deviceSummary(item.device)) << '\n'
              << QStringLiteral("File:   %1 (firmware %2, %3 bytes to send)")
                     .arg(item.filePath, item.firmwareVersion)
                     .arg(item.updateBytes)
              << '\n';
        if (arguments.dryRun()) {
            m_out << QStringLiteral("Dry run: the file fits the device; nothing was sent.") << '\n';
        }
        return;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),  QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"),  QStringLiteral("BEFORE"), QStringLiteral("PLAN")};
    for (const UpdatePlan::Item& item : plan.items) {
        rows << QStringList{
            item.device.address,
            item.device.model,
            UpdateText::linkKind(item.device.linkKind),
            orDash(item.device.serial),
            MLPDeviceInfoNode::versionText(item.device.fwVersion),
            QStringLiteral("write %1 (firmware %2)").arg(item.filePath, item.firmwareVersion)};
    }
    for (const UpdatePlan::Skipped& skip : plan.skipped) {
        rows << QStringList{skip.device.address,
                            skip.device.model,
                            UpdateText::linkKind(skip.device.linkKind),
                            orDash(skip.device.serial),
                            MLPDeviceInfoNode::versionText(skip.device.fwVersion),
                            QStringLiteral("skip: %1").arg(skip.reason)};
    }
    printLines(table(rows));
    if (arguments.dryRun()) {
        m_out << QStringLiteral("Dry run: nothing was sent.") << '\n';
    }
}

UpdateExecutor::Result FirmwareUpdateCli::execute(UpdateExecutor& executor, const UpdatePlan::Item& item,
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
            printJsonLine(event);
        };
        // From 0, as the bar and the percent lines start.
        report(0);
        return executor.run(item, report);
    }
    if (arguments.quiet()) {
        return executor.run(item, [](int) {});
    }
    if (arguments.all()) {
        m_out << QStringLiteral("Updating %1 with %2")
                     .arg(devicetext::deviceSummary(item.device), item.filePath)
              << '\n';
    }
    ProgressDisplay display(m_out, m_terminal, item.updateBytes);
    display.start();
    const UpdateExecutor::Result result =
        executor.run(item, [&display](int percent) { display.show(percent); });
    display.finish();
    return result;
}

void FirmwareUpdateCli::printResult(const UpdateExecutor::Result& result, const CliArguments& arguments)
{
    if (!result.historyWarning.isEmpty()) {
        m_err << result.historyWarning << '\n';
    }
    const MLPDeviceInfoNode& device = result.item.device;
    if (arguments.json()) {
        QJsonObject record = deviceJson(device);
        record.insert(QStringLiteral("event"), QStringLiteral("result"));
        record.insert(QStringLiteral("file"), result.item.filePath);
        record.insert(QStringLiteral("versionBefore"), MLPDeviceInfoNode::versionText(device.fwVersion));
        record.insert(QStringLiteral("fileFirmwareVersion"), result.item.firmwareVersion);
        record.insert(QStringLiteral("succeeded"), result.succeeded());
        record.insert(QStringLiteral("reason"), result.reason);
        record.insert(QStringLiteral("nextStep"), result.nextStep);
        record.insert(QStringLiteral("versionAfter"), result.versionAfter);
        if (result.outcome) {
            record.insert(QStringLiteral("outcome"), outcomeJson(*result.outcome));
        }
        printJsonLine(record);
        return;
    }
    if (arguments.all()) {
        if (!arguments.quiet()) {
            m_out << (result.succeeded()
                          ? QStringLiteral("%1: update complete.").arg(device.address)
                          : QStringLiteral("%1: failed: %2.").arg(device.address, result.reason))
                  << '\n';
        }
        return;
    }
    if (result.succeeded()) {
        m_out << QStringLiteral("Update complete.") << '\n';
        if (!result.versionAfter.isEmpty() && !arguments.quiet()) {
            m_out << QStringLiteral("The device now reports firmware %1.").arg(result.versionAfter) << '\n';
        }
        return;
    }
    QString reason = result.reason;
    reason[0] = reason[0].toUpper();
    if (result.verdict != UpdateExecutor::Result::Verdict::Failed) {
        m_err << reason << QStringLiteral(". ") << result.nextStep << '\n';
        return;
    }
    m_err << QStringLiteral("The firmware update could not be completed: %1. %2")
                 .arg(result.reason, result.nextStep)
          << '\n';
}

void FirmwareUpdateCli::printSummary(const QList<UpdateExecutor::Result>& results, const UpdatePlan& plan,
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
        record.insert(QStringLiteral("skipped"), plan.skipped.size());
        printJsonLine(record);
        return;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),  QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"),  QStringLiteral("BEFORE"), QStringLiteral("WRITTEN"),
                        QStringLiteral("VERDICT")};
    for (const UpdateExecutor::Result& result : results) {
        const MLPDeviceInfoNode& device = result.item.device;
        rows << QStringList{device.address,
                            device.model,
                            UpdateText::linkKind(device.linkKind),
                            orDash(device.serial),
                            MLPDeviceInfoNode::versionText(device.fwVersion),
                            result.succeeded() ? result.item.firmwareVersion : QStringLiteral("-"),
                            result.succeeded() ? QStringLiteral("succeeded")
                                               : QStringLiteral("failed: %1").arg(result.reason)};
    }
    for (const UpdatePlan::Skipped& skip : plan.skipped) {
        rows << QStringList{skip.device.address,
                            skip.device.model,
                            UpdateText::linkKind(skip.device.linkKind),
                            orDash(skip.device.serial),
                            MLPDeviceInfoNode::versionText(skip.device.fwVersion),
                            QStringLiteral("-"),
                            QStringLiteral("skipped: %1").arg(skip.reason)};
    }
    if (!arguments.quiet()) {
        m_out << '\n';
    }
    printLines(table(rows));
    m_out
        << QStringLiteral("%1 of %2 updates succeeded.").arg(results.size() - failedCount).arg(results.size())
        << '\n';
}

int FirmwareUpdateCli::history(bool json)
{
    const UpdateHistory history;
    QStringList warnings;
    const QList<UpdateHistoryEntry> entries = history.read(warnings);
    for (const QString& warning : warnings) {
        m_err << QStringLiteral("Warning: %1.").arg(warning) << '\n';
    }
    if (json) {
        QJsonArray array;
        for (const UpdateHistoryEntry& entry : entries) {
            array.append(UpdateHistory::toJson(entry));
        }
        QJsonObject object;
        object.insert(QStringLiteral("path"), history.path());
        object.insert(QStringLiteral("entries"), array);
        printJson(object);
        return kExitSuccess;
    }
    if (entries.isEmpty()) {
        m_out << QStringLiteral("No updates recorded in %1.").arg(history.path()) << '\n';
        return kExitSuccess;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("TIME"),   QStringLiteral("MODEL"),   QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"), QStringLiteral("ADDRESS"), QStringLiteral("BEFORE"),
                        QStringLiteral("FILE"),   QStringLiteral("WRITTEN"), QStringLiteral("AFTER"),
                        QStringLiteral("VERDICT")};
    for (const UpdateHistoryEntry& entry : entries) {
        rows << QStringList{entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            orDash(entry.model),
                            UpdateText::linkKind(marlune::MLP::linkKindFromKey(entry.link.toStdString())),
                            orDash(entry.serial),
                            orDash(entry.address),
                            orDash(entry.versionBefore),
                            orDash(entry.file),
                            orDash(entry.versionWritten),
                            orDash(entry.versionAfter),
                            entry.succeeded ? QStringLiteral("succeeded")
                                            : QStringLiteral("failed: %1").arg(entry.reason)};
    }
    printLines(table(rows));
    return kExitSuccess;
}

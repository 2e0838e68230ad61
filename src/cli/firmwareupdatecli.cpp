#include "firmwareupdatecli.h"

#include "builtinupdatefiles.h"
#include "clidevicesession.h"
#include "cliexitcode.h"
#include "deviceaccessprobe.h"
#include "mlpdeviceinfonode.h"
#include "updatecommand.h"
#include "updatefilereport.h"
#include "updatehistory.h"
#include "updatetext.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

FirmwareUpdateCli::FirmwareUpdateCli(QTextStream& out, QTextStream& err, bool terminal)
    : m_output(out, err, terminal)
{}

int FirmwareUpdateCli::run(const QStringList& arguments)
{
    CliArguments parsed;
    switch (parsed.parse(arguments)) {
    case CliArguments::Outcome::ShowHelp:
        m_output.out() << parsed.helpText();
        return kExitSuccess;
    case CliArguments::Outcome::ShowVersion:
        m_output.out() << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
                       << '\n';
        return kExitSuccess;
    case CliArguments::Outcome::UsageError:
        if (parsed.json()) {
            m_output.printJsonLine(CliOutput::refusalJson(parsed.errorText(), {}, kExitUsageError));
        }
        m_output.err() << parsed.errorText() << '\n'
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
        return UpdateCommand(m_output).run(parsed);
    case CliArguments::Command::History:
        return history(parsed.json());
    case CliArguments::Command::None:
        break;
    }
    return kExitUsageError;
}

int FirmwareUpdateCli::list(bool json)
{
    if (m_output.reportUsbStartProblem()) {
        return kExitNoDevice;
    }
    CliDeviceSession session;
    const QList<MLPDeviceInfoNode> devices = session.discover();
    session.stop();
    const MissingDevices missing = session.thread().missingDevices();

    if (json) {
        QJsonArray deviceArray;
        for (const MLPDeviceInfoNode& device : devices) {
            deviceArray.append(CliOutput::deviceJson(device));
        }
        QJsonObject object;
        object.insert(QStringLiteral("devices"), deviceArray);
        CliOutput::insertMissingJson(missing, object);
        m_output.printJson(object);
        return devices.isEmpty() ? kExitNoDevice : kExitSuccess;
    }

    if (devices.isEmpty()) {
        return m_output.reportNoDevice(missing);
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"),  QStringLiteral("LINK"),     QStringLiteral("SERIAL"),
                        QStringLiteral("MODEL"),    QStringLiteral("HARDWARE"), QStringLiteral("FIRMWARE"),
                        QStringLiteral("MAX FRAME")};
    for (const MLPDeviceInfoNode& device : devices) {
        rows << QStringList{device.address,
                            UpdateText::linkKind(device.linkKind),
                            CliOutput::orDash(device.serial),
                            device.model,
                            MLPDeviceInfoNode::versionText(device.hwVersion),
                            MLPDeviceInfoNode::versionText(device.fwVersion),
                            QString::number(device.maxFrameLength)};
    }
    m_output.printLines(CliOutput::table(rows));
    m_output.printMissing(missing);
    return kExitSuccess;
}

int FirmwareUpdateCli::inspect(const QString& path, bool json)
{
    const UpdateFileReport report = UpdateFileReport::inspect(path);
    if (json) {
        m_output.printJson(report.toJson());
    } else {
        m_output.printLines(report.toText());
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
        m_output.printJson(object);
        return kExitSuccess;
    }
    if (reports.isEmpty()) {
        // A release build may carry none; files from the maker are then loaded from disk.
        m_output.out() << QStringLiteral(
                              "No built-in update files are installed. Write an update file from disk "
                              "with \"update FILE\"; \"inspect FILE\" shows what it holds.")
                       << '\n';
    }
    for (const UpdateFileReport& report : reports) {
        m_output.printLines(report.toText());
    }
    return kExitSuccess;
}

int FirmwareUpdateCli::history(bool json)
{
    const UpdateHistory history;
    QStringList warnings;
    const QList<UpdateHistoryEntry> entries = history.read(warnings);
    for (const QString& warning : warnings) {
        m_output.err() << QStringLiteral("Warning: %1.").arg(warning) << '\n';
    }
    if (json) {
        QJsonArray array;
        for (const UpdateHistoryEntry& entry : entries) {
            array.append(UpdateHistory::toJson(entry));
        }
        QJsonObject object;
        object.insert(QStringLiteral("path"), history.path());
        object.insert(QStringLiteral("entries"), array);
        m_output.printJson(object);
        return kExitSuccess;
    }
    if (entries.isEmpty()) {
        m_output.out() << QStringLiteral("No updates recorded in %1.").arg(history.path()) << '\n';
        return kExitSuccess;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("TIME"),   QStringLiteral("MODEL"),   QStringLiteral("LINK"),
                        QStringLiteral("SERIAL"), QStringLiteral("ADDRESS"), QStringLiteral("BEFORE"),
                        QStringLiteral("FILE"),   QStringLiteral("WRITTEN"), QStringLiteral("AFTER"),
                        QStringLiteral("VERDICT")};
    for (const UpdateHistoryEntry& entry : entries) {
        rows << QStringList{entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            CliOutput::orDash(entry.model),
                            UpdateText::linkKind(marlune::MLP::linkKindFromKey(entry.link.toStdString())),
                            CliOutput::orDash(entry.serial),
                            CliOutput::orDash(entry.address),
                            CliOutput::orDash(entry.versionBefore),
                            CliOutput::orDash(entry.file),
                            CliOutput::orDash(entry.versionWritten),
                            CliOutput::orDash(entry.versionAfter),
                            entry.succeeded ? QStringLiteral("succeeded")
                                            : QStringLiteral("failed: %1").arg(entry.reason)};
    }
    m_output.printLines(CliOutput::table(rows));
    return kExitSuccess;
}

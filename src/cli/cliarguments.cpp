#include "cliarguments.h"

#include "cliexitcode.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QString kListCommand = QStringLiteral("list");
const QString kInspectCommand = QStringLiteral("inspect");
const QString kBuiltinCommand = QStringLiteral("builtin");
const QString kUpdateCommand = QStringLiteral("update");

QString commandsText()
{
    return QStringLiteral(
        "Finds Marlune devices on USB and writes firmware update files to them.\n"
        "\n"
        "Commands:\n"
        "  list                  Devices found: address, link, model, hardware and firmware\n"
        "                        version, maximum frame length.\n"
        "  inspect FILE          Header of an update file and whether every block is there.\n"
        "  builtin               The built-in update files with their headers.\n"
        "  update                Write an update file to a device: the built-in file for the\n"
        "                        device's model unless --file names another. The file must\n"
        "                        name the device's model exactly and list its hardware\n"
        "                        version. --device is needed when several devices are found.");
}

QString exitCodesText()
{
    return QStringLiteral("Exit codes:\n"
                          "  %1  success\n"
                          "  %2  the update failed: the device did not take the whole file\n"
                          "  %3  usage error\n"
                          "  %4  no device: none found, the chosen one is absent or did not answer\n"
                          "  %5  update file unreadable, broken, or not for this device\n")
        .arg(kExitSuccess)
        .arg(kExitUpdateFailed)
        .arg(kExitUsageError)
        .arg(kExitNoDevice)
        .arg(kExitFileRejected);
}

CliArguments::Command commandNamed(const QString& name)
{
    if (name == kListCommand) {
        return CliArguments::Command::List;
    }
    if (name == kInspectCommand) {
        return CliArguments::Command::Inspect;
    }
    if (name == kBuiltinCommand) {
        return CliArguments::Command::Builtin;
    }
    if (name == kUpdateCommand) {
        return CliArguments::Command::Update;
    }
    return CliArguments::Command::None;
}

} // namespace

CliArguments::Outcome CliArguments::usageError(const QString& text)
{
    m_errorText = text;
    return Outcome::UsageError;
}

CliArguments::Outcome CliArguments::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(commandsText());
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Machine-readable output (list, inspect, builtin)."));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Device to update, as list shows it (usb:m/0)."),
                                          QStringLiteral("ADDRESS"));
    const QCommandLineOption fileOption(QStringLiteral("file"),
                                        QStringLiteral("Update file to write instead of the built-in one."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral("Check device and file, send nothing (update)."));
    parser.addOptions({jsonOption, deviceOption, fileOption, dryRunOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, inspect FILE, builtin or update."),
                                 QStringLiteral("command [FILE]"));
    m_helpText = parser.helpText() + QLatin1Char('\n') + exitCodesText();

    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    // addHelpOption also adds --help-all, which parse() leaves to the caller.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        return Outcome::ShowHelp;
    }
    if (parser.isSet(versionOption)) {
        return Outcome::ShowVersion;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return usageError(QStringLiteral("No command given."));
    }
    m_command = commandNamed(positional.first());
    if (m_command == Command::None) {
        return usageError(QStringLiteral("Unknown command \"%1\".").arg(positional.first()));
    }

    const int expectedPositional = m_command == Command::Inspect ? 2 : 1;
    if (positional.size() < expectedPositional) {
        return usageError(QStringLiteral("inspect needs the path of an update file."));
    }
    if (positional.size() > expectedPositional) {
        return usageError(
            QStringLiteral("Unexpected argument \"%1\".").arg(positional.at(expectedPositional)));
    }
    if (m_command == Command::Inspect) {
        m_inspectPath = positional.at(1);
    }

    m_json = parser.isSet(jsonOption);
    if (m_json && m_command == Command::Update) {
        return usageError(QStringLiteral("--json is not available for update."));
    }
    if (m_command != Command::Update) {
        for (const QCommandLineOption& option : {deviceOption, fileOption, dryRunOption}) {
            if (parser.isSet(option)) {
                return usageError(QStringLiteral("--%1 belongs to update.").arg(option.names().first()));
            }
        }
    }
    m_deviceAddress = parser.value(deviceOption);
    m_updateFilePath = parser.value(fileOption);
    m_dryRun = parser.isSet(dryRunOption);
    if (parser.isSet(fileOption) && m_updateFilePath.isEmpty()) {
        return usageError(QStringLiteral("--file needs a path."));
    }
    if (parser.isSet(deviceOption) && m_deviceAddress.isEmpty()) {
        return usageError(QStringLiteral("--device needs an address."));
    }
    return Outcome::Run;
}

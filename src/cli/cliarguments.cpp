#include "cliarguments.h"

#include "cliexitcode.h"
#include "mlpphyaddress.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

namespace {

const QString kListCommand = QStringLiteral("list");
const QString kInspectCommand = QStringLiteral("inspect");
const QString kBuiltinCommand = QStringLiteral("builtin");
const QString kUpdateCommand = QStringLiteral("update");
const QString kHistoryCommand = QStringLiteral("history");

QString commandsText()
{
    return QStringLiteral(
        "Finds Marlune devices on USB and writes firmware update files to them.\n"
        "\n"
        "Commands:\n"
        "  list                  Devices found: address, link, serial number, model, hardware\n"
        "                        and firmware version, maximum frame length.\n"
        "  inspect FILE          Header of an update file and whether every block is there.\n"
        "  builtin               The built-in update files with their headers.\n"
        "  update [FILE]         Write an update file to a device: the built-in file for the\n"
        "                        device's model unless FILE (or --file) names another. The file\n"
        "                        must name the device's model exactly and list its hardware\n"
        "                        version. --device (a serial number or an address) is needed\n"
        "                        when several devices are found.\n"
        "  update --all FILE|--builtin\n"
        "                        Write to every listed device the file fits (with --builtin,\n"
        "                        each device its own built-in file), side by side, each unit\n"
        "                        on a link of its own (--jobs limits how many at a time), going\n"
        "                        on after a failed device; ends with a summary table. With\n"
        "                        --watch, then also every unit plugged in, until Ctrl+C.\n"
        "  history               Every update run on this computer, from the window and from\n"
        "                        this tool, oldest first.");
}

QString exitCodesText()
{
    return QStringLiteral("Exit codes:\n"
                          "  %1  success (with --all: every update succeeded)\n"
                          "  %2  the update failed: the device did not take the whole file\n"
                          "     (with --all: at least one device failed, or was not started\n"
                          "     because the run was stopped)\n"
                          "  %3  usage error, including a malformed --device address\n"
                          "  %4  no device: none found, the chosen one is absent or did not answer,\n"
                          "     or USB could not be started (with --all: an attached device did not\n"
                          "     answer, was held by another program or could not be opened, and\n"
                          "     nothing worse happened)\n"
                          "  %5  update file unreadable, broken, or not for this device (with --all:\n"
                          "     for none of them; also when no built-in file fits)\n"
                          "  %6  the device took the whole file but afterwards reports another\n"
                          "     firmware or does not answer (with --all: no worse outcome)\n")
        .arg(kExitSuccess)
        .arg(kExitUpdateFailed)
        .arg(kExitUsageError)
        .arg(kExitNoDevice)
        .arg(kExitFileRejected)
        .arg(kExitUnconfirmed);
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
    if (name == kHistoryCommand) {
        return CliArguments::Command::History;
    }
    return CliArguments::Command::None;
}

// The links read an address leniently (like atoi); a script's typo must not quietly name
// device 0, so only the prefix followed by a plain decimal position is taken.
bool isWellFormedAddress(const QString& address)
{
    static const QRegularExpression position(QStringLiteral("^(0|[1-9][0-9]{0,8})$"));
    const QString prefix = QString::fromStdString(marlune::MLP::MLPPhyAddress::multi().prefix());
    return address.startsWith(prefix) && position.match(address.mid(prefix.size())).hasMatch();
}

// Qt's usage line names the program as it was started, on Windows by its whole path; the
// help names it as a person types it.
QString helpNamingTheProgram(const QString& qtHelpText)
{
    const int usageEnd = qtHelpText.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: %1 [options] command [FILE]").arg(QCoreApplication::applicationName()) +
           qtHelpText.mid(usageEnd);
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
    // Qt's own help option would list --help-all for Qt's options, which mean nothing here;
    // it stays understood for scripts that use it.
    const QCommandLineOption helpOption(
        QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
        QStringLiteral("Displays this help."));
    QCommandLineOption helpAllOption(QStringLiteral("help-all"));
    helpAllOption.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Machine-readable output. list, inspect, builtin, history: one JSON document; "
                       "update: JSON lines, progress events and a final record per device."));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Device to update: its serial number or its address, as list shows them "
                       "(ML0001, usb:m/0). The serial number names the same unit after devices are "
                       "plugged in or out; an address is only a position in the list."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption fileOption(QStringLiteral("file"),
                                        QStringLiteral("Update file to write instead of the built-in one."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption allOption(
        QStringLiteral("all"),
        QStringLiteral("Update every listed device the file fits, side by side (update)."));
    const QCommandLineOption jobsOption(
        QStringLiteral("jobs"),
        QStringLiteral("With --all, write at most N units at a time; 1 writes one after another, for a "
                       "hub that cannot carry more. All at once by default (update)."),
        QStringLiteral("N"));
    const QCommandLineOption watchOption(
        QStringLiteral("watch"),
        QStringLiteral("With --all, go on after the run: write every unit plugged in that the file fits "
                       "as it appears, until Ctrl+C (update)."));
    const QCommandLineOption builtinOption(
        QStringLiteral("builtin"),
        QStringLiteral("Write each device its own built-in update file (update)."));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"), QStringLiteral("Check devices and files, show the plan, send nothing "
                                                  "(update)."));
    const QCommandLineOption allowReinstallOption(
        QStringLiteral("allow-reinstall"),
        QStringLiteral("With --all, also write units that already run the file's firmware (update)."));
    const QCommandLineOption allowOlderOption(
        QStringLiteral("allow-older"),
        QStringLiteral("With --all, also write units that run a newer firmware than the file's: a step "
                       "back (update)."));
    const QCommandLineOption allowUnsignedOption(
        QStringLiteral("allow-unsigned"),
        QStringLiteral("Also write a file no trusted key signed; a file whose signature does not hold is "
                       "refused all the same (update)."));
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("Print only the verdict (update)."));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Trace every frame sent and received (type, command, value, length, status, time) "
                       "on the error output (update)."));
    parser.addOptions({helpOption, helpAllOption, jsonOption, deviceOption, fileOption, allOption, jobsOption,
                       watchOption, builtinOption, dryRunOption, allowReinstallOption, allowOlderOption,
                       allowUnsignedOption, quietOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, inspect FILE, builtin, update [FILE] or history."),
                                 QStringLiteral("command [FILE]"));
    m_helpText = helpNamingTheProgram(parser.helpText()) + QLatin1Char('\n') + exitCodesText();

    // Known before anything else, so that even a command line that does not parse is
    // answered in the form the caller asked for.
    m_json = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(helpOption) || parser.isSet(helpAllOption)) {
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

    const int maximumPositional = m_command == Command::Inspect || m_command == Command::Update ? 2 : 1;
    if (m_command == Command::Inspect && positional.size() < 2) {
        return usageError(QStringLiteral("inspect needs the path of an update file."));
    }
    if (positional.size() > maximumPositional) {
        return usageError(
            QStringLiteral("Unexpected argument \"%1\".").arg(positional.at(maximumPositional)));
    }
    if (m_command == Command::Inspect) {
        m_inspectPath = positional.at(1);
    }

    m_json = parser.isSet(jsonOption);
    if (m_command != Command::Update) {
        for (const QCommandLineOption& option :
             {deviceOption, fileOption, allOption, jobsOption, watchOption, builtinOption, dryRunOption,
              allowReinstallOption, allowOlderOption, allowUnsignedOption, quietOption, verboseOption}) {
            if (parser.isSet(option)) {
                return usageError(QStringLiteral("--%1 belongs to update.").arg(option.names().last()));
            }
        }
        return Outcome::Run;
    }

    const QString device = parser.value(deviceOption);
    // Every address scheme starts so; a serial number does not.
    if (device.startsWith(QStringLiteral("usb:"))) {
        m_deviceAddress = device;
    } else {
        m_deviceSerial = device;
    }
    m_all = parser.isSet(allOption);
    m_watch = parser.isSet(watchOption);
    m_builtin = parser.isSet(builtinOption);
    m_dryRun = parser.isSet(dryRunOption);
    m_allowReinstall = parser.isSet(allowReinstallOption);
    m_allowOlder = parser.isSet(allowOlderOption);
    m_allowUnsigned = parser.isSet(allowUnsignedOption);
    m_quiet = parser.isSet(quietOption);
    m_verbose = parser.isSet(verboseOption);
    if (parser.isSet(fileOption) && positional.size() > 1) {
        return usageError(QStringLiteral("Name the update file once: as the argument or with --file."));
    }
    m_updateFilePath = positional.size() > 1 ? positional.at(1) : parser.value(fileOption);
    if (parser.isSet(fileOption) && m_updateFilePath.isEmpty()) {
        return usageError(QStringLiteral("--file needs a path."));
    }
    if (parser.isSet(deviceOption) && device.isEmpty()) {
        return usageError(QStringLiteral("--device needs a serial number or an address."));
    }
    if (!m_deviceAddress.isEmpty() && !isWellFormedAddress(m_deviceAddress)) {
        return usageError(QStringLiteral("\"%1\" is not a device address; list shows them (usb:m/0).")
                              .arg(m_deviceAddress));
    }
    if (m_builtin && !m_updateFilePath.isEmpty()) {
        return usageError(QStringLiteral("--builtin and an update file exclude each other."));
    }
    if (m_all && !device.isEmpty()) {
        return usageError(QStringLiteral("--all and --device exclude each other."));
    }
    if (m_all && !m_builtin && m_updateFilePath.isEmpty()) {
        return usageError(QStringLiteral("--all needs an update file or --builtin."));
    }
    if (parser.isSet(jobsOption)) {
        if (!m_all) {
            return usageError(QStringLiteral("--jobs belongs to --all."));
        }
        bool number = false;
        m_jobs = parser.value(jobsOption).toInt(&number);
        if (!number || m_jobs < 1) {
            return usageError(QStringLiteral("--jobs needs a number of units, 1 or more, not \"%1\".")
                                  .arg(parser.value(jobsOption)));
        }
    }
    if (m_watch && !m_all) {
        return usageError(QStringLiteral("--watch belongs to --all."));
    }
    if (m_watch && m_dryRun) {
        return usageError(QStringLiteral("--watch and --dry-run exclude each other."));
    }
    if (m_quiet && (m_json || m_verbose)) {
        return usageError(QStringLiteral("--quiet excludes --json and --verbose."));
    }
    return Outcome::Run;
}

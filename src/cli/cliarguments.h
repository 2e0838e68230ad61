#pragma once

#include <QString>
#include <QStringList>

// The command line of marlune-fwupdate-cli, read with QCommandLineParser: one command
// (list, inspect, builtin, update, history) and the options that command accepts. An option
// that belongs to another command is a usage error rather than silently ignored, so that a
// mistyped script fails before it touches a device.
class CliArguments
{
public:
    enum class Command
    {
        None,
        List,
        Inspect,
        Builtin,
        Update,
        History,
    };

    enum class Outcome
    {
        Run,
        ShowHelp,
        ShowVersion,
        UsageError,
    };

    // arguments include the program name first, as QCoreApplication::arguments() gives them.
    Outcome parse(const QStringList& arguments);

    Command command() const { return m_command; }
    bool json() const { return m_json; }
    bool dryRun() const { return m_dryRun; }
    // With --all: also units that already run the file's firmware, or a newer one.
    bool allowReinstall() const { return m_allowReinstall; }
    bool allowOlder() const { return m_allowOlder; }
    bool allowUnsigned() const { return m_allowUnsigned; }
    // update: every listed device the file fits, side by side.
    bool all() const { return m_all; }
    // With --all: how many units are written at a time; 0 for all at once.
    int jobs() const { return m_jobs; }
    // With --all: after the run, every unit plugged in is planned and written as it appears.
    bool watch() const { return m_watch; }
    // update: each device's own built-in file, said explicitly (the default without a file).
    bool builtin() const { return m_builtin; }
    bool quiet() const { return m_quiet; }
    bool verbose() const { return m_verbose; }
    // --device names a unit by its address (a well-formed "usb:m/" one) or by its serial
    // number; at most one of the two is set.
    QString deviceAddress() const { return m_deviceAddress; }
    QString deviceSerial() const { return m_deviceSerial; }
    // update: the file named with --file or as its argument; empty for the built-in files.
    QString updateFilePath() const { return m_updateFilePath; }
    QString inspectPath() const { return m_inspectPath; }

    // Why parse() answered UsageError.
    QString errorText() const { return m_errorText; }
    // Options, commands and exit codes.
    QString helpText() const { return m_helpText; }

private:
    Outcome usageError(const QString& text);

    Command m_command = Command::None;
    bool m_json = false;
    bool m_dryRun = false;
    bool m_allowReinstall = false;
    bool m_allowOlder = false;
    bool m_allowUnsigned = false;
    bool m_all = false;
    int m_jobs = 0;
    bool m_watch = false;
    bool m_builtin = false;
    bool m_quiet = false;
    bool m_verbose = false;
    QString m_deviceAddress;
    QString m_deviceSerial;
    QString m_updateFilePath;
    QString m_inspectPath;
    QString m_errorText;
    QString m_helpText;
};

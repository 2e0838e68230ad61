#include "cliarguments.h"

#include <QtTest>

Q_DECLARE_METATYPE(CliArguments::Command)
Q_DECLARE_METATYPE(CliArguments::Outcome)

using Command = CliArguments::Command;
using Outcome = CliArguments::Outcome;

class TestCliArguments : public QObject
{
    Q_OBJECT

private:
    static CliArguments::Outcome parse(CliArguments& arguments, const QString& line)
    {
        return arguments.parse(QStringList{QStringLiteral("marlune-fwupdate-cli")} +
                               line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }

private slots:
    void commandsAndTheirOptionsAreRead_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QString>("inspectPath");
        QTest::newRow("list") << "list" << Command::List << false << "";
        QTest::newRow("list json") << "list --json" << Command::List << true << "";
        QTest::newRow("option first") << "--json builtin" << Command::Builtin << true << "";
        QTest::newRow("inspect") << "inspect /tmp/a.ml2" << Command::Inspect << false << "/tmp/a.ml2";
        QTest::newRow("inspect json") << "inspect --json a.ml2" << Command::Inspect << true << "a.ml2";
        QTest::newRow("update") << "update" << Command::Update << false << "";
        QTest::newRow("update json") << "update --json" << Command::Update << true << "";
        QTest::newRow("history json") << "history --json" << Command::History << true << "";
    }

    void commandsAndTheirOptionsAreRead()
    {
        QFETCH(QString, line);
        QFETCH(Command, command);
        QFETCH(bool, json);
        QFETCH(QString, inspectPath);
        CliArguments arguments;
        QCOMPARE(parse(arguments, line), Outcome::Run);
        QCOMPARE(arguments.command(), command);
        QCOMPARE(arguments.json(), json);
        QCOMPARE(arguments.inspectPath(), inspectPath);
    }

    void updateTakesDeviceFileAndDryRun()
    {
        CliArguments arguments;
        QCOMPARE(parse(arguments, "update --device usb:m/1 --file fw.ml2 --dry-run"), Outcome::Run);
        QCOMPARE(arguments.deviceAddress(), "usb:m/1");
        QVERIFY(arguments.deviceSerial().isEmpty());
        QCOMPARE(arguments.updateFilePath(), "fw.ml2");
        QVERIFY(arguments.dryRun());

        // Anything that is no address names the unit by its serial number.
        CliArguments bySerial;
        QCOMPARE(parse(bySerial, "update --device ML0001"), Outcome::Run);
        QCOMPARE(bySerial.deviceSerial(), "ML0001");
        QVERIFY(bySerial.deviceAddress().isEmpty());

        CliArguments fleet;
        QCOMPARE(parse(fleet, "update --all fw.ml2 -q"), Outcome::Run);
        QCOMPARE(fleet.updateFilePath(), "fw.ml2");
        QVERIFY(fleet.all());
        QVERIFY(fleet.quiet());
        // Every unit at once unless limited.
        QCOMPARE(fleet.jobs(), 0);
        QVERIFY(!fleet.watch());

        CliArguments hub;
        QCOMPARE(parse(hub, "update --all fw.ml2 --jobs 1 --watch"), Outcome::Run);
        QCOMPARE(hub.jobs(), 1);
        QVERIFY(hub.watch());

        CliArguments plain;
        QCOMPARE(parse(plain, "update"), Outcome::Run);
        QVERIFY(plain.deviceAddress().isEmpty());
        QVERIFY(plain.updateFilePath().isEmpty());
        QVERIFY(!plain.dryRun());
    }

    void helpAndVersionWinOverCommands_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("help") << "--help" << Outcome::ShowHelp;
        QTest::newRow("short help") << "-h" << Outcome::ShowHelp;
        QTest::newRow("help all") << "--help-all" << Outcome::ShowHelp;
        QTest::newRow("help after command") << "update --help" << Outcome::ShowHelp;
        QTest::newRow("version") << "--version" << Outcome::ShowVersion;
    }

    void helpAndVersionWinOverCommands()
    {
        QFETCH(QString, line);
        QFETCH(Outcome, outcome);
        CliArguments arguments;
        QCOMPARE(parse(arguments, line), outcome);
    }

    void helpListsCommandsAndExitCodes()
    {
        CliArguments arguments;
        parse(arguments, "--help");
        const QString help = arguments.helpText();
        for (const char* expected :
             {"list", "inspect FILE", "builtin", "update", "history", "--json", "--device", "--file",
              "--dry-run", "--all", "--builtin", "--quiet", "Exit codes:", "0  success",
              "1  the update failed", "2  usage error", "3  no device", "4  update file"}) {
            QVERIFY2(help.contains(QLatin1String(expected)), expected);
        }
        QVERIFY(help.contains("--jobs <N>"));
        QVERIFY(help.contains("--watch"));
    }

    void misuseIsAUsageErrorWithAReason_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing") << ""
                                 << "No command";
        QTest::newRow("unknown command") << "flash"
                                         << "Unknown command \"flash\"";
        QTest::newRow("unknown option") << "list --fast"
                                        << "fast";
        QTest::newRow("inspect without file") << "inspect"
                                              << "inspect needs";
        QTest::newRow("surplus argument") << "list usb:m/0"
                                          << "Unexpected argument \"usb:m/0\"";
        QTest::newRow("two files") << "inspect a.ml2 b.ml2"
                                   << "Unexpected argument \"b.ml2\"";
        QTest::newRow("two update files") << "update a.ml2 --file b.ml2"
                                          << "Name the update file once";
        QTest::newRow("builtin with a file") << "update --builtin a.ml2"
                                             << "--builtin and an update file";
        QTest::newRow("all without file") << "update --all"
                                          << "--all needs an update file or --builtin";
        QTest::newRow("all with device") << "update --all --builtin --device usb:m/0"
                                         << "--all and --device";
        QTest::newRow("jobs without all") << "update --jobs 2 fw.ml2"
                                          << "--jobs belongs to --all";
        QTest::newRow("no jobs") << "update --all fw.ml2 --jobs 0"
                                 << "--jobs needs a number of units, 1 or more, not \"0\"";
        QTest::newRow("jobs in words") << "update --all fw.ml2 --jobs two"
                                       << "--jobs needs a number of units";
        QTest::newRow("jobs on list") << "list --jobs 2"
                                      << "--jobs belongs to update";
        QTest::newRow("watch without all") << "update --watch fw.ml2"
                                           << "--watch belongs to --all";
        QTest::newRow("watch dry run") << "update --all --builtin --watch --dry-run"
                                       << "--watch and --dry-run exclude each other";
        QTest::newRow("quiet json") << "update -q --json"
                                    << "--quiet excludes";
        QTest::newRow("quiet verbose") << "update --quiet --verbose"
                                       << "--quiet excludes";
        QTest::newRow("verbose on list") << "list --verbose"
                                         << "--verbose belongs to update";
        QTest::newRow("all on list") << "list --all"
                                     << "--all belongs to update";
        QTest::newRow("quiet on history") << "history --quiet"
                                          << "--quiet belongs to update";
        QTest::newRow("other scheme") << "update --device usb:ftdi/0"
                                      << "\"usb:ftdi/0\" is not a device address";
        QTest::newRow("position with letters") << "update --device usb:m/1x"
                                               << "not a device address";
        QTest::newRow("signed position") << "update --device usb:m/-1"
                                         << "not a device address";
        QTest::newRow("device on list") << "list --device usb:m/0"
                                        << "--device belongs to update";
        QTest::newRow("file on inspect") << "inspect a.ml2 --file b.ml2"
                                         << "--file belongs to update";
        QTest::newRow("dry run on builtin") << "builtin --dry-run"
                                            << "--dry-run belongs to update";
        QTest::newRow("file without value") << "update --file"
                                            << "file";
    }

    void misuseIsAUsageErrorWithAReason()
    {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        CliArguments arguments;
        QCOMPARE(parse(arguments, line), Outcome::UsageError);
        QVERIFY2(arguments.errorText().contains(reason), qPrintable(arguments.errorText()));
    }

    void emptyOptionValuesAreRefused()
    {
        CliArguments file;
        QCOMPARE(file.parse({"marlune-fwupdate-cli", "update", "--file", ""}), Outcome::UsageError);
        CliArguments device;
        QCOMPARE(device.parse({"marlune-fwupdate-cli", "update", "--device="}), Outcome::UsageError);
    }
};

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cliarguments.moc"

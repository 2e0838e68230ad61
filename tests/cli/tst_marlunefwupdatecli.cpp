#include "cliexitcode.h"
#include "clirun.h"
#include "emulatedbussuite.h"
#include "mlpcommand.h"
#include "patternedbytes.h"
#include "updatefilebuilder.h"
#include "updatehistory.h"
#include "workerdevices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace marlune::testing;

namespace {

constexpr int kProcessTimeoutMs = 60000;
constexpr uint32_t kSlowAnswerMs = 20;

} // namespace

// The window's side of its session D-Bus name, as the tool meets it: it holds ML0042.
class WindowStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.marlune.FirmwareUpdateTool.Window")

public slots:
    Q_SCRIPTABLE bool HoldsUnit(const QString& serial) { return serial == QLatin1String("ML0042"); }
};

// The executable as a script runs it, unchanged, in a child process that inherits the USB
// emulation of this one.
class TestMarluneFwupdateCli : public EmulatedBusSuite
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;

    CliRun run(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(MARLUNE_CLI_PATH), arguments);
        CliRun result;
        if (!process.waitForFinished(kProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QString writeFile(const QByteArray& block)
    {
        UpdateFileBuilder file;
        file.blocks = {block};
        return file.writeTo(m_directory.filePath("update.ml2"));
    }

private slots:
    void initTestCase() { qputenv("XDG_STATE_HOME", m_directory.filePath("state").toUtf8()); }

    void versionAndHelp()
    {
        const CliRun version = run({"--version"});
        QCOMPARE(version.exitCode, int(kExitSuccess));
        QCOMPARE(version.out, QStringLiteral("marlune-fwupdate-cli 0.28\n"));

        const CliRun help = run({"--help"});
        QCOMPARE(help.exitCode, int(kExitSuccess));
        QVERIFY(help.out.contains("Exit codes:"));
        // By its name, not the path it was started by, and without Qt's own options.
        QVERIFY2(help.out.startsWith("Usage: marlune-fwupdate-cli [options] command [FILE]\n"),
                 qPrintable(help.out));
        QVERIFY(!help.out.contains("help-all"));
    }

    void listJsonFromTheExecutable()
    {
        m_emulation->addMakerDevice(makeDevice("DEMO-5", 0x0100, 0x0203));
        const CliRun result = run({"list", "--json"});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        const QJsonArray devices =
            QJsonDocument::fromJson(result.out.toUtf8()).object().value("devices").toArray();
        QCOMPARE(devices.size(), 1);
        QCOMPARE(devices[0].toObject().value("model").toString(), "DEMO-5");
        QCOMPARE(devices[0].toObject().value("firmwareVersion").toString(), "2.03");
    }

    void updateSendsTheFileAndPrintsPlainPercentLines()
    {
        auto device = makeDevice("DEMO-5");
        m_emulation->addMakerDevice(device);
        const QByteArray block = patternedBytes(5000);

        // The program as installed trusts no demo key: what the test support signs is written
        // only as an unsigned file.
        const CliRun untrusted = run({"update", "--file", writeFile(block)});
        QCOMPARE(untrusted.exitCode, int(kExitFileRejected));
        QVERIFY2(untrusted.err.contains("which is not trusted"), qPrintable(untrusted.err));
        QCOMPARE(device->dataSegmentCount(), std::size_t{0});

        const CliRun result = run({"update", "--allow-unsigned", "--file", writeFile(block)});
        QCOMPARE(result.exitCode, int(kExitSuccess));
        QCOMPARE(toBytes(device->transferPayload(UpdateBlock, 0)), block);
        // Not a terminal: no bar, no carriage returns, one line per new percentage.
        QVERIFY(!result.out.contains('\r'));
        const QStringList lines = result.out.split('\n');
        QVERIFY(lines.contains("0%"));
        QVERIFY(lines.contains("100%"));
        QVERIFY(lines.contains("Update complete."));
    }

    void failedUpdateExitCode()
    {
        auto device = makeDevice("DEMO-5");
        device->failSegment(1, 0x09);
        m_emulation->addMakerDevice(device);
        const CliRun result =
            run({"update", "--verbose", "--allow-unsigned", "--file", writeFile(QByteArray(1000, 'x'))});
        QCOMPARE(result.exitCode, int(kExitUpdateFailed));
        QVERIFY(result.err.contains("could not be completed"));
        // The trace goes to the error output: the device-information request, the refused segment,
        // each named by the unit's serial number, as units written side by side interleave.
        QVERIFY(!result.out.contains("trace:"));
        QVERIFY(result.err.contains(
            "trace: ML0001: sent Request command 1 value 0, 0 payload bytes; received Response"));
        QVERIFY2(
            result.err.contains("trace: ML0001: sent Data command 3 value 0, 114 payload bytes; received "
                                "Ack, 15 bytes; device-error 0x09 after"),
            qPrintable(result.err));
    }

    void interruptDuringUpdateIsRefused()
    {
        auto device = makeDevice("DEMO-5");
        // Slow answers keep the update running while the signals arrive.
        device->setAnswerDelay(kSlowAnswerMs);
        m_emulation->addMakerDevice(device);
        const QByteArray block(3000, 'u');

        QProcess process;
        process.start(QStringLiteral(MARLUNE_CLI_PATH),
                      {"update", "--allow-unsigned", "--file", writeFile(block)});
        QVERIFY(process.waitForStarted());
        QByteArray out;
        while (!out.contains("0%\n") && process.waitForReadyRead(kProcessTimeoutMs)) {
            out += process.readAllStandardOutput();
        }
        QVERIFY2(out.contains("0%\n"), out.constData());
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);

        QVERIFY(process.waitForFinished(kProcessTimeoutMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), int(kExitSuccess));
        QVERIFY(process.readAllStandardError().contains("stopping now would leave the device half-written"));
        QCOMPARE(toBytes(device->transferPayload(UpdateBlock, 0)), block);
    }

    void noDeviceAndUsageErrorExitCodes()
    {
        QCOMPARE(run({"list"}).exitCode, int(kExitNoDevice));
        QCOMPARE(run({"update", "--dry-run"}).exitCode, int(kExitNoDevice));
        QCOMPARE(run({}).exitCode, int(kExitUsageError));
        QCOMPARE(run({"list", "--file", "x.ml2"}).exitCode, int(kExitUsageError));
        QCOMPARE(run({"update", "--device", "usb:m/one"}).exitCode, int(kExitUsageError));
    }

    // A unit the tool cannot find that the running window holds: the tool says so, and only for
    // that unit. The window answers on a session bus of the test's own while the tool runs.
    void unitHeldByTheWindowIsNamed()
    {
        QProcess bus;
        bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                                  "--address=unix:path=" + m_directory.filePath("bus")});
        QVERIFY2(bus.waitForStarted(), "dbus-daemon is not installed (scripts/install-deps installs it)");
        QVERIFY(bus.waitForReadyRead(kProcessTimeoutMs));
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection connection =
            QDBusConnection::connectToBus(address, QStringLiteral("window-stand-in"));
        WindowStandIn window;
        QVERIFY(connection.registerObject(QStringLiteral("/com/marlune/FirmwareUpdateTool/Window"), &window,
                                          QDBusConnection::ExportScriptableSlots));
        QVERIFY(connection.registerService(QStringLiteral("com.marlune.FirmwareUpdateTool")));

        for (const QString& serial : {QStringLiteral("ML0042"), QStringLiteral("ML0043")}) {
            QProcess tool;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            tool.setProcessEnvironment(environment);
            tool.start(QStringLiteral(MARLUNE_CLI_PATH), {"update", "--device", serial, "--dry-run"});
            // The stand-in answers from this event loop.
            QTRY_VERIFY_WITH_TIMEOUT(tool.state() == QProcess::NotRunning, kProcessTimeoutMs);
            QCOMPARE(tool.exitCode(), int(kExitNoDevice));
            const QString error = QString::fromUtf8(tool.readAllStandardError());
            QCOMPARE(
                error.contains(QStringLiteral("The Marlune Firmware Update Tool window holds %1: close the "
                                              "window, or select another unit in it, and try again.")
                                   .arg(serial)),
                serial == QLatin1String("ML0042"));
        }
        connection.unregisterService(QStringLiteral("com.marlune.FirmwareUpdateTool"));
        QDBusConnection::disconnectFromBus(QStringLiteral("window-stand-in"));
        bus.terminate();
        bus.waitForFinished(kProcessTimeoutMs);
    }

    // Piped into a reader that stops after the first line: the output ends there, the update
    // does not.
    void closedOutputEndsTheOutputNotTheUpdate()
    {
        auto device = makeDevice("DEMO-5");
        // Slow answers keep the update running after the reader has gone.
        device->setAnswerDelay(kSlowAnswerMs);
        m_emulation->addMakerDevice(device);
        const QByteArray block(3000, 'p');
        QStringList warnings;
        const int recordedBefore = UpdateHistory().read(warnings).size();

        QProcess shell;
        shell.start(
            QStringLiteral("bash"),
            {"-c", "\"$0\" update --json --allow-unsigned --file \"$1\" | head -1; exit \"${PIPESTATUS[0]}\"",
             QStringLiteral(MARLUNE_CLI_PATH), writeFile(block)});
        QVERIFY(shell.waitForFinished(kProcessTimeoutMs));
        QCOMPARE(shell.readAllStandardOutput().count('\n'), 1);
        QCOMPARE(shell.exitCode(), int(kExitSuccess));
        QCOMPARE(toBytes(device->transferPayload(UpdateBlock, 0)), block);
        const QList<UpdateHistoryEntry> recorded = UpdateHistory().read(warnings).mid(recordedBefore);
        QCOMPARE(recorded.size(), 1);
        QVERIFY(recorded.first().succeeded);
    }
};

QTEST_GUILESS_MAIN(TestMarluneFwupdateCli)
#include "tst_marlunefwupdatecli.moc"

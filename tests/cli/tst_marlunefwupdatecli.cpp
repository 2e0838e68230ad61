#include "cliexitcode.h"
#include "clirun.h"
#include "emulatedbussuite.h"
#include "mlpcommand.h"
#include "patternedbytes.h"
#include "updatefilebuilder.h"
#include "updatehistory.h"
#include "workerdevices.h"

#include <QtTest>

#include <csignal>
#include <memory>

using namespace marlune::testing;

namespace {

constexpr int kProcessTimeoutMs = 60000;
constexpr uint32_t kSlowAnswerMs = 20;

} // namespace

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

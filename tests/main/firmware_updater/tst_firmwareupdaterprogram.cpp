#include "emulatedbus.h"
#include "virtualdevice.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kExitTimeoutMs = 20000;
// Discovery, selection and a few pings: the worker thread is talking to the device.
constexpr std::size_t kFramesOfABusyThread = 6;

} // namespace

// The real program as a child process on emulated USB: it starts, finds the device and
// ends cleanly when the desktop session sends it a signal.
class TestFirmwareUpdaterProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void endsCleanlyOnSessionSignals_data();
    void endsCleanlyOnSessionSignals();

private:
    marlune::testing::EmulatedBus m_emulation;
};

void TestFirmwareUpdaterProgram::init()
{
    m_emulation.start();
}

void TestFirmwareUpdaterProgram::cleanup()
{
    m_emulation.stop();
}

void TestFirmwareUpdaterProgram::endsCleanlyOnSessionSignals_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("startupDebugOutput");
    QTest::newRow("SIGTERM, start-up debug output on") << int(SIGTERM) << true;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
}

void TestFirmwareUpdaterProgram::endsCleanlyOnSessionSignals()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, startupDebugOutput);
    VirtualDeviceIdentity identity;
    identity.model = "DEMO-B";
    identity.hwVersion = 0x0100;
    const auto device = std::make_shared<VirtualDevice>(identity);
    m_emulation->addFtdiBridge(device);

    QProcess program;
    program.setProcessChannelMode(QProcess::SeparateChannels);
    // As on a desktop session, where Qt finds its runtime folder and has nothing to say.
    QTemporaryDir runtimeDirectory;
    QVERIFY(QFile::setPermissions(runtimeDirectory.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDirectory.path());
    if (startupDebugOutput) {
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("marlune.startup.debug=true"));
    }
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(MARLUNE_FWUPDATE_PATH), QStringList());
    QVERIFY(program.waitForStarted(kStartTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(device->frameCount() >= kFramesOfABusyThread, kStartTimeoutMs);

    QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
    QVERIFY(program.waitForFinished(kExitTimeoutMs));

    // The tests' headless platform warns about window size hints it cannot pass on; a
    // desktop's does not.
    const QByteArray diagnostics =
        program.readAllStandardError().replace("This plugin does not support propagateSizeHints()\n", "");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, diagnostics.constData());
    if (startupDebugOutput) {
        QVERIFY(diagnostics.contains("Installing event filter..."));
    } else {
        QVERIFY2(diagnostics.isEmpty(), diagnostics.constData());
    }
}

QTEST_GUILESS_MAIN(TestFirmwareUpdaterProgram)
#include "tst_firmwareupdaterprogram.moc"

#include "emulatedbus.h"
#include "virtualdevice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
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
    void secondStartHandsItsFileToTheFirstAndEnds();

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
    // A window already open on the desktop's session bus would be handed this start.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       "unix:path=" + runtimeDirectory.filePath("no-bus"));
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

// On a session bus of the test's own: the first start holds the window's name there and
// answers which unit it holds; a second start, given a file, hands it over and ends at once.
void TestFirmwareUpdaterProgram::secondStartHandsItsFileToTheFirstAndEnds()
{
    QTemporaryDir directory;
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                              "--address=unix:path=" + directory.filePath("bus")});
    QVERIFY2(bus.waitForStarted(), "dbus-daemon is not installed (scripts/install-deps installs it)");
    QVERIFY(bus.waitForReadyRead(kStartTimeoutMs));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    const QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("window-test"));
    QVERIFY(connection.isConnected());
    const auto holdsUnit = [&connection](const QString& serial) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("com.marlune.FirmwareUpdateTool"),
            QStringLiteral("/com/marlune/FirmwareUpdateTool/Window"),
            QStringLiteral("com.marlune.FirmwareUpdateTool.Window"), QStringLiteral("HoldsUnit"));
        call << serial;
        const QDBusReply<bool> reply = connection.call(call);
        return reply.isValid() && reply.value();
    };

    VirtualDeviceIdentity identity;
    identity.model = "DEMO-B";
    identity.hwVersion = 0x0100;
    const auto device = std::make_shared<VirtualDevice>(identity);
    m_emulation->addFtdiBridge(device);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(MARLUNE_FWUPDATE_PATH), QStringList());
    QVERIFY(first.waitForStarted(kStartTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(device->frameCount() >= kFramesOfABusyThread, kStartTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(holdsUnit(QStringLiteral("FT0001")), kStartTimeoutMs);
    QVERIFY(holdsUnit(QString()));
    QVERIFY(!holdsUnit(QStringLiteral("FT0002")));

    QFile file(directory.filePath("DEMO-B.ml2"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(MARLUNE_FWUPDATE_PATH), {file.fileName()});
    QVERIFY2(second.waitForFinished(kExitTimeoutMs), "a second window opened");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    first.terminate();
    QVERIFY(first.waitForFinished(kExitTimeoutMs));
    QCOMPARE(first.exitCode(), 0);
    // The name goes with the program.
    QVERIFY(!connection.interface()->isServiceRegistered(QStringLiteral("com.marlune.FirmwareUpdateTool")));
    bus.terminate();
    bus.waitForFinished(kExitTimeoutMs);
}

QTEST_GUILESS_MAIN(TestFirmwareUpdaterProgram)
#include "tst_firmwareupdaterprogram.moc"

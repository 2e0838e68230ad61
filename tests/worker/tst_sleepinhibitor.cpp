#include "emulatedbussuite.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "patternedbytes.h"
#include "sleepinhibitor.h"
#include "updatefilebuilder.h"
#include "workerdevices.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QtTest>

#include <atomic>

#include <signal.h>

using namespace marlune::testing;

namespace {

constexpr int kTimeoutMs = 15000;
const QString kLogind = QStringLiteral("org.freedesktop.login1");

} // namespace

// The lock logind is asked for while a unit is written, seen in a mock logind (the template of
// python3-dbusmock) on a private bus that stands in for the system bus.
class TestSleepInhibitor : public EmulatedBusSuite
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;
    QProcess m_bus;
    QProcess m_logind;
    QString m_busAddress;

    // A sound file with one block of 3000 bytes, read as an update reads it.
    UpdateImage oneBlockImage()
    {
        UpdateFileBuilder file;
        file.blocks = {patternedBytes(3000)};
        return UpdateImage::read(file.writeTo(m_directory.filePath("update.ml2")));
    }

    QDBusConnection bus() const
    {
        return QDBusConnection::connectToBus(m_busAddress, QStringLiteral("test"));
    }

    // logind's inhibitor locks, each as "what|who|why|mode".
    QStringList inhibitors() const
    {
        const QDBusMessage reply = bus().call(QDBusMessage::createMethodCall(
            kLogind, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        QStringList locks;
        list.beginArray();
        while (!list.atEnd()) {
            QString what;
            QString who;
            QString why;
            QString mode;
            uint userId = 0;
            uint processId = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> userId >> processId;
            list.endStructure();
            locks << QStringList{what, who, why, mode}.join(QLatin1Char('|'));
        }
        list.endArray();
        return locks;
    }

private slots:
    void initTestCase()
    {
        QProcess probe;
        probe.start(QStringLiteral(MARLUNE_SYSTEM_PYTHON), {"-c", "import dbusmock"});
        if (!probe.waitForFinished(kTimeoutMs) || probe.exitCode() != 0) {
            QSKIP("no mock logind: python3-dbusmock is not installed (scripts/install-deps installs it)");
        }
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                                    "--address=unix:path=" + m_directory.filePath("bus")});
        QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is not installed (scripts/install-deps installs it)");
        QVERIFY(m_bus.waitForReadyRead(kTimeoutMs));
        m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
        // Read by the program's first use of the system bus, which comes later.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_busAddress.toUtf8());
        m_logind.start(QStringLiteral(MARLUNE_SYSTEM_PYTHON), {"-m", "dbusmock", "--template", "logind"});
        QVERIFY(m_logind.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(bus().interface()->isServiceRegistered(kLogind), kTimeoutMs);
    }

    void cleanupTestCase()
    {
        for (QProcess* process : {&m_logind, &m_bus}) {
            process->terminate();
            process->waitForFinished(kTimeoutMs);
        }
    }

    void heldFromTheFirstWriteToTheLast()
    {
        m_emulation->addMakerDevice(makeDevice("DEMO-5"));
        MLPWorkerThread worker;
        SleepInhibitor inhibitor;
        inhibitor.holdWhileUpdating(worker);
        worker.start();
        QCOMPARE(inhibitors(), QStringList());

        MLPDeviceInfoNode onlyUnit;
        onlyUnit.address = QStringLiteral("usb:m/0");
        MLPUpdateFirmwareRequest request(onlyUnit, oneBlockImage());
        // The write waits after its first segment until the lock has been looked at.
        QSemaphore looked;
        std::atomic<bool> paused{false};
        connect(
            &request, &MLPUpdateFirmwareRequest::progress, &request,
            [&] {
                if (!paused.exchange(true)) {
                    looked.acquire();
                }
            },
            Qt::DirectConnection);
        int updatesDone = 0;
        int writesFinished = 0;
        connect(&request, &MLPWorkerRequestI::workDone, this, [&] { ++updatesDone; });
        connect(&worker, &MLPWorkerThread::deviceWriteFinished, this, [&] { ++writesFinished; });
        worker.postUpdate(&request);

        QTRY_COMPARE_WITH_TIMEOUT(inhibitors().size(), 1, kTimeoutMs);
        const QString lock = inhibitors().first();
        const QStringList fields = lock.split(QLatin1Char('|'));
        QCOMPARE(fields.size(), 4);
        // The lid too: where logind handles it, a closed lid ignores a sleep lock alone.
        QCOMPARE(fields[0], "shutdown:sleep:handle-lid-switch");
        QCOMPARE(fields[1], QCoreApplication::applicationName());
        QVERIFY2(fields[2].contains("firmware update is being written"), qPrintable(fields[2]));
        QCOMPARE(fields[3], "block");
        QVERIFY(worker.hasUpdateUnderWay());
        // A second unit's write holds the same one lock, which stays until both have ended.
        inhibitor.hold();
        QCOMPARE(inhibitors(), QStringList{lock});
        looked.release();
        QTRY_COMPARE_WITH_TIMEOUT(writesFinished, 1, kTimeoutMs);
        QCOMPARE(updatesDone, 1);
        QCOMPARE(inhibitors(), QStringList{lock});
        inhibitor.release();
        QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), QStringList(), kTimeoutMs);

        worker.stop();
        QVERIFY(worker.wait(kTimeoutMs));
    }

    void lockIsHeldBeforeTheFirstByte_data()
    {
        QTest::addColumn<int>("silentMs");
        QTest::addColumn<bool>("heldAtFirstByte");
        QTest::newRow("logind answers at once") << 0 << true;
        QTest::newRow("logind answers slowly") << SleepInhibitor::kAnswerBoundMs / 3 << true;
        // The log says so, and the unit is written all the same.
        QTest::newRow("logind does not answer within the bound")
            << SleepInhibitor::kAnswerBoundMs * 2 << false;
    }

    // The unit's first byte waits for logind's answer, within a bound: a mock logind held
    // stopped answers late or not in time.
    void lockIsHeldBeforeTheFirstByte()
    {
        QFETCH(int, silentMs);
        QFETCH(bool, heldAtFirstByte);
        m_emulation->addMakerDevice(makeDevice("DEMO-5"));
        MLPWorkerThread worker;
        SleepInhibitor inhibitor;
        inhibitor.holdWhileUpdating(worker);
        worker.start();
        MLPDeviceInfoNode onlyUnit;
        onlyUnit.address = QStringLiteral("usb:m/0");
        MLPUpdateFirmwareRequest request(onlyUnit, oneBlockImage());
        std::atomic<int> locksAtFirstByte{-1};
        if (heldAtFirstByte) {
            connect(
                &request, &MLPUpdateFirmwareRequest::unitChecked, &request,
                [&] { locksAtFirstByte = static_cast<int>(inhibitors().size()); }, Qt::DirectConnection);
        } else {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("logind did not answer .* within"));
        }
        int updatesDone = 0;
        connect(&request, &MLPWorkerRequestI::workDone, this, [&] { ++updatesDone; });
        if (silentMs > 0) {
            QCOMPARE(::kill(static_cast<pid_t>(m_logind.processId()), SIGSTOP), 0);
            QTimer::singleShot(silentMs, this,
                               [&] { ::kill(static_cast<pid_t>(m_logind.processId()), SIGCONT); });
        }
        worker.postUpdateBeside(&request);

        QTRY_COMPARE_WITH_TIMEOUT(updatesDone, 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!worker.hasUpdateUnderWay(), kTimeoutMs);
        if (heldAtFirstByte) {
            QCOMPARE(locksAtFirstByte.load(), 1);
        }
        // Given back, also the one logind granted after the bound had passed.
        QTest::qWait(silentMs);
        QTRY_COMPARE_WITH_TIMEOUT(inhibitors(), QStringList(), kTimeoutMs);
        worker.stop();
        QVERIFY(worker.wait(kTimeoutMs));
    }
};

QTEST_GUILESS_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"

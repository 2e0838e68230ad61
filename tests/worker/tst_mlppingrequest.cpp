#include "fakeclock.h"
#include "mlpconnection.h"
#include "mlppingrequest.h"
#include "mlpworkercontext.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"

#include <QtTest>

using marlune::testing::FakeClock;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDevicePhy;

class TestMLPPingRequest : public QObject
{
    Q_OBJECT

private slots:
    void answerDecidesSignal_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("reason");
        QTest::newRow("record") << "answer" << true << -1;
        QTest::newRow("silent") << "silent" << false << int(MLPWorkerRequestI::NoAnswer);
        QTest::newRow("ack without data") << "ack" << false << int(MLPWorkerRequestI::OperationFailed);
        QTest::newRow("device error") << "error" << false << int(MLPWorkerRequestI::OperationFailed);
        QTest::newRow("short response") << "short" << true << -1;
    }

    void answerDecidesSignal()
    {
        QFETCH(QString, behaviour);
        QFETCH(bool, succeeds);
        QFETCH(int, reason);

        FakeClock clock(1000);
        VirtualDevice device;
        device.setClock(clock.nowFunction());
        VirtualDevicePhy link(device, &clock);
        MLPConnection connection(&link, 50000);
        connection.setClock({&FakeClock::nowCallback, &FakeClock::sleepCallback, &clock});
        if (behaviour == "silent") {
            device.setSilent(true);
        } else if (behaviour == "ack") {
            device.answerRequestsWithAck(0);
        } else if (behaviour == "error") {
            device.answerRequestsWithAck(0x07);
        } else if (behaviour == "short") {
            // A Response of the wrong length is still an answer: the device is alive.
            device.setInfoPayloadLength(20);
        }

        MLPPingRequest ping;
        QSignalSpy done(&ping, &MLPWorkerRequestI::workDone);
        QSignalSpy failed(&ping, &MLPWorkerRequestI::failed);
        MLPConnection* connectionSlot = &connection;
        MLPWorkerContext context;
        context.connection = &connectionSlot;
        ping.run(&context);

        QCOMPARE(done.count(), succeeds ? 1 : 0);
        QCOMPARE(failed.count(), succeeds ? 0 : 1);
        if (!succeeds) {
            QCOMPARE(int(failed.first().first().value<MLPWorkerRequestI::failReason>()), reason);
        }
    }

    void withoutConnectionDoesNothing()
    {
        MLPPingRequest ping;
        QSignalSpy done(&ping, &MLPWorkerRequestI::workDone);
        QSignalSpy failed(&ping, &MLPWorkerRequestI::failed);
        MLPConnection* emptySlot = nullptr;
        MLPWorkerContext context;
        context.connection = &emptySlot;
        ping.run(&context);
        QCOMPARE(done.count() + failed.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMLPPingRequest)
#include "tst_mlppingrequest.moc"

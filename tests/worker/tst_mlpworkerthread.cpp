#include "emulatedbus.h"
#include "flagrows.h"
#include "mlpcommand.h"
#include "mlpdiscoverrequest.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkercontext.h"
#include "mlpworkerthread.h"
#include "patternedbytes.h"
#include "updatefilebuilder.h"
#include "workerdevices.h"
#include "workerthreadsignals.h"

#include <QtTest>

#include <atomic>
#include <memory>

using marlune::MLP::MLPLinkKind;
using namespace marlune::testing;

namespace {

constexpr int kSignalTimeoutMs = 15000;

using ThreadSignals = marlune::testing::WorkerThreadSignals;

// A unit known only by its position, as one never listed.
MLPDeviceInfoNode atAddress(const QString& address)
{
    MLPDeviceInfoNode unit;
    unit.address = address;
    return unit;
}

struct UpdateOutcome
{
    explicit UpdateOutcome(MLPUpdateFirmwareRequest& request)
    {
        QObject::connect(&request, &MLPUpdateFirmwareRequest::progress, &receiver,
                         [this](int percent) { percents.append(percent); });
        QObject::connect(&request, &MLPWorkerRequestI::workDone, &receiver, [this] { ++done; });
        QObject::connect(&request, &MLPWorkerRequestI::failed, &receiver,
                         [this](MLPWorkerRequestI::failReason) { ++failed; });
    }

    QObject receiver;
    QList<int> percents;
    int done = 0;
    int failed = 0;
};

} // namespace

class TestMLPWorkerThread : public QObject
{
    Q_OBJECT

private:
    EmulatedBus m_emulation;
    std::unique_ptr<MLPWorkerThread> m_thread;
    QTemporaryDir m_directory;

    // Runs one discovery on a running thread and returns the discovered devices.
    QList<MLPDeviceInfoNode> discover(ThreadSignals& seen)
    {
        const int before = seen.discoveries;
        m_thread->postDiscover();
        [&] { QTRY_COMPARE_WITH_TIMEOUT(seen.discoveries, before + 1, kSignalTimeoutMs); }();
        return m_thread->discoveredDevices();
    }

    // Discovers and selects the only attached device.
    void selectOnlyDevice(ThreadSignals& seen)
    {
        QCOMPARE(discover(seen).size(), 1);
        m_thread->selectDevice(0);
        QTRY_COMPARE_WITH_TIMEOUT(seen.selections.size(), 1, kSignalTimeoutMs);
    }

    QString writeUpdateFile(const QByteArray& block)
    {
        UpdateFileBuilder file;
        file.blocks = {block};
        return file.writeTo(m_directory.filePath("update.ml2"));
    }

private slots:
    void init()
    {
        m_emulation.start();
        m_thread = std::make_unique<MLPWorkerThread>();
    }

    void cleanup()
    {
        m_thread->stop();
        QVERIFY(m_thread->wait(kSignalTimeoutMs));
        m_thread.reset();
        m_emulation.stop();
    }

    void discoveryWithoutDevicesFindsNothing()
    {
        ThreadSignals seen(*m_thread);
        m_thread->start();
        QVERIFY(discover(seen).isEmpty());
        QCOMPARE(seen.selections.size(), 0);
        QCOMPARE(seen.lostConnections, 0);
    }

    void discoveryListsBridgesBeforeMakerDevices()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1", 0x0100, 0x0107));
        m_emulation->addFtdiBridge(makeDevice("BRIDGE-1"));
        m_emulation->addFtdiBridge(makeDevice("BRIDGE-2"), bridgeNamed("MARLUNE MLP-DGL", "FT0002"));

        ThreadSignals seen(*m_thread);
        m_thread->start();
        const QList<MLPDeviceInfoNode> devices = discover(seen);

        QCOMPARE(devices.size(), 3);
        QCOMPARE(devices[0].address, "usb:m/0");
        QCOMPARE(devices[1].address, "usb:m/1");
        QCOMPARE(devices[2].address, "usb:m/2");
        QCOMPARE(devices[2].model, "MAKER-1");
        QCOMPARE(devices[2].hwVersion, uint16_t{0x0100});
        QCOMPARE(devices[2].fwVersion, uint16_t{0x0107});
        QCOMPARE(devices[2].maxFrameLength, uint16_t{128});
        const QSet<QString> bridges{devices[0].model, devices[1].model};
        QCOMPARE(bridges, (QSet<QString>{"BRIDGE-1", "BRIDGE-2"}));
        QCOMPARE(devices[0].linkKind, MLPLinkKind::FtdiBridge);
        QCOMPARE(devices[1].linkKind, MLPLinkKind::FtdiBridge);
        QCOMPARE(devices[2].linkKind, MLPLinkKind::MakerUsb);
        // The serial each unit reported over USB comes along, so units of one model differ.
        QCOMPARE(devices[2].serial, "ML0001");
        const QSet<QString> bridgeSerials{devices[0].model + '/' + devices[0].serial,
                                          devices[1].model + '/' + devices[1].serial};
        QCOMPARE(bridgeSerials, (QSet<QString>{"BRIDGE-1/FT0001", "BRIDGE-2/FT0002"}));
    }

    void silentDeviceFailsDiscoveryButKeepsTheOthers()
    {
        m_emulation->addFtdiBridge(makeDevice("BRIDGE-1"));
        auto silent = makeDevice("SILENT");
        silent->setSilent(true);
        m_emulation->addMakerDevice(silent);

        MLPDiscoverRequest request;
        QSignalSpy done(&request, &MLPWorkerRequestI::workDone);
        QSignalSpy failed(&request, &MLPWorkerRequestI::failed);
        MLPConnection* connection = nullptr;
        marlune::MLP::MLPPhy* link = nullptr;
        MLPWorkerContext context;
        context.connection = &connection;
        context.link = &link;
        request.run(&context);

        QCOMPARE(done.count(), 0);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().value<MLPWorkerRequestI::failReason>(),
                 MLPWorkerRequestI::OperationFailed);
        QCOMPARE(request.devices().size(), 1);
        QCOMPARE(request.devices().first().model, "BRIDGE-1");
        QCOMPARE(request.devices().first().address, "usb:m/0");
        QCOMPARE(request.missingDevices().unanswered, 1);
        QVERIFY(!connection);
        QVERIFY(!link);
    }

    void selectionReportsVersionsOrUnknown()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1", 0x0102, 0x0315));
        ThreadSignals seen(*m_thread);
        m_thread->start();
        selectOnlyDevice(seen);
        QCOMPARE(seen.selections[0], qMakePair(uint16_t{0x0315}, uint16_t{0x0102}));
        // The whole unit, as a discovery lists it: one rule can then tell whether it is the same.
        QTRY_COMPARE_WITH_TIMEOUT(seen.selectedDevices.size(), 1, kSignalTimeoutMs);
        const MLPDeviceInfoNode selected = seen.selectedDevices.first();
        QCOMPARE(selected.model, QStringLiteral("MAKER-1"));
        QCOMPARE(selected.linkKind, MLPLinkKind::MakerUsb);
        QVERIFY(!selected.serial.isEmpty());
        QVERIFY(selected.isSameUnit(m_thread->discoveredDevices().first()));

        // Beyond the list: posted with an empty address, which opens nothing.
        m_thread->selectDevice(5);
        QTRY_COMPARE_WITH_TIMEOUT(seen.selections.size(), 2, kSignalTimeoutMs);
        QCOMPARE(seen.selections[1], qMakePair(uint16_t{0xFFFF}, uint16_t{0xFFFF}));
        QTRY_COMPARE_WITH_TIMEOUT(seen.selectionsAnswered, (QList<bool>{true, false}), kSignalTimeoutMs);
    }

    void lostSelectedDeviceIsReportedOncePerAnswerTime_data()
    {
        addFlagRows("unplugged", "silent", "unplugged");
    }

    void lostSelectedDeviceIsReportedOncePerAnswerTime()
    {
        QFETCH(bool, unplugged);
        auto device = makeDevice("MAKER-1");
        const int id = m_emulation->addMakerDevice(device);
        ThreadSignals seen(*m_thread);
        m_thread->start();
        selectOnlyDevice(seen);
        QCOMPARE(seen.lostConnections, 0);

        if (unplugged) {
            m_emulation->unplug(id);
        } else {
            device->setSilent(true);
        }
        QTRY_VERIFY_WITH_TIMEOUT(seen.lostConnections >= 2, 3 * kSignalTimeoutMs);
        // A link that refuses every write fails each ping at once: the reports must still
        // come one per answer time-out, not as a stream that spins the worker and floods
        // the window.
        QVERIFY2(seen.lostConnections <= 3, qPrintable(QString::number(seen.lostConnections)));
    }

    void laterPostReplacesPendingDiscovery()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1"));
        ThreadSignals seen(*m_thread);
        // Both posted before the loop runs: only the selection is taken up.
        m_thread->postDiscover();
        m_thread->postSelect(atAddress("usb:m/0"));
        m_thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(seen.selections.size(), 1, kSignalTimeoutMs);
        QCOMPARE(seen.selections[0], qMakePair(uint16_t{0x0203}, uint16_t{0x0100}));
        QTest::qWait(300);
        QCOMPARE(seen.discoveries, 0);
    }

    void updateGoesThroughEachLinkKind_data() { addFlagRows("bridge", "maker USB", "FTDI bridge"); }

    void updateGoesThroughEachLinkKind()
    {
        QFETCH(bool, bridge);
        auto device = makeDevice("DEMO-5");
        if (bridge) {
            m_emulation->addFtdiBridge(device);
        } else {
            m_emulation->addMakerDevice(device);
        }
        ThreadSignals seen(*m_thread);
        m_thread->start();
        selectOnlyDevice(seen);
        device->clearRecords();

        // The write is announced on the worker thread, with the flag that a log-off asks up.
        std::atomic<int> writesStarted{0};
        std::atomic<int> writesFinished{0};
        std::atomic<bool> flaggedWhileWriting{false};
        connect(
            m_thread.get(), &MLPWorkerThread::deviceWriteStarted, this,
            [&] {
                flaggedWhileWriting = m_thread->hasUpdateUnderWay();
                ++writesStarted;
            },
            Qt::DirectConnection);
        connect(
            m_thread.get(), &MLPWorkerThread::deviceWriteFinished, this, [&] { ++writesFinished; },
            Qt::DirectConnection);

        const QByteArray block = patternedBytes(3000, 5, 13);
        MLPUpdateFirmwareRequest request(m_thread->discoveredDevices().first(),
                                         UpdateImage::read(writeUpdateFile(block)));
        UpdateOutcome outcome(request);
        m_thread->postUpdate(&request);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.done + outcome.failed, 1, 4 * kSignalTimeoutMs);

        QCOMPARE(outcome.done, 1);
        QTRY_COMPARE_WITH_TIMEOUT(writesFinished.load(), 1, kSignalTimeoutMs);
        QCOMPARE(writesStarted.load(), 1);
        QVERIFY(flaggedWhileWriting);
        QVERIFY(!m_thread->hasUpdateUnderWay());
        QCOMPARE(outcome.percents.last(), 100);
        QCOMPARE(toBytes(device->transferPayload(UpdateBlock, 0)), block);
        QCOMPARE(device->transferPayload(UpdateHeader, 0).size(), std::size_t{256});
    }

    void updateAfterEmptyDiscoveryFails()
    {
        ThreadSignals seen(*m_thread);
        m_thread->start();
        discover(seen);
        MLPUpdateFirmwareRequest request(atAddress("usb:m/0"),
                                         UpdateImage::read(writeUpdateFile(patternedBytes(100, 5, 13))));
        UpdateOutcome outcome(request);
        m_thread->postUpdate(&request);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.failed, 1, kSignalTimeoutMs);
        QCOMPARE(outcome.done, 0);
    }

    void pendingUpdateIsNotDroppedByALaterSelection()
    {
        m_emulation->addMakerDevice(makeDevice("DEMO-5"));
        ThreadSignals seen(*m_thread);
        m_thread->start();
        selectOnlyDevice(seen);

        // The list stays usable during an update: a selection posted while the update is
        // still pending (pings run meanwhile) runs after it instead of replacing it.
        const MLPDeviceInfoNode unit = m_thread->discoveredDevices().first();
        MLPUpdateFirmwareRequest request(unit,
                                         UpdateImage::read(writeUpdateFile(patternedBytes(500, 5, 13))));
        UpdateOutcome outcome(request);
        m_thread->postUpdate(&request);
        m_thread->postSelect(unit);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.done + outcome.failed, 1, 4 * kSignalTimeoutMs);
        QCOMPARE(outcome.done, 1);
        QTRY_COMPARE_WITH_TIMEOUT(seen.selections.size(), 2, kSignalTimeoutMs);
    }

    void stopEndsLoopAfterRunningRequest()
    {
        m_emulation->addMakerDevice(makeDevice("MAKER-1"));
        ThreadSignals seen(*m_thread);
        m_thread->start();
        selectOnlyDevice(seen);
        m_thread->stop();
        QVERIFY(m_thread->wait(kSignalTimeoutMs));
        QVERIFY(m_thread->isFinished());
    }

    // A stop that comes before the new thread has begun its loop still ends it.
    void stopRightAfterStartJoins()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            MLPWorkerThread thread;
            thread.start();
            thread.stop();
            QVERIFY(thread.wait(kSignalTimeoutMs));
        }
    }
};

QTEST_GUILESS_MAIN(TestMLPWorkerThread)
#include "tst_mlpworkerthread.moc"

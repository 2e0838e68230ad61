#include "emulatedbus.h"
#include "minisignsigner.h"
#include "mlpcommand.h"
#include "mlptransport.h"
#include "mlpworkerthread.h"
#include "patternedbytes.h"
#include "rigupdaterun.h"
#include "timedfaultendpoint.h"
#include "unitwatch.h"
#include "updatefilebuilder.h"
#include "updatehistory.h"
#include "updatesession.h"
#include "updatetext.h"
#include "usbhotplugwatcher.h"
#include "workerdevices.h"
#include "workerthreadsignals.h"

#include <QCryptographicHash>
#include <QtTest>

#include <memory>

using namespace marlune::testing;
using State = UpdateSession::State;

Q_DECLARE_METATYPE(UpdateSession::Refusal)

namespace {

constexpr int kSignalTimeoutMs = 30000;

} // namespace

// One update session on the real worker thread, against virtual devices on the emulated bus:
// which states it passes through, what reached the device and what the history holds.
class TestUpdateSession : public QObject
{
    Q_OBJECT

private:
    EmulatedBus m_emulation;
    std::unique_ptr<MLPWorkerThread> m_thread;
    std::unique_ptr<WorkerThreadSignals> m_seen;
    QTemporaryDir m_directory;

    QList<MLPDeviceInfoNode> discover()
    {
        const int before = m_seen->discoveries;
        m_thread->postDiscover();
        [&] { QTRY_COMPARE_WITH_TIMEOUT(m_seen->discoveries, before + 1, kSignalTimeoutMs); }();
        return m_thread->discoveredDevices();
    }

    QString historyPath() const { return m_directory.filePath(QStringLiteral("history.jsonl")); }

private slots:
    void init()
    {
        m_emulation.start();
        m_thread = std::make_unique<MLPWorkerThread>();
        m_seen = std::make_unique<WorkerThreadSignals>(*m_thread);
        m_thread->start();
        QFile::remove(historyPath());
    }

    void cleanup()
    {
        m_thread->stop();
        QVERIFY(m_thread->wait(kSignalTimeoutMs));
        m_seen.reset();
        m_thread.reset();
        m_emulation.stop();
    }

    void statesFollowWhatTheUnitAndTheFileAllow_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<State>>("states");
        QTest::addColumn<UpdateSession::Refusal>("refusal");
        QTest::addColumn<bool>("blocksSent");
        using Refusal = UpdateSession::Refusal;
        const QList<State> succeeded{State::Checking, State::Writing, State::Verifying, State::Done};
        const QList<State> refused{State::Checking, State::Refused};
        QTest::newRow("fits") << "fits" << succeeded << Refusal::None << true;
        QTest::newRow("unit moved since it was chosen") << "moved" << succeeded << Refusal::None << true;
        // The person's pick goes to the worker thread's own pending place; the update's unit is its own.
        QTest::newRow("neighbour selected while writing") << "pick" << succeeded << Refusal::None << true;
        QTest::newRow("unit keeps its old firmware")
            << "keeps" << QList<State>{State::Checking, State::Writing, State::Verifying, State::Unconfirmed}
            << Refusal::None << true;
        QTest::newRow("file for another model") << "other model" << refused << Refusal::Request << false;
        QTest::newRow("file cut short") << "truncated" << refused << Refusal::Request << false;
        QTest::newRow("unsigned file") << "unsigned" << refused << Refusal::Request << false;
        QTest::newRow("unsigned file, allowed") << "unsigned, allowed" << succeeded << Refusal::None << true;
        QTest::newRow("signed by a key not trusted") << "stranger" << refused << Refusal::Request << false;
        QTest::newRow("block changed after signing") << "changed" << refused << Refusal::Request << false;
        // Allowing unsigned files never lets through one whose signature does not hold.
        QTest::newRow("block changed after signing, unsigned allowed")
            << "changed, allowed" << refused << Refusal::Request << false;
        QTest::newRow("signed for another version")
            << "other version" << refused << Refusal::Request << false;
        QTest::newRow("unit gone") << "gone" << refused << Refusal::NotAttached << false;
        // A newcomer takes the place the unit was listed at; the unit is not there by its serial.
        QTest::newRow("another unit in its place") << "replaced" << refused << Refusal::NotAttached << false;
        QTest::newRow("another model under the unit's serial number")
            << "swapped" << refused << Refusal::OtherUnit << false;
        // Attached and listed, but another program has claimed it: not "no longer attached".
        QTest::newRow("held by another program") << "held" << refused << Refusal::Held << false;
        // Nothing happened to the unit: the history has nothing to record.
        QTest::newRow("stopped while the unit is checked") << "stop" << refused << Refusal::Stopped << false;
        QTest::newRow("device refuses a block")
            << "refuses" << QList<State>{State::Checking, State::Writing, State::Failed} << Refusal::None
            << false;
    }

    void statesFollowWhatTheUnitAndTheFileAllow()
    {
        QFETCH(QString, situation);
        QFETCH(QList<State>, states);
        QFETCH(UpdateSession::Refusal, refusal);
        QFETCH(bool, blocksSent);

        // Two units of one model; the one listed second is updated, so that it has a place
        // to move to and a neighbour that must get nothing.
        auto first = makeDevice("DEMO-5");
        auto second = makeDevice("DEMO-5");
        const int firstId = m_emulation->addMakerDevice(first, makerWithSerial("A1"));
        const int secondId = m_emulation->addMakerDevice(second, makerWithSerial("A2"));
        const QList<MLPDeviceInfoNode> listed = discover();
        QCOMPARE(listed.size(), 2);
        const MLPDeviceInfoNode unit = listed.at(1);
        const bool unitIsFirst = unit.serial == QStringLiteral("A1");
        auto device = unitIsFirst ? first : second;
        auto neighbour = unitIsFirst ? second : first;
        const int deviceId = unitIsFirst ? firstId : secondId;
        const int neighbourId = unitIsFirst ? secondId : firstId;
        device->setInstallsUpdates(situation != "keeps");

        UpdateFileBuilder file;
        file.firmwareVersion = 0x0210;
        file.blocks = {patternedBytes(700, 3, 11), patternedBytes(90, 4, 11)};
        MLU2FileWriter writer = file.writer();
        if (situation == "other model") {
            file.model = "DEMO-7";
            writer = file.writer();
        } else if (situation == "truncated") {
            writer.truncateTo(MLU2FileWriter::kFirstBlockOffset + 100);
        } else if (situation == "refuses") {
            device->failSegment(8, 0x07);
        }
        const QString path = UpdateFileBuilder::write(writer, m_directory.filePath("update.ml2"));
        if (situation.startsWith("unsigned")) {
            MinisignSigner::removeSignature(path);
        } else if (situation == "stranger") {
            MinisignSigner::sign(path, "model=DEMO-5 firmware=2.16", MinisignSigner::Key::Stranger);
        } else if (situation == "other version") {
            MinisignSigner::sign(path, "model=DEMO-5 firmware=2.15");
        } else if (situation.startsWith("changed")) {
            QFile changed(path);
            QVERIFY(changed.open(QIODevice::ReadWrite));
            QVERIFY(changed.seek(MLU2FileWriter::kFirstBlockOffset + 5));
            QVERIFY(changed.putChar('\x7f'));
        }

        if (situation == "gone" || situation == "replaced" || situation == "swapped" || situation == "held") {
            m_emulation->unplug(deviceId);
        }
        if (situation == "held") {
            MakerDeviceOptions held = makerWithSerial(unit.serial.toStdString());
            held.interfaceBusy = true;
            m_emulation->addMakerDevice(makeDevice("DEMO-5"), held);
        }
        if (situation == "replaced") {
            // The only place free for the newcomer is the one the unit was listed at.
            m_emulation->addMakerDevice(makeDevice("DEMO-5"), makerWithSerial("A3"));
        } else if (situation == "swapped") {
            m_emulation->addMakerDevice(makeDevice("DEMO-7"), makerWithSerial(unit.serial.toStdString()));
        } else if (situation == "moved") {
            // A discovery made since lists the unit at the place its neighbour had.
            m_emulation->unplug(neighbourId);
            QCOMPARE(discover().first().serial, unit.serial);
        }

        UpdateSession session(*m_thread, historyPath());
        if (situation.endsWith("allowed")) {
            session.allowUnsigned();
        }
        QList<State> seen;
        connect(&session, &UpdateSession::stateChanged, this, [&](State state) {
            seen << state;
            if (situation == "stop" && state == State::Checking) {
                QVERIFY(session.stopBeforeWriting());
            }
            if (situation == "pick" && state == State::Writing) {
                m_thread->postSelect(listed.at(unitIsFirst ? 1 : 0));
            }
        });
        session.start(unit, UpdateImage::read(path));
        QTRY_VERIFY_WITH_TIMEOUT(session.hasEnded(), 4 * kSignalTimeoutMs);

        QCOMPARE(seen, states);
        QCOMPARE(session.refusal(), refusal);
        QVERIFY(session.unit().isSameUnit(unit));
        const QByteArray header = toBytes(device->transferPayload(UpdateHeader, 0));
        const QByteArray sent = header + toBytes(device->transferPayload(UpdateBlock, 0)) +
                                toBytes(device->transferPayload(UpdateBlock, 1));
        QCOMPARE(sent == writer.header() + file.blocks.at(0) + file.blocks.at(1), blocksSent);
        QCOMPARE(neighbour->dataSegmentCount(), std::size_t{0});

        QStringList warnings;
        const QList<UpdateHistoryEntry> history = UpdateHistory(historyPath()).read(warnings);
        if (refusal == UpdateSession::Refusal::Stopped) {
            QCOMPARE(session.outcome().stop, MLPUpdateOutcome::StopAnswer::BeforeWriting);
            QVERIFY(history.isEmpty());
            return;
        }
        QCOMPARE(history.size(), 1);
        const UpdateHistoryEntry& entry = history.first();
        QCOMPARE(entry.succeeded, session.confirmed());
        QCOMPARE(entry.serial, unit.serial);
        QCOMPARE(entry.file, QFileInfo(path).absoluteFilePath());
        QCOMPARE(entry.reason, UpdateText::reason(session));
        QCOMPARE(entry.reason.isEmpty(), session.confirmed());
        // Who signed what was written, or that no trusted key did.
        const bool trusted = !situation.startsWith("unsigned") && situation != "stranger" &&
                             !situation.startsWith("changed") && situation != "other version";
        QCOMPARE(entry.signedBy, trusted ? QStringLiteral("demo") : QString());
        QCOMPARE(entry.keyId, situation.startsWith("unsigned") ? QString()
                              : situation == "stranger" ? MinisignSigner::keyId(MinisignSigner::Key::Stranger)
                                                        : MinisignSigner::keyId(MinisignSigner::Key::Demo));
        const QMap<QString, QString> reasons{
            {"unsigned", "the update file is not signed, and unsigned files were not allowed"},
            {"stranger", "signed by key 2D0F3B0F072539CA, which is not trusted"},
            {"changed", "the file was changed after it was signed"},
            {"changed, allowed", "the file was changed after it was signed"},
            {"other version", "the signature is for DEMO-5 2.15"},
        };
        QVERIFY2(entry.reason.contains(reasons.value(situation, entry.reason)), qPrintable(entry.reason));
        if (blocksSent) {
            // The hash is of what the device received, not of another read of the file.
            QCOMPARE(entry.fileSha256,
                     QString::fromLatin1(QCryptographicHash::hash(sent, QCryptographicHash::Sha256).toHex()));
            QCOMPARE(entry.versionBefore, QStringLiteral("2.03"));
            QCOMPARE(entry.versionWritten, QStringLiteral("2.16"));
            // Asked afterwards, a device that installs what it is sent reports it; the other
            // still reports what it had, and the verdict says so.
            const QString after = situation == "keeps" ? QStringLiteral("2.03") : QStringLiteral("2.16");
            QCOMPARE(entry.versionAfter, after);
            QCOMPARE(MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion), after);
            QCOMPARE(entry.reason.contains(QStringLiteral("reports firmware 2.03, not 2.16")),
                     situation == "keeps");
        } else {
            QVERIFY(entry.versionWritten.isEmpty());
            QVERIFY(entry.versionAfter.isEmpty());
        }
    }

    void sessionEndedWithTheProgramWaitsForItsRequest_data()
    {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("whileWriting");
        QTest::newRow("in the queue, not begun") << false << false;
        QTest::newRow("in the queue, writing") << false << true;
        QTest::newRow("beside, not begun") << true << false;
        QTest::newRow("beside, writing") << true << true;
    }

    // The program ends (a forced log-off, the window closed) and the session goes while its
    // request is posted or its unit is written: the request is not pulled from under the thread
    // that runs it. One not begun sends nothing; a write runs whole and is recorded.
    void sessionEndedWithTheProgramWaitsForItsRequest()
    {
        QFETCH(bool, beside);
        QFETCH(bool, whileWriting);
        auto device = makeDevice("DEMO-5");
        device->setInstallsUpdates(true);
        // Slow enough that the session goes while the write is under way.
        device->setAnswerDelay(5);
        m_emulation->addMakerDevice(device, makerWithSerial("A1"));
        const QList<MLPDeviceInfoNode> listed = discover();
        QCOMPARE(listed.size(), 1);
        UpdateFileBuilder file;
        file.firmwareVersion = 0x0210;
        file.blocks = {patternedBytes(700, 3, 11)};
        const QString path = UpdateFileBuilder::write(file.writer(), m_directory.filePath("update.ml2"));

        auto session = std::make_unique<UpdateSession>(*m_thread, historyPath());
        if (beside) {
            session->runBesideOthers();
        }
        session->start(listed.first(), UpdateImage::read(path));
        if (whileWriting) {
            QTRY_VERIFY_WITH_TIMEOUT(device->dataSegmentCount() > 0, kSignalTimeoutMs);
        }
        session.reset();
        QVERIFY(!m_thread->hasUpdateUnderWay());

        const QByteArray sent = toBytes(device->transferPayload(UpdateHeader, 0)) +
                                toBytes(device->transferPayload(UpdateBlock, 0));
        QCOMPARE(sent == file.writer().header() + file.blocks.first(), whileWriting);
        QStringList warnings;
        const QList<UpdateHistoryEntry> history = UpdateHistory(historyPath()).read(warnings);
        QCOMPARE(history.size(), whileWriting ? 1 : 0);
        if (whileWriting) {
            QVERIFY(history.first().succeeded);
            QCOMPARE(history.first().versionAfter, QStringLiteral("2.16"));
        }
    }

    void rigRunWritesItsUnitsSideBySide_data()
    {
        QTest::addColumn<int>("maxAtOnce");
        QTest::addColumn<bool>("stop");
        // The four units: maker USB with serial numbers of their own; FTDI bridges with these
        // serial numbers, none, or all the same one, told apart only by the ports they sit on.
        QTest::addColumn<QStringList>("bridgeSerials");
        QTest::addColumn<bool>("replaceFile");
        const QStringList makers;
        QTest::newRow("all at once") << 0 << false << makers << false;
        QTest::newRow("two at once") << 2 << false << makers << false;
        QTest::newRow("one at a time, stopped during the first") << 1 << true << makers << false;
        QTest::newRow("one at a time, the file replaced during the first") << 1 << false << makers << true;
        QTest::newRow("bridges without serial numbers, all at once")
            << 0 << false << QStringList{"", "", "", ""} << false;
        QTest::newRow("bridges sharing one serial number, all at once")
            << 0 << false << QStringList{"A5028", "A5028", "A5028", "A5028"} << false;
    }

    // Four units, the third of which refuses a block: the run starts as many as it may at
    // once, the failure stops no other, each unit is written and recorded once, in the order
    // the units ended, under the address it was listed at. Stopped, it lets the unit being
    // written finish and starts no other. Every unit gets the bytes read at the start, whatever
    // the file on disk holds later.
    void rigRunWritesItsUnitsSideBySide()
    {
        QFETCH(int, maxAtOnce);
        QFETCH(bool, stop);
        QFETCH(QStringList, bridgeSerials);
        QFETCH(bool, replaceFile);
        QList<std::shared_ptr<VirtualDevice>> devices;
        QHash<QString, std::shared_ptr<VirtualDevice>> devicesByPort;
        for (int index = 0; index < 4; ++index) {
            devices << makeDevice("DEMO-5");
            devices.last()->setInstallsUpdates(true);
            const int id = bridgeSerials.isEmpty()
                               ? m_emulation->addMakerDevice(devices.last(),
                                                             makerWithSerial("A" + std::to_string(index + 1)))
                               : m_emulation->addFtdiBridge(
                                     devices.last(),
                                     bridgeNamed("MARLUNE MLP-DEV", bridgeSerials.at(index).toStdString()));
            devicesByPort.insert(QString::fromStdString(m_emulation->portPath(id)), devices.last());
        }
        const QList<MLPDeviceInfoNode> listed = discover();
        QCOMPARE(listed.size(), 4);
        UpdateFileBuilder file;
        file.firmwareVersion = 0x0210;
        file.blocks = {patternedBytes(700, 3, 11)};
        const QString path = UpdateFileBuilder::write(file.writer(), m_directory.filePath("update.ml2"));
        const auto deviceOf = [&](const MLPDeviceInfoNode& unit) {
            return devicesByPort.value(unit.portPath);
        };
        for (const MLPDeviceInfoNode& unit : listed) {
            QVERIFY2(deviceOf(unit), qPrintable(unit.portPath));
        }
        deviceOf(listed.at(2))->failSegment(3, 0x07);

        RigUpdateRun run(*m_thread, historyPath());
        run.setMaxAtOnce(maxAtOnce);
        int running = 0;
        int mostAtOnce = 0;
        int startedBeforeFirstEnd = -1;
        QList<int> notStarted;
        QStringList ended;
        connect(&run, &RigUpdateRun::unitStateChanged, this, [&](int, const UpdateSession& session) {
            if (session.state() == State::Checking) {
                mostAtOnce = std::max(mostAtOnce, ++running);
            }
            if (stop && session.state() == State::Writing && notStarted.isEmpty()) {
                notStarted = run.stop();
            }
            if (replaceFile && session.state() == State::Writing) {
                UpdateFileBuilder other = file;
                other.firmwareVersion = 0x0211;
                other.blocks = {patternedBytes(700, 5, 13)};
                UpdateFileBuilder::write(other.writer(), path);
            }
        });
        connect(&run, &RigUpdateRun::unitEnded, this, [&](int unit, const UpdateSession& session) {
            if (startedBeforeFirstEnd < 0) {
                startedBeforeFirstEnd = running;
            }
            --running;
            // Named as listed, never counted again while other units hold their links.
            QCOMPARE(session.unit().address, listed.at(unit).address);
            ended << session.unit().address;
        });
        const UpdateImage image = UpdateImage::read(path);
        for (const MLPDeviceInfoNode& unit : listed) {
            run.add(unit, image);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!run.isRunning(), 4 * kSignalTimeoutMs);

        const int allowed = maxAtOnce == 0 ? 4 : maxAtOnce;
        QCOMPARE(mostAtOnce, allowed);
        QCOMPARE(startedBeforeFirstEnd, allowed);
        QCOMPARE(notStarted, stop ? (QList<int>{1, 2, 3}) : QList<int>());
        QStringList warnings;
        QStringList recorded;
        const QByteArray sentFirst = file.writer().header() + file.blocks.first();
        const QString hash =
            QString::fromLatin1(QCryptographicHash::hash(sentFirst, QCryptographicHash::Sha256).toHex());
        for (const UpdateHistoryEntry& entry : UpdateHistory(historyPath()).read(warnings)) {
            recorded << entry.address;
            QCOMPARE(entry.succeeded, entry.address != listed.at(2).address);
            QCOMPARE(entry.fileSha256, hash);
        }
        QCOMPARE(recorded, ended);
        QCOMPARE(recorded.size(), stop ? 1 : 4);
        // Each device got exactly its own one image: as many segments as one update takes.
        const std::size_t oneUpdate = deviceOf(listed.first())->dataSegmentCount();
        for (const MLPDeviceInfoNode& unit : listed) {
            const bool written = !stop || unit.isSameUnit(listed.first());
            QCOMPARE(deviceOf(unit)->transferPayload(UpdateHeader, 0).empty(), !written);
            if (written && !unit.isSameUnit(listed.at(2))) {
                QCOMPARE(toBytes(deviceOf(unit)->transferPayload(UpdateHeader, 0)) +
                             toBytes(deviceOf(unit)->transferPayload(UpdateBlock, 0)),
                         sentFirst);
                QCOMPARE(deviceOf(unit)->dataSegmentCount(), oneUpdate);
            }
        }
    }

    // A watched unit restarts after its update and leaves the bus meanwhile; a look that
    // lists the bus in its absence is still asking a silent device when the unit's update has
    // ended. Leaving the bus for its own update is no new attachment: it is written once, also
    // where units at the file's firmware are to be written.
    void watchedUnitThatRestartsIsWrittenOnce()
    {
        auto device = makeDevice("DEMO-5");
        device->setInstallsUpdates(true);
        const auto plugIn = [&](std::shared_ptr<DeviceEndpoint> endpoint) {
            return m_emulation->addMakerDevice(std::move(endpoint), makerWithSerial("A1"));
        };
        UpdateFileBuilder file;
        file.firmwareVersion = 0x0210;
        file.blocks = {patternedBytes(300, 3, 11)};
        const UpdateImage image = UpdateImage::read(file.writeTo(m_directory.filePath("update.ml2")));
        // Once listed and written, to learn how many frames that takes: its last is the question
        // after the update, at which the unit will leave the bus the second time.
        const int firstId = plugIn(device);
        UpdateSession first(*m_thread, historyPath());
        first.start(discover().first(), image);
        QTRY_VERIFY_WITH_TIMEOUT(first.hasEnded(), kSignalTimeoutMs);
        const std::size_t framesOfAListingAndAnUpdate = device->frameCount();
        m_emulation->unplug(firstId);
        auto endpoint = std::make_shared<TimedFaultEndpoint>(device);
        endpoint->unplugOnFrame(2 * framesOfAListingAndAnUpdate - 1);
        plugIn(endpoint);

        RigUpdateRun run(*m_thread, historyPath());
        run.setLeaveAlone({false, false});
        UnitWatch watch(*m_thread, run);
        connect(&watch, &UnitWatch::unitsAppeared, this, [&](const QList<MLPDeviceInfoNode>& units) {
            for (const MLPDeviceInfoNode& unit : units) {
                run.add(unit, image);
            }
        });
        int writes = 0;
        int discoveriesAtRestart = 0;
        connect(&run, &RigUpdateRun::unitStateChanged, this, [&](int, const UpdateSession& session) {
            writes += session.state() == State::Writing ? 1 : 0;
            if (session.state() != State::Verifying) {
                return;
            }
            QVERIFY(QTest::qWaitFor([&] { return !endpoint->isAttached(); }, kSignalTimeoutMs));
            auto silent = makeDevice("DEMO-5");
            silent->setSilent(true);
            m_emulation->addMakerDevice(silent, makerWithSerial("S1"));
            discoveriesAtRestart = m_seen->discoveries;
            emit watch.findChild<UsbHotplugWatcher*>()->devicesChanged();
            // Back once the look has listed the bus, long before it has waited out the silent one.
            QTimer::singleShot(300, this, [&] {
                plugIn(device);
                emit watch.findChild<UsbHotplugWatcher*>()->devicesChanged();
            });
        });
        watch.start({});
        QTRY_COMPARE_WITH_TIMEOUT(writes, 1, kSignalTimeoutMs);
        // The look under way ends after the unit's update; the one its return asked for comes next.
        QTRY_VERIFY_WITH_TIMEOUT(discoveriesAtRestart > 0 && m_seen->discoveries >= discoveriesAtRestart + 2,
                                 4 * kSignalTimeoutMs);
        watch.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!run.isRunning(), kSignalTimeoutMs);
        QCOMPARE(writes, 1);
        QStringList warnings;
        QCOMPARE(UpdateHistory(historyPath()).read(warnings).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestUpdateSession)
#include "tst_updatesession.moc"

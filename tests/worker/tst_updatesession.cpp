#include "emulatedbus.h"
#include "mlpcommand.h"
#include "mlpworkerthread.h"
#include "patternedbytes.h"
#include "updatefilebuilder.h"
#include "updatehistory.h"
#include "updatesession.h"
#include "updatetext.h"
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
        const QList<State> refusedByRequest{State::Checking, State::Writing, State::Refused};
        QTest::newRow("fits") << "fits" << succeeded << Refusal::None << true;
        QTest::newRow("unit moved since it was chosen") << "moved" << succeeded << Refusal::None << true;
        // It may be restarting: the update stands, with no version afterwards.
        QTest::newRow("unit silent once written") << "silent after" << succeeded << Refusal::None << true;
        QTest::newRow("started on the selected unit")
            << "selected" << QList<State>{State::Writing, State::Verifying, State::Done} << Refusal::None
            << true;
        QTest::newRow("file for another model")
            << "other model" << refusedByRequest << Refusal::Request << false;
        QTest::newRow("file cut short") << "truncated" << refusedByRequest << Refusal::Request << false;
        QTest::newRow("unit gone") << "gone" << QList<State>{State::Checking, State::Refused}
                                   << Refusal::NoAnswer << false;
        QTest::newRow("another unit in its place")
            << "replaced" << QList<State>{State::Checking, State::Refused} << Refusal::OtherUnit << false;
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
        device->setInstallsUpdates(true);

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

        if (situation == "gone" || situation == "replaced") {
            m_emulation->unplug(deviceId);
        }
        if (situation == "replaced") {
            // The only place free for the newcomer is the one the unit was listed at.
            m_emulation->addMakerDevice(makeDevice("DEMO-5"), makerWithSerial("A3"));
        } else if (situation == "moved") {
            // A discovery made since lists the unit at the place its neighbour had.
            m_emulation->unplug(neighbourId);
            QCOMPARE(discover().first().serial, unit.serial);
        }

        UpdateSession session(*m_thread, historyPath());
        QList<State> seen;
        connect(&session, &UpdateSession::stateChanged, this, [&](State state) {
            seen << state;
            device->setSilent(situation == "silent after" && state == State::Verifying);
        });
        if (situation == "selected") {
            m_thread->postSelect(unit.address);
            QTRY_COMPARE_WITH_TIMEOUT(m_seen->selectedDevices.size(), 1, kSignalTimeoutMs);
            session.startOnSelected(m_seen->selectedDevices.first(), path);
        } else {
            session.start(unit, path);
        }
        QTRY_VERIFY_WITH_TIMEOUT(session.hasEnded(), 4 * kSignalTimeoutMs);

        QCOMPARE(seen, states);
        QCOMPARE(session.refusal(), refusal);
        QVERIFY(session.unit().isSameUnit(unit) || refusal == UpdateSession::Refusal::OtherUnit);
        const QByteArray header = toBytes(device->transferPayload(UpdateHeader, 0));
        const QByteArray sent = header + toBytes(device->transferPayload(UpdateBlock, 0)) +
                                toBytes(device->transferPayload(UpdateBlock, 1));
        QCOMPARE(sent == writer.header() + file.blocks.at(0) + file.blocks.at(1), blocksSent);
        QCOMPARE(neighbour->dataSegmentCount(), std::size_t{0});

        QStringList warnings;
        const QList<UpdateHistoryEntry> history = UpdateHistory(historyPath()).read(warnings);
        QCOMPARE(history.size(), 1);
        const UpdateHistoryEntry& entry = history.first();
        QCOMPARE(entry.succeeded, session.succeeded());
        QCOMPARE(entry.serial, unit.serial);
        QCOMPARE(entry.file, QFileInfo(path).absoluteFilePath());
        QCOMPARE(entry.reason, UpdateText::reason(session));
        QCOMPARE(entry.reason.isEmpty(), session.succeeded());
        if (session.succeeded()) {
            // The hash is of what the device received, not of another read of the file.
            QCOMPARE(entry.fileSha256,
                     QString::fromLatin1(QCryptographicHash::hash(sent, QCryptographicHash::Sha256).toHex()));
            QCOMPARE(entry.versionBefore, QStringLiteral("2.03"));
            QCOMPARE(entry.versionWritten, QStringLiteral("2.16"));
            // The device installs what it is sent; asked afterwards it reports it.
            const bool answersAfterwards = situation != "silent after";
            QCOMPARE(entry.versionAfter, answersAfterwards ? QStringLiteral("2.16") : QString());
            QCOMPARE(session.unitAfter().fwVersion, answersAfterwards ? uint16_t{0x0216} : uint16_t{0});
        } else {
            QVERIFY(entry.versionWritten.isEmpty());
            QVERIFY(entry.versionAfter.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateSession)
#include "tst_updatesession.moc"

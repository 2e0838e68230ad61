#include "fakeclock.h"
#include "mlpcommand.h"
#include "mlpconnection.h"
#include "mlptransport.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkercontext.h"
#include "patternedbytes.h"
#include "updatefilebuilder.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"
#include "workerdevices.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace marlune::testing;

using Transfers = std::vector<std::pair<uint8_t, uint16_t>>;
Q_DECLARE_METATYPE(Transfers)
Q_DECLARE_METATYPE(MLPUpdateOutcome::Phase)
Q_DECLARE_METATYPE(UpdateFileVerdict::Kind)
Q_DECLARE_METATYPE(MLPUpdateOutcome::UnitProblem)
Q_DECLARE_METATYPE(MLPUpdateOutcome::StopAnswer)

namespace {

// A device the update files of these tests are made for: the builder's model and hardware version.
VirtualDeviceIdentity fittingIdentity()
{
    const UpdateFileBuilder file;
    VirtualDeviceIdentity identity;
    identity.model = file.model.toStdString();
    identity.hwVersion = file.hardwareVersions.first();
    return identity;
}

// What the refusing link reports as its reason.
constexpr int32_t kLinkError = 4;
constexpr int kStressTimeoutMs = 60000;

// An update request run on the test thread against a virtual device that answers at
// once, with a shared fake clock so missing acknowledgements and waits for a restarting
// unit pass without waiting. Every link the request opens to its unit goes to that device.
struct UpdateRig
{
    explicit UpdateRig(uint16_t maxFrameLength)
    {
        VirtualDeviceIdentity identity = fittingIdentity();
        identity.maxFrameLength = maxFrameLength;
        device.setIdentity(identity);
        device.setClock(clock.nowFunction());
        unit.linkKind = marlune::MLP::MLPLinkKind::MakerUsb;
        unit.serial = QStringLiteral("V1");
        unit.address = QStringLiteral("usb:m/0");
    }

    static MLPUnitLinks::Opening openUnit(void* rig, const MLPDeviceInfoNode& unit)
    {
        auto& self = *static_cast<UpdateRig*>(rig);
        self.looksForUnit.append(unit.serial);
        MLPUnitLinks::Opening opening;
        opening.problem = self.openProblem;
        // Away for this many looks: the unit is not on the bus, then comes back answering.
        if (self.absentLooks > 0) {
            if (--self.absentLooks == 0) {
                self.device.setSilent(false);
                self.serial = self.comesBackAs;
            }
            opening.problem = MLPUnitLinks::Problem::NotAttached;
            return opening;
        }
        if (opening.problem != MLPUnitLinks::Problem::None) {
            return opening;
        }
        opening.where.linkKind = marlune::MLP::MLPLinkKind::MakerUsb;
        opening.where.serial = self.serial;
        // Whatever the opening says, the unit keeps the address it was named by.
        opening.where.address = QStringLiteral("usb:m/7");
        auto link = std::make_unique<VirtualDevicePhy>(self.device, &self.clock);
        link->refuseWritesFrom(self.refusedFrom, kLinkError);
        opening.link = std::move(link);
        return opening;
    }

    // Runs the request and returns its progress values; exactly one final signal is checked,
    // and the request's outcome is kept in `outcome`. `onVerifying` runs once the device has
    // taken the whole file.
    QList<int> run(const QString& path, bool expectSuccess, const std::function<void()>& onVerifying = {})
    {
        MLPUpdateFirmwareRequest request(unit, UpdateImage::read(path));
        if (stopBeforeWriting) {
            request.stopBeforeWriting();
        }
        QSignalSpy progress(&request, &MLPUpdateFirmwareRequest::progress);
        QSignalSpy done(&request, &MLPWorkerRequestI::workDone);
        QSignalSpy failed(&request, &MLPWorkerRequestI::failed);
        if (onVerifying) {
            QObject::connect(&request, &MLPUpdateFirmwareRequest::verifying, onVerifying);
        }
        if (stopOnceChecked) {
            QObject::connect(
                &request, &MLPUpdateFirmwareRequest::unitChecked, &request,
                [&] { stopCameFirst = request.stopBeforeWriting(); }, Qt::DirectConnection);
        }

        MLPWorkerContext context;
        context.units = {&UpdateRig::openUnit, this};
        context.clock = {&FakeClock::nowCallback, &FakeClock::sleepCallback, &clock};
        request.run(&context);
        outcome = request.outcome();

        [&] {
            QCOMPARE(done.count(), expectSuccess ? 1 : 0);
            QCOMPARE(failed.count(), expectSuccess ? 0 : 1);
            if (!expectSuccess) {
                QCOMPARE(failed.first().first().value<MLPWorkerRequestI::failReason>(),
                         MLPWorkerRequestI::OperationFailed);
            }
        }();

        QList<int> percents;
        for (const QList<QVariant>& arguments : progress) {
            percents.append(arguments.first().toInt());
        }
        return percents;
    }

    FakeClock clock{1000};
    VirtualDevice device;
    MLPDeviceInfoNode unit;
    // The link refuses the write with this number (counted from 0 over each link) and later ones.
    std::size_t refusedFrom = SIZE_MAX;
    int absentLooks = 0;
    // The serial number of the device the unit's links lead to, and of the one found after
    // the unit has been away.
    QString serial = QStringLiteral("V1");
    QString comesBackAs = QStringLiteral("V1");
    MLPUnitLinks::Problem openProblem = MLPUnitLinks::Problem::None;
    bool stopBeforeWriting = false;
    // Stopped as the check lets the write begin: too late, and stopBeforeWriting() says so.
    bool stopOnceChecked = false;
    bool stopCameFirst = false;
    // The serial number of every look for the unit.
    QStringList looksForUnit;
    MLPUpdateOutcome outcome;
};

// Runs posted update requests one after another on a thread of its own, against an instant
// virtual device, the way the worker thread runs them; knows nothing of a request once its
// run() has returned.
class RequestRunner
{
public:
    RequestRunner()
    {
        m_device.setRecording(false);
        m_device.setIdentity(fittingIdentity());
        m_thread = std::thread([this] { runPosted(); });
    }

    ~RequestRunner()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void post(MLPWorkerRequestI* request)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending.push_back(request);
        }
        m_wake.notify_all();
    }

private:
    void runPosted()
    {
        while (MLPWorkerRequestI* request = next()) {
            MLPWorkerContext context;
            context.units = {&RequestRunner::openDevice, this};
            request->run(&context);
        }
    }

    static MLPUnitLinks::Opening openDevice(void* runner, const MLPDeviceInfoNode&)
    {
        MLPUnitLinks::Opening opening;
        opening.link = std::make_unique<VirtualDevicePhy>(static_cast<RequestRunner*>(runner)->m_device);
        opening.problem = MLPUnitLinks::Problem::None;
        return opening;
    }

    MLPWorkerRequestI* next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_stopping) {
            return nullptr;
        }
        MLPWorkerRequestI* request = m_pending.front();
        m_pending.pop_front();
        return request;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<MLPWorkerRequestI*> m_pending;
    bool m_stopping = false;
    VirtualDevice m_device;
    std::thread m_thread;
};

} // namespace

class TestMLPUpdateFirmwareRequest : public QObject
{
    Q_OBJECT

private:
    QString writeFile(const MLU2FileWriter& writer, const QString& name = "update.ml2")
    {
        return UpdateFileBuilder::write(writer, m_directory.filePath(name));
    }

    static MLU2FileWriter twoBlockFile()
    {
        UpdateFileBuilder file;
        file.deviceData = 0x12345678;
        file.blocks = {patternedBytes(100, 1, 7), patternedBytes(30, 2, 7)};
        MLU2FileWriter writer = file.writer();
        writer.setAuxSection1(QByteArray(512, '\xA1'));
        writer.setAuxSection2(QByteArray(512, '\xA2'));
        return writer;
    }

    QTemporaryDir m_directory;

private slots:
    void sendsHeaderAndBlocksByteForByte()
    {
        const MLU2FileWriter writer = twoBlockFile();
        UpdateRig rig(64);
        rig.run(writeFile(writer), true);

        const Transfers expected{{UpdateHeader, 0}, {UpdateBlock, 0}, {UpdateBlock, 1}};
        QCOMPARE(rig.device.transfers(), expected);
        QCOMPARE(toBytes(rig.device.transferPayload(UpdateHeader, 0)), writer.header());
        QCOMPARE(toBytes(rig.device.transferPayload(UpdateBlock, 0)), patternedBytes(100, 1, 7));
        QCOMPARE(toBytes(rig.device.transferPayload(UpdateBlock, 1)), patternedBytes(30, 2, 7));
        // The auxiliary sections stay in the file: only header and blocks go out.
        QCOMPARE(rig.device.dataSegmentCount(), std::size_t{6 + 2 + 1});
    }

    void progressFollowsEverySegment()
    {
        UpdateRig rig(64);
        const QList<int> percents = rig.run(writeFile(twoBlockFile()), true);
        // 50-byte segments of 386 bytes in all: six for the header, two for block 0, one for block 1.
        const QList<int> expected{12, 25, 38, 51, 64, 66, 79, 92, 100};
        QCOMPARE(percents, expected);
    }

    void largeBlockReportsHeaderShareAndEndsAtHundred()
    {
        UpdateFileBuilder file;
        file.blocks = {patternedBytes(10000, 3, 7)};
        UpdateRig rig(1024);
        const QList<int> percents = rig.run(writeFile(file.writer()), true);
        QCOMPARE(percents.first(), 2); // 256 * 100 / 10256, truncated
        QCOMPARE(percents.last(), 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    }

    void acknowledgementFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("segment");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<Transfers>("transfers");
        // The outcome: where the update ended (block -1 outside the blocks), the failing
        // segment within its transfer counted from 1, and the bytes the device confirmed.
        QTest::addColumn<MLPUpdateOutcome::Phase>("phase");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("failedSegment");
        QTest::addColumn<int>("confirmed");

        using Phase = MLPUpdateOutcome::Phase;
        const Transfers all{{UpdateHeader, 0}, {UpdateBlock, 0}, {UpdateBlock, 1}};
        const Transfers headerOnly{{UpdateHeader, 0}};
        const Transfers firstBlock{{UpdateHeader, 0}, {UpdateBlock, 0}};
        // 50-byte segments: 0-5 header (256 bytes), 6-7 block 0 (100), 8 block 1 (30).
        QTest::newRow("very last ack missing") << "drop" << 8 << true << all << Phase::Done << -1 << 0 << 356;
        QTest::newRow("very last ack malformed")
            << "malform" << 8 << true << all << Phase::Done << -1 << 0 << 356;
        QTest::newRow("very last ack with device error")
            << "error" << 8 << false << all << Phase::Block << 1 << 1 << 356;
        QTest::newRow("last header ack missing")
            << "drop" << 5 << false << headerOnly << Phase::Header << -1 << 6 << 250;
        QTest::newRow("header device error")
            << "error" << 2 << false << headerOnly << Phase::Header << -1 << 3 << 100;
        QTest::newRow("earlier block's last ack missing")
            << "drop" << 7 << false << firstBlock << Phase::Block << 0 << 2 << 306;
        QTest::newRow("earlier block's last ack malformed")
            << "malform" << 7 << false << firstBlock << Phase::Block << 0 << 2 << 306;
        QTest::newRow("block device error")
            << "error" << 6 << false << firstBlock << Phase::Block << 0 << 1 << 256;
        // A last segment that never left is no image on the device, whatever follows.
        QTest::newRow("link refuses the very last segment")
            << "refuse" << 8 << false << firstBlock << Phase::Block << 1 << 1 << 356;
        QTest::newRow("link refuses a header segment")
            << "refuse" << 2 << false << headerOnly << Phase::Header << -1 << 3 << 100;
    }

    void acknowledgementFaults()
    {
        QFETCH(QString, fault);
        QFETCH(int, segment);
        QFETCH(bool, succeeds);
        QFETCH(Transfers, transfers);
        QFETCH(MLPUpdateOutcome::Phase, phase);
        QFETCH(int, block);
        QFETCH(int, failedSegment);
        QFETCH(int, confirmed);

        UpdateRig rig(64);
        if (fault == "drop") {
            rig.device.dropAck(segment);
        } else if (fault == "malform") {
            rig.device.malformAck(segment, VirtualDevice::AckFault::WrongValue);
        } else if (fault == "refuse") {
            // The device-information request is the link's first write.
            rig.refusedFrom = static_cast<std::size_t>(segment) + 1;
        } else {
            rig.device.failSegment(segment, 0x05);
        }
        rig.run(writeFile(twoBlockFile()), succeeds);
        QCOMPARE(rig.device.transfers(), transfers);

        const MLPUpdateOutcome& outcome = rig.outcome;
        QCOMPARE(outcome.phase, phase);
        QCOMPARE(outcome.block, block);
        QCOMPARE(outcome.segment, failedSegment);
        QCOMPARE(outcome.confirmedBytes, int64_t{confirmed});
        QCOMPARE(outcome.totalBytes, int64_t{386});
        QCOMPARE(outcome.lastAcknowledgementMissing, succeeds);
        QCOMPARE(outcome.linkWriteFailed, fault == "refuse");
        QCOMPARE(outcome.linkError, fault == "refuse" ? kLinkError : 0);
        QCOMPARE(outcome.status, succeeds           ? MLPStatus::Ok
                                 : fault == "error" ? MLPStatus::DeviceError
                                                    : MLPStatus::NoValidReply);
        QCOMPARE(outcome.deviceStatus, (fault == "error" ? std::optional<uint8_t>(0x05) : std::nullopt));
        QVERIFY(outcome.deviceAnswered);
        QCOMPARE(outcome.fileCheck.deviceModel, QString::fromStdString(fittingIdentity().model));
    }

    // The unit's answer on its own link, just before sending, decides: the link is the unit's
    // by its serial number, but the fixture behind a bridge may have been swapped since it
    // was listed, and the file must fit what answers.
    void unitAndFileAreCheckedBeforeAnyByte_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("hwVersion");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("listedModel");
        QTest::addColumn<MLPUpdateOutcome::Phase>("phase");
        QTest::addColumn<UpdateFileVerdict::Kind>("verdict");
        QTest::addColumn<MLPUpdateOutcome::UnitProblem>("problem");
        using Phase = MLPUpdateOutcome::Phase;
        using Kind = UpdateFileVerdict::Kind;
        using Problem = MLPUpdateOutcome::UnitProblem;
        QTest::newRow("the file's model and hardware")
            << QByteArray("DEMO-5") << 0x0100 << "answers"
            << "DEMO-5" << Phase::Done << Kind::Fits << Problem::None;
        QTest::newRow("another model, as listed")
            << QByteArray("DEMO-7") << 0x0100 << "answers"
            << "DEMO-7" << Phase::IdentityCheck << Kind::OtherModel << Problem::None;
        QTest::newRow("another model than listed on the unit's link")
            << QByteArray("DEMO-7") << 0x0100 << "answers"
            << "DEMO-5" << Phase::UnitCheck << Kind::Fits << Problem::OtherModel;
        QTest::newRow("model in other letter case")
            << QByteArray("demo-5") << 0x0100 << "answers"
            << "demo-5" << Phase::IdentityCheck << Kind::OtherModel << Problem::None;
        QTest::newRow("hardware version not listed")
            << QByteArray("DEMO-5") << 0x0200 << "answers"
            << "DEMO-5" << Phase::IdentityCheck << Kind::HardwareNotListed << Problem::None;
        QTest::newRow("silent on its link")
            << QByteArray("DEMO-5") << 0x0100 << "silent"
            << "DEMO-5" << Phase::UnitCheck << Kind::Fits << Problem::NoAnswer;
        // Its owner stopped it while it was being checked.
        QTest::newRow("stopped before writing") << QByteArray("DEMO-5") << 0x0100 << "stopped"
                                                << "DEMO-5" << Phase::Stopped << Kind::Fits << Problem::None;
        QTest::newRow("no longer attached")
            << QByteArray("DEMO-5") << 0x0100 << "absent"
            << "DEMO-5" << Phase::UnitCheck << Kind::Fits << Problem::NotAttached;
        // The first byte's step was taken: the write runs whole.
        QTest::newRow("stopped once its check let the write begin")
            << QByteArray("DEMO-5") << 0x0100 << "stopped late"
            << "DEMO-5" << Phase::Done << Kind::Fits << Problem::None;
        // Attached, but its link cannot be opened: said as such, not as gone or silent.
        QTest::newRow("held by another program")
            << QByteArray("DEMO-5") << 0x0100 << "held"
            << "DEMO-5" << Phase::UnitCheck << Kind::Fits << Problem::Held;
        QTest::newRow("not accessible to this user")
            << QByteArray("DEMO-5") << 0x0100 << "denied"
            << "DEMO-5" << Phase::UnitCheck << Kind::Fits << Problem::NotAccessible;
    }

    void unitAndFileAreCheckedBeforeAnyByte()
    {
        QFETCH(QByteArray, model);
        QFETCH(int, hwVersion);
        QFETCH(QString, situation);
        QFETCH(QString, listedModel);
        QFETCH(MLPUpdateOutcome::Phase, phase);
        QFETCH(UpdateFileVerdict::Kind, verdict);
        QFETCH(MLPUpdateOutcome::UnitProblem, problem);
        UpdateRig rig(64);
        VirtualDeviceIdentity identity = fittingIdentity();
        identity.model = model.toStdString();
        identity.hwVersion = static_cast<uint16_t>(hwVersion);
        rig.device.setIdentity(identity);
        rig.device.setSilent(situation == "silent");
        rig.absentLooks = situation == "absent" ? 1 : 0;
        rig.stopBeforeWriting = situation == "stopped";
        rig.stopOnceChecked = situation == "stopped late";
        rig.openProblem = situation == "held"     ? MLPUnitLinks::Problem::Held
                          : situation == "denied" ? MLPUnitLinks::Problem::NotAccessible
                          : situation == "absent" ? MLPUnitLinks::Problem::NotAttached
                                                  : MLPUnitLinks::Problem::None;
        rig.unit.model = listedModel;

        const bool succeeds = phase == MLPUpdateOutcome::Phase::Done;
        rig.run(writeFile(twoBlockFile()), succeeds);

        // 100-byte frames: three header segments and three block segments.
        QCOMPARE(rig.device.dataSegmentCount(), std::size_t{succeeds ? 6u : 0u});
        QCOMPARE(rig.outcome.phase, phase);
        QCOMPARE(rig.outcome.fileCheck.kind, verdict);
        QCOMPARE(rig.outcome.unitProblem, problem);
        QCOMPARE(rig.looksForUnit.first(), QStringLiteral("V1"));
        const bool answers = situation == "answers" || situation.startsWith("stopped");
        QCOMPARE(rig.outcome.deviceAnswered, answers);
        QCOMPARE(rig.outcome.stop, situation == "stopped" ? MLPUpdateOutcome::StopAnswer::BeforeWriting
                                   : situation == "stopped late"
                                       ? MLPUpdateOutcome::StopAnswer::AfterWritingBegan
                                       : MLPUpdateOutcome::StopAnswer::NotAsked);
        QVERIFY(!rig.stopCameFirst);
        if (answers) {
            QCOMPARE(rig.outcome.unitFound.model, QString::fromLatin1(model));
            QCOMPARE(rig.outcome.unitFound.serial, QStringLiteral("V1"));
            QCOMPARE(rig.outcome.unitFound.address, rig.unit.address);
            QCOMPARE(int{rig.outcome.unitFound.hwVersion}, hwVersion);
            QCOMPARE(rig.outcome.deviceFwVersion, identity.fwVersion);
        }
    }

    // Stop comes from another thread at a moment that moves across the check: whichever of the
    // stop and the first byte comes first wins whole. Stopped, the unit got nothing; written,
    // it got every segment; and what stopBeforeWriting() answered is what the outcome says.
    void stopRacingTheCheckEitherWinsWhole()
    {
        const UpdateImage image = UpdateImage::read(writeFile(twoBlockFile()));
        for (int delayUs = 0; delayUs < 200; ++delayUs) {
            UpdateRig rig(100);
            MLPUpdateFirmwareRequest request(rig.unit, image);
            MLPWorkerContext context;
            context.units = {&UpdateRig::openUnit, &rig};
            context.clock = {&FakeClock::nowCallback, &FakeClock::sleepCallback, &rig.clock};
            std::atomic<bool> go{false};
            bool stopCameFirst = false;
            std::thread stopper([&] {
                while (!go) {
                }
                const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(delayUs);
                while (std::chrono::steady_clock::now() < until) {
                }
                stopCameFirst = request.stopBeforeWriting();
            });
            go = true;
            request.run(&context);
            stopper.join();
            const MLPUpdateOutcome outcome = request.outcome();
            const std::size_t segments = rig.device.dataSegmentCount();
            if (stopCameFirst) {
                QCOMPARE(outcome.phase, MLPUpdateOutcome::Phase::Stopped);
                QCOMPARE(outcome.stop, MLPUpdateOutcome::StopAnswer::BeforeWriting);
                QCOMPARE(segments, std::size_t{0});
            } else {
                QCOMPARE(outcome.phase, MLPUpdateOutcome::Phase::Done);
                QVERIFY(outcome.stop != MLPUpdateOutcome::StopAnswer::BeforeWriting);
                QCOMPARE(segments, std::size_t{6});
            }
        }
    }

    // After the whole file went out the unit is asked what it runs now: on the same link, or,
    // when it leaves the bus to restart, by its serial number wherever it comes back, for at
    // most the bound.
    void unitIsAskedAgainAfterTheUpdate_data()
    {
        QTest::addColumn<bool>("installs");
        QTest::addColumn<int>("absentLooks");
        QTest::addColumn<bool>("answeredAfter");
        QTest::addColumn<int>("fwAfter");
        QTest::addColumn<QString>("comesBackAs");
        QTest::addColumn<bool>("sameUnit");
        QTest::newRow("answers at once with the file's firmware")
            << true << 0 << true << 0x0216 << "V1" << true;
        QTest::newRow("keeps its old firmware") << false << 0 << true << 0x0203 << "V1" << true;
        QTest::newRow("restarts and comes back within the bound")
            << true << 6 << true << 0x0216 << "V1" << true;
        QTest::newRow("does not come back") << true << 1000 << false << 0 << "V1" << false;
        // Reporting the file's firmware, but not the unit written: looked for to the bound.
        QTest::newRow("another unit comes back in its place") << true << 6 << true << 0x0216 << "V2" << false;
    }

    void unitIsAskedAgainAfterTheUpdate()
    {
        QFETCH(bool, installs);
        QFETCH(int, absentLooks);
        QFETCH(bool, answeredAfter);
        QFETCH(int, fwAfter);
        QFETCH(QString, comesBackAs);
        QFETCH(bool, sameUnit);
        UpdateRig rig(64);
        rig.comesBackAs = comesBackAs;
        VirtualDeviceIdentity identity = fittingIdentity();
        identity.fwVersion = 0x0203;
        rig.device.setIdentity(identity);
        rig.device.setInstallsUpdates(installs);
        UpdateFileBuilder file;
        file.firmwareVersion = 0x0210;
        file.blocks = {patternedBytes(100, 1, 7)};
        uint32_t leftAtMs = 0;
        rig.run(writeFile(file.writer()), true, [&] {
            leftAtMs = rig.clock.nowMs();
            rig.device.setSilent(absentLooks > 0);
            rig.absentLooks = absentLooks;
        });

        QCOMPARE(rig.outcome.phase, MLPUpdateOutcome::Phase::Done);
        QCOMPARE(rig.outcome.answeredAfter, answeredAfter);
        QCOMPARE(rig.outcome.cameBackAfter, answeredAfter && absentLooks > 0);
        QCOMPARE(int{rig.outcome.unitAfter.fwVersion}, fwAfter);
        QCOMPARE(rig.outcome.sameUnitAfter, sameUnit);
        QCOMPARE(rig.looksForUnit.count(QStringLiteral("V1")), rig.looksForUnit.size());
        if (!sameUnit) {
            // Looked for until the bound, and not much longer.
            const uint32_t waitedMs = rig.clock.nowMs() - leftAtMs;
            QVERIFY(waitedMs >= MLPUpdateFirmwareRequest::kUnitReturnBoundMs);
            QVERIFY(waitedMs < MLPUpdateFirmwareRequest::kUnitReturnBoundMs + 2 * kAnswerTimeoutMs);
        }
    }

    void unusableFilesSendNothing_data()
    {
        QTest::addColumn<QByteArray>("contents");
        MLU2FileWriter truncated = twoBlockFile();
        truncated.truncateTo(MLU2FileWriter::kFirstBlockOffset + 120);
        MLU2FileWriter zeroLength = twoBlockFile();
        zeroLength.setBlockLength(1, 0);
        MLU2FileWriter badSignature = twoBlockFile();
        badSignature.setSignature(QByteArray("MLU3", 5));

        QTest::newRow("not an update file") << QByteArray("hello");
        QTest::newRow("bad signature") << badSignature.bytes();
        QTest::newRow("last block cut short") << truncated.bytes();
        QTest::newRow("counted block of length 0") << zeroLength.bytes();
        QTest::newRow("header only") << twoBlockFile().header();
    }

    void unusableFilesSendNothing()
    {
        QFETCH(QByteArray, contents);
        QFile file(m_directory.filePath("broken.ml2"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();

        UpdateRig rig(64);
        rig.run(file.fileName(), false);
        QCOMPARE(rig.device.dataSegmentCount(), std::size_t{0});
        QCOMPARE(rig.outcome.phase, MLPUpdateOutcome::Phase::FileCheck);
        QCOMPARE(rig.outcome.fileCheck.kind, UpdateFileVerdict::Kind::FileProblem);
    }

    void missingFileFails()
    {
        UpdateRig rig(64);
        rig.run(m_directory.filePath("absent.ml2"), false);
        QCOMPARE(rig.device.dataSegmentCount(), std::size_t{0});
    }

    void requestMayBeDeletedWhenItsFinalSignalArrives()
    {
        // The window deletes each request in the slot that receives its final signal, while
        // the thread that emitted it is still returning from run(). Many short updates in a
        // row give the sanitizer builds a chance to catch the request being touched after
        // that signal.
        constexpr int kUpdates = 1500;
        UpdateFileBuilder file;
        file.blocks = {patternedBytes(20, 4, 7)};
        // One image for every request, as a run shares it: the test is about the requests.
        const UpdateImage image = UpdateImage::read(writeFile(file.writer()));

        RequestRunner runner;
        QObject window;
        QEventLoop loop;
        int succeeded = 0;
        int finished = 0;
        std::function<void()> postNext = [&] {
            auto* request = new MLPUpdateFirmwareRequest(MLPDeviceInfoNode(), image);
            const auto dispose = [&, request](bool success) {
                delete request;
                succeeded += success ? 1 : 0;
                if (++finished == kUpdates) {
                    loop.quit();
                } else {
                    postNext();
                }
            };
            connect(request, &MLPWorkerRequestI::workDone, &window, [dispose] { dispose(true); });
            connect(request, &MLPWorkerRequestI::failed, &window, [dispose] { dispose(false); });
            runner.post(request);
        };
        postNext();
        QTimer::singleShot(kStressTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();

        QCOMPARE(finished, kUpdates);
        QCOMPARE(succeeded, kUpdates);
    }

    void fileChangedDuringTheUpdateSendsWhatWasChecked_data()
    {
        QTest::addColumn<QByteArray>("replacement");
        QTest::newRow("cut short") << twoBlockFile().bytes().left(MLU2FileWriter::kFirstBlockOffset + 10);
        UpdateFileBuilder other;
        other.blocks = {patternedBytes(100, 5, 7), patternedBytes(30, 6, 7)};
        QTest::newRow("rewritten") << other.writer().bytes();
    }

    // Once the first segment is out, the file is rewritten in place: what goes out is still
    // the file as it was checked and hashed.
    void fileChangedDuringTheUpdateSendsWhatWasChecked()
    {
        QFETCH(QByteArray, replacement);
        const MLU2FileWriter writer = twoBlockFile();
        const QString path = writeFile(writer);
        UpdateRig rig(64);
        MLPUpdateFirmwareRequest request(rig.unit, UpdateImage::read(path));
        bool changed = false;
        connect(&request, &MLPUpdateFirmwareRequest::progress, this, [&] {
            QFile file(path);
            changed = changed || (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                                  file.write(replacement) == replacement.size());
        });
        MLPWorkerContext context;
        context.units = {&UpdateRig::openUnit, &rig};
        context.clock = {&FakeClock::nowCallback, &FakeClock::sleepCallback, &rig.clock};
        request.run(&context);

        QVERIFY(changed);
        QVERIFY(request.outcome().tookFile());
        const QByteArray sent = toBytes(rig.device.transferPayload(UpdateHeader, 0)) +
                                toBytes(rig.device.transferPayload(UpdateBlock, 0)) +
                                toBytes(rig.device.transferPayload(UpdateBlock, 1));
        QCOMPARE(sent, writer.header() + patternedBytes(100, 1, 7) + patternedBytes(30, 2, 7));
        QCOMPARE(request.outcome().sentSha256,
                 QString::fromLatin1(QCryptographicHash::hash(sent, QCryptographicHash::Sha256).toHex()));
    }
};

QTEST_GUILESS_MAIN(TestMLPUpdateFirmwareRequest)
#include "tst_mlpupdatefirmwarerequest.moc"

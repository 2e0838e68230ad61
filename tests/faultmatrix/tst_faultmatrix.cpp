#include "emulatedbus.h"
#include "mlpcommand.h"
#include "mlpselectdevicerequest.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "patternedbytes.h"
#include "timedfaultendpoint.h"
#include "updatefilebuilder.h"
#include "virtualdevice.h"
#include "workerthreadsignals.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

using namespace marlune::testing;

namespace {

enum class Fault
{
    None,
    Silent,              // the device never answers
    UnplugOnFrame,       // parameter: the frame, 0 being discovery's request and 1 selection's
    UnplugOnDataSegment, // parameter: the data segment
    CorruptAck,          // parameter: the segment whose acknowledgement has a wrong checksum
    ForeignAck,          // parameter: the segment acknowledged for another command
    OverlongAck,         // parameter: the segment acknowledged with two status bytes
    LateAnswers,         // parameter: how late every answer after the selection comes, in ms
    Noise,               // line noise without a start byte before every answer
    StrayStartByte,      // a lone start byte before every answer
    UnplugAfterAck,      // parameter: the data segment whose acknowledgement is the last the host reads
    StopTakingData,      // parameter: the data segment from which the attached device takes no data
    NoInfoAtUpdate,      // the update's device-information request is acknowledged without data
    OtherModelAtUpdate,  // another model answers at the selected position when the update starts
    OtherHwAtUpdate,     // a hardware version the file does not list answers there instead
};

// How far a row goes: discovery, then selection of the device's place in the list, then the
// update, posted together with the selection so that no ping comes between them.
enum class Stage
{
    Discovery,
    Selection,
    Update,
};

enum class Verdict
{
    WorkDone,
    Failed,
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Stage)
Q_DECLARE_METATYPE(Verdict)

namespace {

// Time bounds, generous on purpose: the machine is shared, and each silent exchange takes
// 2 s plus a link read.
constexpr int kDiscoveryBoundMs = 20000;
constexpr int kSelectionBoundMs = 20000;
constexpr int kUpdateBoundMs = 60000;
constexpr int kStopBoundMs = 20000;

constexpr uint16_t kHardwareVersion = 0x0100;
constexpr uint16_t kFirmwareVersion = 0x0107;
constexpr uint16_t kDefaultMaxFrameLength = 100;
constexpr const char kModel[] = "DEMO-5";
constexpr const char kOtherModel[] = "DEMO-7";
constexpr uint16_t kUnlistedHardwareVersion = 0x0200;
constexpr const char kFirstAddress[] = "usb:m/0";

// The update file: a 256-byte header and two blocks. With the device's 100-byte frames the
// segments are 0-2 for the header, 3-5 for block 0 and 6-7 for block 1.
constexpr int kFirstBlockLength = 200;
constexpr int kSecondBlockLength = 150;
constexpr int kLastSegment = 7;
constexpr int kSegmentInHeader = 1;
constexpr int kSegmentInFirstBlock = 4;
constexpr int kFullPayload = kDefaultMaxFrameLength - 14;

constexpr uint8_t kRefusalStatus = 0x05;
// Discovery's, selection's and the update's device-information requests come first.
constexpr std::size_t kRequestsBeforeData = 3;
constexpr int kNoRefusal = -1;

QByteArray toBytes(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

using ThreadSignals = marlune::testing::WorkerThreadSignals;

struct UpdateSignals
{
    explicit UpdateSignals(MLPUpdateFirmwareRequest& request)
    {
        QObject::connect(&request, &MLPWorkerRequestI::workDone, &receiver, [this] { ++done; });
        QObject::connect(&request, &MLPWorkerRequestI::failed, &receiver,
                         [this](MLPWorkerRequestI::failReason reason) {
                             ++failed;
                             reasons.append(reason);
                         });
    }

    QObject receiver;
    int done = 0;
    int failed = 0;
    QList<MLPWorkerRequestI::failReason> reasons;
};

// The outcome in one line: where the update ended, how, and what the device confirmed.
QString describe(const MLPUpdateOutcome& outcome)
{
    using Phase = MLPUpdateOutcome::Phase;
    static const char* const statuses[] = {"Ok", "Acknowledged", "DeviceError", "NoValidReply"};
    switch (outcome.phase) {
    case Phase::Done:
        return QStringLiteral("done");
    case Phase::FileCheck:
        return QStringLiteral("file");
    case Phase::Stopped:
        return QStringLiteral("stopped");
    case Phase::UnitCheck:
        return QStringLiteral("unit %1 %2")
            .arg(outcome.unitProblem == MLPUpdateOutcome::UnitProblem::NoAnswer ? "silent" : "other")
            .arg(outcome.unitFound.model);
    case Phase::IdentityCheck:
        return QStringLiteral("identity %1 %2")
            .arg(outcome.fileCheck.deviceModel)
            .arg(outcome.fileCheck.deviceHwVersion, 4, 16, QChar('0'));
    case Phase::Header:
    case Phase::Block:
        break;
    }
    QString text = outcome.phase == Phase::Header ? QStringLiteral("header")
                                                  : QStringLiteral("block %1").arg(outcome.block);
    text +=
        QStringLiteral(" segment %1 %2").arg(outcome.segment).arg(statuses[static_cast<int>(outcome.status)]);
    if (outcome.linkWriteFailed) {
        text += QStringLiteral(" refused");
    }
    if (outcome.deviceStatus) {
        text += QStringLiteral(" device %1").arg(*outcome.deviceStatus);
    }
    return text + QStringLiteral(" confirmed %1").arg(outcome.confirmedBytes);
}

// One transfer as the device received it: its (command, value) and the payload of its
// segments, in order.
struct ReceivedTransfer
{
    uint8_t command;
    uint16_t value;
    QByteArray payload;
    int segments;
};

} // namespace

// Faults of the device and of the line, end to end: the real worker thread and requests,
// the real libusb and libftdi1 links, and an emulated FTDI bridge or maker-USB device on
// umockdev with a virtual device behind it. Each row discovers the device, selects it and
// updates it, as far as the row goes, and checks the verdict of each step, that each ends
// within a bound, and that the device received nothing but the file's header and blocks,
// in order.
class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void overFtdiBridge_data();
    void overFtdiBridge();
    void overMakerUsb_data();
    void overMakerUsb();

private:
    enum class Link
    {
        FtdiBridge,
        MakerUsb,
    };

    static void addRows(Link link);
    void runRow(Link link);
    void checkReceivedData(const VirtualDevice& device, int transfersBegun, bool complete,
                           int largestPayload);

    QTemporaryDir m_directory;
    QString m_updateFile;
    QByteArray m_header;
    QList<QByteArray> m_blocks;
    EmulatedBus m_emulation;
    std::unique_ptr<MLPWorkerThread> m_thread;
};

void TestFaultMatrix::initTestCase()
{
    UpdateFileBuilder file;
    file.model = kModel;
    file.hardwareVersions = {kHardwareVersion};
    file.firmwareVersion = 0x0108;
    file.blocks = {patternedBytes(kFirstBlockLength, 1, 13), patternedBytes(kSecondBlockLength, 2, 13)};
    m_blocks = file.blocks.toList();
    m_header = file.header();
    m_updateFile = file.writeTo(m_directory.filePath("update.ml2"));
}

void TestFaultMatrix::init()
{
    m_emulation.start();
    m_thread = std::make_unique<MLPWorkerThread>();
}

void TestFaultMatrix::cleanup()
{
    m_thread->stop();
    QVERIFY(m_thread->wait(kStopBoundMs));
    m_thread.reset();
    m_emulation.stop();
}

void TestFaultMatrix::addRows(Link link)
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("refusedSegment");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<int>("maxFrameLength");
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("listedModel"); // empty: left out of the list
    QTest::addColumn<bool>("selectionAnswered");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("transfersBegun");
    QTest::addColumn<int>("largestPayload"); // 0: not checked
    // A pattern for the update request's outcome as describe() puts it; empty when no update runs.
    QTest::addColumn<QString>("outcome");

    const QByteArray model(kModel);
    const QString listed(kModel);
    const int frame = kDefaultMaxFrameLength;
    const QString none;

    // A silent device is left out of the list, reports unknown versions and fails the
    // update after the first segment, all on time-outs.
    QTest::newRow("silent from the start")
        << Fault::Silent << 0 << kNoRefusal << model << frame << Stage::Update << none << false
        << Verdict::Failed << 0 << 0 << QString("unit silent ");
    QTest::newRow("unplugged during discovery")
        << Fault::UnplugOnFrame << 0 << kNoRefusal << model << frame << Stage::Discovery << none << false
        << Verdict::Failed << 0 << 0 << QString("");
    QTest::newRow("unplugged during selection")
        << Fault::UnplugOnFrame << 1 << kNoRefusal << model << frame << Stage::Selection << listed << false
        << Verdict::Failed << 0 << 0 << QString("");
    QTest::newRow("unplugged during the header")
        << Fault::UnplugOnDataSegment << kSegmentInHeader << kNoRefusal << model << frame << Stage::Update
        << listed << true << Verdict::Failed << 1 << kFullPayload
        << QString("header segment 2 NoValidReply confirmed 86");
    QTest::newRow("unplugged in the middle of a block")
        << Fault::UnplugOnDataSegment << kSegmentInFirstBlock << kNoRefusal << model << frame << Stage::Update
        << listed << true << Verdict::Failed << 2 << kFullPayload
        << QString("block 0 segment 2 NoValidReply confirmed 342");
    // Every byte went out; only the last acknowledgement is missing.
    QTest::newRow("unplugged before the last acknowledgement")
        << Fault::UnplugOnDataSegment << kLastSegment << kNoRefusal << model << frame << Stage::Update
        << listed << true << Verdict::WorkDone << 3 << kFullPayload << QString("done");

    QTest::newRow("device error in the first segment")
        << Fault::None << 0 << 0 << model << frame << Stage::Update << listed << true << Verdict::Failed << 1
        << kFullPayload << QString("header segment 1 DeviceError device 5 confirmed 0");
    QTest::newRow("device error in a block")
        << Fault::None << 0 << kSegmentInFirstBlock << model << frame << Stage::Update << listed << true
        << Verdict::Failed << 2 << kFullPayload
        << QString("block 0 segment 2 DeviceError device 5 confirmed 342");
    // A device that refuses the last segment has not taken the image.
    QTest::newRow("device error in the last segment")
        << Fault::None << 0 << kLastSegment << model << frame << Stage::Update << listed << true
        << Verdict::Failed << 3 << kFullPayload
        << QString("block 1 segment 2 DeviceError device 5 confirmed 542");

    QTest::newRow("corrupted acknowledgement in the header")
        << Fault::CorruptAck << kSegmentInHeader << kNoRefusal << model << frame << Stage::Update << listed
        << true << Verdict::Failed << 1 << kFullPayload
        << QString("header segment 2 NoValidReply confirmed 86");
    QTest::newRow("corrupted last acknowledgement")
        << Fault::CorruptAck << kLastSegment << kNoRefusal << model << frame << Stage::Update << listed
        << true << Verdict::WorkDone << 3 << kFullPayload << QString("done");
    QTest::newRow("acknowledgement for another command")
        << Fault::ForeignAck << kSegmentInFirstBlock << kNoRefusal << model << frame << Stage::Update
        << listed << true << Verdict::Failed << 2 << kFullPayload
        << QString("block 0 segment 2 NoValidReply confirmed 342");
    QTest::newRow("overlong last acknowledgement")
        << Fault::OverlongAck << kLastSegment << kNoRefusal << model << frame << Stage::Update << listed
        << true << Verdict::WorkDone << 3 << kFullPayload << QString("done");
    // Answers 3.5 s late: each arrives during a later exchange, where it does not fit, so the
    // unit never says who it is on its link.
    QTest::newRow("late answers") << Fault::LateAnswers << 3500 << kNoRefusal << model << frame
                                  << Stage::Update << listed << true << Verdict::Failed << 0 << 0
                                  << QString("unit silent ");

    QTest::newRow("noise before every answer")
        << Fault::Noise << 0 << kNoRefusal << model << frame << Stage::Update << listed << true
        << Verdict::WorkDone << 3 << kFullPayload << QString("done");
    // A start byte in the noise makes the receiver take the answer's first bytes as a head
    // whose checksum fails; the answer is lost.
    QTest::newRow("stray start byte before every answer")
        << Fault::StrayStartByte << 0 << kNoRefusal << model << frame << Stage::Discovery << none << false
        << Verdict::Failed << 0 << 0 << QString("");

    // Frame lengths without room for payload are not taken up: the connection keeps its
    // 100-byte frames.
    QTest::newRow("maximum frame length 0")
        << Fault::None << 0 << kNoRefusal << model << 0 << Stage::Update << listed << true
        << Verdict::WorkDone << 3 << kFullPayload << QString("done");
    QTest::newRow("maximum frame length 14")
        << Fault::None << 0 << kNoRefusal << model << 14 << Stage::Update << listed << true
        << Verdict::WorkDone << 3 << kFullPayload << QString("done");
    // One byte per segment; the device refuses the 31st, which keeps the row short.
    QTest::newRow("maximum frame length 15")
        << Fault::None << 0 << 30 << model << 15 << Stage::Update << listed << true << Verdict::Failed << 1
        << 1 << QString("header segment 31 DeviceError device 5 confirmed 30");
    QTest::newRow("maximum frame length 65535")
        << Fault::None << 0 << kNoRefusal << model << 65535 << Stage::Update << listed << true
        << Verdict::WorkDone << 3 << MLU2FileWriter::kHeaderSize << QString("done");

    // The device leaves the bus once the host has read the second-to-last acknowledgement,
    // so the last segment never reaches it and its write fails. Over the FTDI link the
    // bridge leaves with the device, and may leave while the host is still reading that
    // acknowledgement: libftdi then drops the part it had not handed out yet, and that
    // segment fails for want of a whole answer instead.
    const QString lastWriteRefused("block 1 segment 2 NoValidReply refused confirmed 542");
    QTest::newRow("unplugged after the second-to-last acknowledgement")
        << Fault::UnplugAfterAck << kLastSegment - 1 << kNoRefusal << model << frame << Stage::Update
        << listed << true << Verdict::Failed << 3 << kFullPayload
        << (link == Link::MakerUsb ? lastWriteRefused
                                   : lastWriteRefused + "|block 1 segment 1 NoValidReply confirmed 456");
    // A unit that does not say who it is on its link is not written.
    QTest::newRow("no device information when the update starts")
        << Fault::NoInfoAtUpdate << 0 << kNoRefusal << model << frame << Stage::Update << listed << true
        << Verdict::Failed << 0 << 0 << QString("unit silent ");
    if (link == Link::MakerUsb) {
        // A wedged device that stays attached: the maker link's bulk OUT bound ends the write.
        // (Serial bytes always leave an FTDI bridge; the device behind it cannot refuse them.)
        QTest::newRow("stops taking data at the last segment")
            << Fault::StopTakingData << kLastSegment << kNoRefusal << model << frame << Stage::Update
            << listed << true << Verdict::Failed << 3 << kFullPayload
            << QString("block 1 segment 2 NoValidReply refused confirmed 542");
    }

    // Another fixture behind the unit's link than the one listed: the file goes nowhere.
    QTest::newRow("another model when the update starts")
        << Fault::OtherModelAtUpdate << 0 << kNoRefusal << model << frame << Stage::Update << listed << true
        << Verdict::Failed << 0 << 0 << QString("unit other DEMO-7");
    QTest::newRow("unlisted hardware version when the update starts")
        << Fault::OtherHwAtUpdate << 0 << kNoRefusal << model << frame << Stage::Update << listed << true
        << Verdict::Failed << 0 << 0 << QString("identity DEMO-5 0200");

    // The name is read up to byte 44 of the record; it is decoded as UTF-8. Neither is the
    // file's model, so the update sends nothing.
    const QByteArray fortyBytes("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");
    QTest::newRow("model name without terminator")
        << Fault::None << 0 << kNoRefusal << fortyBytes << frame << Stage::Update
        << QString::fromLatin1(fortyBytes.left(39)) << true << Verdict::Failed << 0 << 0
        << QString("identity ") + QString::fromLatin1(fortyBytes.left(39)) + " 0100";
    QTest::newRow("model name with invalid UTF-8")
        << Fault::None << 0 << kNoRefusal << QByteArray("DEMO-\xC3\x28\xFF\xFE-5") << frame << Stage::Update
        << QStringLiteral("DEMO-\uFFFD(\uFFFD\uFFFD-5") << true << Verdict::Failed << 0 << 0
        << QStringLiteral("identity DEMO-\uFFFD\\(\uFFFD\uFFFD-5 0100");
}

void TestFaultMatrix::overFtdiBridge_data()
{
    addRows(Link::FtdiBridge);
}

void TestFaultMatrix::overFtdiBridge()
{
    runRow(Link::FtdiBridge);
}

void TestFaultMatrix::overMakerUsb_data()
{
    addRows(Link::MakerUsb);
}

void TestFaultMatrix::overMakerUsb()
{
    runRow(Link::MakerUsb);
}

void TestFaultMatrix::runRow(Link link)
{
    QFETCH(Fault, fault);
    QFETCH(int, parameter);
    QFETCH(int, refusedSegment);
    QFETCH(QByteArray, model);
    QFETCH(int, maxFrameLength);
    QFETCH(Stage, stage);
    QFETCH(QString, listedModel);
    QFETCH(bool, selectionAnswered);
    QFETCH(Verdict, verdict);
    QFETCH(int, transfersBegun);
    QFETCH(int, largestPayload);
    QFETCH(QString, outcome);

    VirtualDeviceIdentity identity;
    identity.model = model.toStdString();
    identity.hwVersion = kHardwareVersion;
    identity.fwVersion = kFirmwareVersion;
    identity.maxFrameLength = static_cast<uint16_t>(maxFrameLength);
    const auto device = std::make_shared<VirtualDevice>(identity);
    const auto endpoint = std::make_shared<TimedFaultEndpoint>(device);
    if (refusedSegment != kNoRefusal) {
        device->failSegment(static_cast<std::size_t>(refusedSegment), kRefusalStatus);
    }
    const auto segment = static_cast<std::size_t>(parameter);
    switch (fault) {
    case Fault::None:
        break;
    case Fault::Silent:
        device->setSilent(true);
        break;
    case Fault::UnplugOnFrame:
        endpoint->unplugOnFrame(segment);
        break;
    case Fault::UnplugOnDataSegment:
        endpoint->unplugOnDataSegment(segment);
        break;
    case Fault::CorruptAck:
        device->malformAck(segment, VirtualDevice::AckFault::BadChecksum);
        break;
    case Fault::ForeignAck:
        device->malformAck(segment, VirtualDevice::AckFault::WrongCommand);
        break;
    case Fault::OverlongAck:
        device->malformAck(segment, VirtualDevice::AckFault::WrongLength);
        break;
    case Fault::LateAnswers: {
        const std::size_t firstFrameAfterSelection = 2;
        endpoint->delayAnswersFromFrame(firstFrameAfterSelection, static_cast<uint32_t>(parameter));
        break;
    }
    case Fault::Noise:
        device->setNoise({0x00, 0x55, 0xCC, 0x13, 0xFF, 0xCC});
        break;
    case Fault::StrayStartByte:
        device->setNoise({0xAA});
        break;
    case Fault::UnplugAfterAck:
        device->detachAfterFrames(kRequestsBeforeData + segment + 1);
        break;
    case Fault::StopTakingData:
        endpoint->stopTakingDataAtSegment(segment);
        break;
    case Fault::OtherModelAtUpdate:
    case Fault::OtherHwAtUpdate: {
        VirtualDeviceIdentity other = identity;
        if (fault == Fault::OtherModelAtUpdate) {
            other.model = kOtherModel;
        } else {
            other.hwVersion = kUnlistedHardwareVersion;
        }
        endpoint->changeDeviceFromFrame(kRequestsBeforeData - 1,
                                        [other](VirtualDevice& changed) { changed.setIdentity(other); });
        break;
    }
    case Fault::NoInfoAtUpdate:
        endpoint->changeDeviceFromFrame(kRequestsBeforeData - 1,
                                        [](VirtualDevice& changed) { changed.answerRequestsWithAck(0); });
        break;
    }
    if (link == Link::FtdiBridge) {
        m_emulation->addFtdiBridge(endpoint);
    } else {
        m_emulation->addMakerDevice(endpoint);
    }

    ThreadSignals seen(*m_thread);
    m_thread->start();

    m_thread->postDiscover();
    QTRY_COMPARE_WITH_TIMEOUT(seen.discoveries, 1, kDiscoveryBoundMs);
    const QList<MLPDeviceInfoNode> devices = m_thread->discoveredDevices();
    QCOMPARE(devices.size(), listedModel.isEmpty() ? 0 : 1);
    if (!listedModel.isEmpty()) {
        QCOMPARE(devices.first().model, listedModel);
        QCOMPARE(devices.first().address, QString(kFirstAddress));
        QCOMPARE(devices.first().hwVersion, kHardwareVersion);
    }

    if (stage != Stage::Discovery) {
        MLPDeviceInfoNode unit;
        unit.address = kFirstAddress;
        unit = devices.value(0, unit);
        m_thread->postSelect(unit);
        std::unique_ptr<MLPUpdateFirmwareRequest> request;
        std::unique_ptr<UpdateSignals> updateSignals;
        if (stage == Stage::Update) {
            request = std::make_unique<MLPUpdateFirmwareRequest>(unit, UpdateImage::read(m_updateFile));
            updateSignals = std::make_unique<UpdateSignals>(*request);
            m_thread->postUpdate(request.get());
        }

        QTRY_COMPARE_WITH_TIMEOUT(seen.selections.size(), 1, kSelectionBoundMs);
        const QPair<uint16_t, uint16_t> versions =
            selectionAnswered
                ? qMakePair(kFirmwareVersion, kHardwareVersion)
                : qMakePair(MLPSelectDeviceRequest::kUnknownVersion, MLPSelectDeviceRequest::kUnknownVersion);
        QCOMPARE(seen.selections.first(), versions);

        if (stage == Stage::Update) {
            QTRY_COMPARE_WITH_TIMEOUT(updateSignals->done + updateSignals->failed, 1, kUpdateBoundMs);
            QCOMPARE(updateSignals->done, verdict == Verdict::WorkDone ? 1 : 0);
            if (verdict == Verdict::Failed) {
                QCOMPARE(updateSignals->reasons,
                         QList<MLPWorkerRequestI::failReason>{MLPWorkerRequestI::OperationFailed});
            }
            const QString described = describe(request->outcome());
            QVERIFY2(
                QRegularExpression(QRegularExpression::anchoredPattern(outcome)).match(described).hasMatch(),
                qPrintable(described));
            // The window deletes the request on its final signal; nothing may touch it after.
            request.reset();
        } else if (!selectionAnswered) {
            // The pings that follow a selection nobody answered report the device lost.
            QTRY_VERIFY_WITH_TIMEOUT(seen.lostConnections >= 1, kSelectionBoundMs);
        }
    }

    checkReceivedData(*device, transfersBegun, verdict == Verdict::WorkDone, largestPayload);
}

// The device received only the file's header and blocks, each transfer from its start and
// in file order, each no more than its bytes in order. Requests are device-information
// requests only.
void TestFaultMatrix::checkReceivedData(const VirtualDevice& device, int transfersBegun, bool complete,
                                        int largestPayload)
{
    const std::vector<VirtualDeviceFrame> frames = device.receivedFrames();
    std::vector<ReceivedTransfer> transfers;
    int largestSeen = 0;
    for (const VirtualDeviceFrame& frame : frames) {
        if (frame.type == VirtualDevice::kTypeRequest) {
            QCOMPARE(int(frame.command), int(DeviceInfo));
            continue;
        }
        QCOMPARE(int(frame.type), int(VirtualDevice::kTypeData));
        const bool startsTransfer = transfers.empty() || transfers.back().command != frame.command ||
                                    transfers.back().value != frame.value;
        if (startsTransfer) {
            transfers.push_back({frame.command, frame.value, QByteArray(), 0});
        }
        ReceivedTransfer& transfer = transfers.back();
        QCOMPARE(bool(frame.flags & 0x08), transfer.segments == 0);
        transfer.payload += toBytes(frame.payload);
        ++transfer.segments;
        largestSeen = std::max(largestSeen, static_cast<int>(frame.payload.size()));
    }

    QCOMPARE(static_cast<int>(transfers.size()), transfersBegun);
    for (std::size_t index = 0; index < transfers.size(); ++index) {
        const ReceivedTransfer& transfer = transfers[index];
        const QByteArray expected = index == 0 ? m_header : m_blocks.at(static_cast<int>(index) - 1);
        QCOMPARE(int(transfer.command), int(index == 0 ? UpdateHeader : UpdateBlock));
        QCOMPARE(int(transfer.value), index == 0 ? 0 : static_cast<int>(index) - 1);
        QVERIFY2(expected.startsWith(transfer.payload), "the device received bytes that are not the file's");
        // A transfer begins only after the one before it went through.
        if (complete || index + 1 < transfers.size()) {
            QCOMPARE(transfer.payload.size(), expected.size());
        }
    }
    if (complete) {
        QCOMPARE(static_cast<int>(transfers.size()), 1 + m_blocks.size());
    }
    if (largestPayload != 0) {
        QCOMPARE(largestSeen, largestPayload);
    }
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"

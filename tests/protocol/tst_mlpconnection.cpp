#include "fakeclock.h"
#include "mlpcommand.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpframespec.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"

#include <QtTest>

#include <memory>
#include <numeric>
#include <vector>

using marlune::MLP::MLPProgressObserverI;
using marlune::testing::FakeClock;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceFrame;
using marlune::testing::VirtualDeviceIdentity;
using marlune::testing::VirtualDevicePhy;

Q_DECLARE_METATYPE(MLPStatus)

char* toString(const MLPStatus& status)
{
    static const char* const names[] = {"Ok", "Acknowledged", "DeviceError", "NoValidReply"};
    const auto index = static_cast<std::size_t>(status);
    return qstrdup(index < std::size(names) ? names[index] : "invalid");
}

namespace {

constexpr uint8_t kFirst = 0x08;
constexpr uint8_t kLast = 0x04;

// A connection to a virtual device, both on one fake clock that moves on whenever the link
// finds nothing to read.
struct Rig
{
    explicit Rig(uint32_t receiveCapacity = 10000, uint32_t startMs = 1000)
        : clock(startMs), link(device, &clock),
          connection(std::make_unique<MLPConnection>(&link, receiveCapacity))
    {
        device.setClock(clock.nowFunction());
        connection->setClock({&FakeClock::nowCallback, &FakeClock::sleepCallback, &clock});
    }

    void learnFrameLength(uint16_t maxFrameLength)
    {
        VirtualDeviceIdentity identity;
        identity.maxFrameLength = maxFrameLength;
        device.setIdentity(identity);
        QCOMPARE(connection->requestDeviceInfo().status, MLPStatus::Ok);
        device.clearRecords();
    }

    std::vector<VirtualDeviceFrame> dataFrames() const
    {
        std::vector<VirtualDeviceFrame> frames;
        for (const VirtualDeviceFrame& frame : device.receivedFrames()) {
            if (frame.type == VirtualDevice::kTypeData) {
                frames.push_back(frame);
            }
        }
        return frames;
    }

    FakeClock clock;
    VirtualDevice device;
    VirtualDevicePhy link;
    std::unique_ptr<MLPConnection> connection;
};

std::vector<uint8_t> pattern(std::size_t length)
{
    std::vector<uint8_t> bytes(length);
    for (std::size_t index = 0; index < length; ++index) {
        bytes[index] = static_cast<uint8_t>(index * 31 + 7);
    }
    return bytes;
}

QByteArray toBytes(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// Writes `log` entries "name:total" in the order observers are called.
class LoggingObserver : public MLPProgressObserverI
{
public:
    LoggingObserver(QString name, QStringList& log) : m_name(std::move(name)), m_log(log) {}
    void bytesReceived(int total) override
    {
        m_log << QStringLiteral("%1:received:%2").arg(m_name).arg(total);
    }
    void bytesSent(int total) override { m_log << QStringLiteral("%1:%2").arg(m_name).arg(total); }

private:
    QString m_name;
    QStringList& m_log;
};

// Answers every write with a fixed byte sequence, for answers no well-behaved device sends.
class ScriptedPhy : public marlune::MLP::MLPPhy
{
public:
    explicit ScriptedPhy(QByteArray answer) : m_answer(std::move(answer)) {}
    bool write(const uint8_t*, uint32_t) override
    {
        m_position = 0;
        return true;
    }
    marlune::MLP::MLPPhyReadResult readByte() override
    {
        if (m_position < m_answer.size()) {
            return {static_cast<uint8_t>(m_answer[m_position++]), 0};
        }
        return {0, 1};
    }

private:
    QByteArray m_answer;
    int m_position = 0;
};

QByteArray frame(uint8_t type, uint8_t command, uint16_t value, const QByteArray& payload)
{
    QByteArray bytes(payload.size() + 14, '\0');
    MLPFrameSpec description;
    description.output = reinterpret_cast<uint8_t*>(bytes.data());
    description.payload = reinterpret_cast<const uint8_t*>(payload.constData());
    description.length = static_cast<uint16_t>(payload.size());
    description.frameType = type;
    description.command = command;
    description.value = value;
    buildFrame(description);
    return bytes;
}

} // namespace

class TestMLPConnection : public QObject
{
    Q_OBJECT

private slots:
    void deviceInfoRequestIsOneRequestFrame()
    {
        Rig rig;
        rig.connection->requestDeviceInfo();
        const auto frames = rig.device.receivedFrames();
        QCOMPARE(frames.size(), std::size_t{1});
        const VirtualDeviceFrame& request = frames.front();
        QCOMPARE(request.type, VirtualDevice::kTypeRequest);
        QCOMPARE(request.command, uint8_t{DeviceInfo});
        QCOMPARE(request.value, uint16_t{0});
        QCOMPARE(request.flags, uint8_t{kFirst | kLast});
        QCOMPARE(request.sequence, uint8_t{0});
        QCOMPARE(request.headerByte1, uint8_t{0x00});
        QCOMPARE(request.headerByte2, uint8_t{0xFF});
        QVERIFY(request.payload.empty());
        QCOMPARE(rig.device.discardedByteCount(), std::size_t{0});
    }

    void readsDeviceInfoRecord()
    {
        Rig rig;
        VirtualDeviceIdentity identity;
        identity.infoWord0 = 0xBEEF;
        identity.hwVersion = 0x0112;
        identity.fwVersion = 0x0203;
        identity.model = "MLP-DGL";
        identity.maxFrameLength = 512;
        rig.device.setIdentity(identity);

        const MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.length, 50u);
        QVERIFY(result.data);
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(result.data.get());
        QCOMPARE(record.infoWord0, uint16_t{0xBEEF});
        QCOMPARE(record.hwVersion, uint16_t{0x0112});
        QCOMPARE(record.fwVersion, uint16_t{0x0203});
        QCOMPARE(QByteArray::fromStdString(record.model), QByteArray("MLP-DGL"));
        QCOMPARE(rig.connection->maxFrameLength(), uint16_t{512});
    }

    void deviceInfoAnswersGiveStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<MLPStatus>("status");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<bool>("hasData");
        QTest::newRow("response") << "" << MLPStatus::Ok << 0 << true;
        QTest::newRow("noise before response") << "noise" << MLPStatus::Ok << 0 << true;
        QTest::newRow("ack status 0") << "ack0" << MLPStatus::Acknowledged << 0 << false;
        QTest::newRow("ack status 7") << "ack7" << MLPStatus::DeviceError << 7 << false;
        QTest::newRow("short response") << "short" << MLPStatus::Ok << 0 << false;
        QTest::newRow("long response") << "long" << MLPStatus::Ok << 0 << false;
        QTest::newRow("silence") << "silent" << MLPStatus::NoValidReply << 0 << false;
    }

    void deviceInfoAnswersGiveStatus()
    {
        QFETCH(QString, fault);
        QFETCH(MLPStatus, status);
        QFETCH(int, errorCode);
        QFETCH(bool, hasData);
        Rig rig;
        VirtualDeviceIdentity identity;
        identity.maxFrameLength = 64;
        rig.device.setIdentity(identity);
        if (fault == "noise") {
            rig.device.setNoise({0xCC, 0x00, 0xFF, 0x55});
        } else if (fault == "ack0") {
            rig.device.answerRequestsWithAck(0);
        } else if (fault == "ack7") {
            rig.device.answerRequestsWithAck(7);
        } else if (fault == "short") {
            rig.device.setInfoPayloadLength(49);
        } else if (fault == "long") {
            rig.device.setInfoPayloadLength(60);
        } else if (fault == "silent") {
            rig.device.setSilent(true);
        }

        const MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.status, status);
        QCOMPARE(int{result.errorCode}, errorCode);
        QCOMPARE(result.data != nullptr, hasData);
        QCOMPARE(result.length, hasData ? 50u : 0u);
        QCOMPARE(int{rig.connection->maxFrameLength()}, hasData ? 64 : 100);
    }

    void modelFillingItsFieldGives39Characters()
    {
        Rig rig;
        VirtualDeviceIdentity identity;
        identity.model = std::string(40, 'Q');
        rig.device.setIdentity(identity);
        const MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.length, 50u);
        QCOMPARE(MLPDeviceInfoRecord::fromPayload(result.data.get()).model.size(), std::size_t{39});
    }

    void silenceTimesOutAfterAnswerTime_data()
    {
        QTest::addColumn<uint32_t>("startMs");
        QTest::newRow("ordinary") << 1000u;
        QTest::newRow("clock wraps during wait") << 0xFFFFFA00u;
    }

    void silenceTimesOutAfterAnswerTime()
    {
        QFETCH(uint32_t, startMs);
        Rig rig(10000, startMs);
        rig.device.setSilent(true);

        QCOMPARE(rig.connection->requestDeviceInfo().status, MLPStatus::NoValidReply);
        const uint32_t waitedMs = rig.clock.nowMs() - startMs;
        QVERIFY2(waitedMs > kAnswerTimeoutMs, qPrintable(QString::number(waitedMs)));
        QVERIFY2(waitedMs <= kAnswerTimeoutMs + 2 * VirtualDevicePhy::kDefaultEmptyReadAdvanceMs,
                 qPrintable(QString::number(waitedMs)));
    }

    void lateAnswerIsTakenByTheNextExchange()
    {
        Rig rig;
        VirtualDeviceIdentity identity;
        identity.model = "EARLIER";
        rig.device.setIdentity(identity);
        rig.device.setAnswerDelay(kAnswerTimeoutMs + 500);
        QCOMPARE(rig.connection->requestDeviceInfo().status, MLPStatus::NoValidReply);

        identity.model = "LATER";
        rig.device.setIdentity(identity);
        rig.device.setAnswerDelay(0);
        MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(QByteArray::fromStdString(MLPDeviceInfoRecord::fromPayload(result.data.get()).model),
                 QByteArray("EARLIER"));

        result = rig.connection->requestDeviceInfo();
        QCOMPARE(QByteArray::fromStdString(MLPDeviceInfoRecord::fromPayload(result.data.get()).model),
                 QByteArray("LATER"));
    }

    void lateAckDoesNotAnswerDeviceInfo()
    {
        Rig rig;
        rig.device.setAnswerDelay(kAnswerTimeoutMs + 500);
        const std::vector<uint8_t> data = pattern(10);
        QCOMPARE(rig.connection->writeSegmented(data.data(), 10, UpdateBlock, 1).status,
                 MLPStatus::NoValidReply);
        rig.device.setAnswerDelay(0);
        QCOMPARE(rig.connection->requestDeviceInfo().status, MLPStatus::NoValidReply);
    }

    void sequenceCountsAcrossTransactionsAndWraps()
    {
        Rig rig;
        rig.connection->requestDeviceInfo();
        const std::vector<uint8_t> data = pattern(86 * 256);
        QCOMPARE(
            rig.connection->writeSegmented(data.data(), static_cast<uint32_t>(data.size()), UpdateBlock, 0)
                .status,
            MLPStatus::Ok);
        rig.connection->requestDeviceInfo();

        const auto frames = rig.device.receivedFrames();
        QCOMPARE(frames.size(), std::size_t{258});
        for (std::size_t index = 0; index < frames.size(); ++index) {
            QCOMPARE(frames[index].sequence, static_cast<uint8_t>(index));
        }
        QCOMPARE(frames.back().sequence, uint8_t{1});
    }

    void freshConnectionWrites86ByteSegments()
    {
        Rig rig;
        const std::vector<uint8_t> data = pattern(200);
        const MLPWriteResult result = rig.connection->writeSegmented(data.data(), 200, UpdateHeader, 0);
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.sentBytes, 200u);
        const auto frames = rig.dataFrames();
        QCOMPARE(frames.size(), std::size_t{3});
        QCOMPARE(frames[0].payload.size(), std::size_t{86});
        QCOMPARE(frames[1].payload.size(), std::size_t{86});
        QCOMPARE(frames[2].payload.size(), std::size_t{28});
        QCOMPARE(toBytes(rig.device.transferPayload(UpdateHeader, 0)), toBytes(data));
    }

    void segmentsFollowDeviceFrameLength_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::newRow("update header") << int{UpdateHeader} << 0;
        QTest::newRow("update block 7") << int{UpdateBlock} << 7;
        QTest::newRow("value high byte") << int{UpdateBlock} << 0x1234;
    }

    void segmentsFollowDeviceFrameLength()
    {
        QFETCH(int, command);
        QFETCH(int, value);
        Rig rig;
        rig.learnFrameLength(64);
        const std::vector<uint8_t> header = pattern(256);
        const MLPWriteResult result = rig.connection->writeSegmented(
            header.data(), 256, static_cast<uint8_t>(command), static_cast<uint16_t>(value));
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.sentBytes, 256u);

        const auto frames = rig.dataFrames();
        QCOMPARE(frames.size(), std::size_t{6});
        for (std::size_t index = 0; index < frames.size(); ++index) {
            const uint8_t expectedFlags = (index == 0 ? kFirst : 0) | (index == 5 ? kLast : 0);
            QCOMPARE(frames[index].flags, expectedFlags);
            QCOMPARE(frames[index].payload.size(), std::size_t{index < 5 ? 50u : 6u});
            QCOMPARE(int{frames[index].command}, command);
            QCOMPARE(int{frames[index].value}, value);
            QCOMPARE(frames[index].headerByte1, uint8_t{0x00});
            QCOMPARE(frames[index].headerByte2, uint8_t{0xFF});
        }
        QCOMPARE(
            toBytes(rig.device.transferPayload(static_cast<uint8_t>(command), static_cast<uint16_t>(value))),
            toBytes(header));
    }

    void zeroLengthWriteSendsOneEmptyFrame()
    {
        Rig rig;
        const MLPWriteResult result = rig.connection->writeSegmented(nullptr, 0, UpdateBlock, 3);
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.sentBytes, 0u);
        const auto frames = rig.dataFrames();
        QCOMPARE(frames.size(), std::size_t{1});
        QCOMPARE(frames.front().flags, uint8_t{kFirst | kLast});
        QVERIFY(frames.front().payload.empty());
    }

    void segmentAnswersGiveStatus_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<MLPStatus>("status");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<int>("segmentsSent");
        // 500 bytes in 86-byte segments: 6 segments, the last of 70 bytes.
        QTest::newRow("all acknowledged") << "" << MLPStatus::Ok << 0 << 6;
        QTest::newRow("status 5 at third") << "status" << MLPStatus::DeviceError << 5 << 3;
        QTest::newRow("no ack for third") << "drop" << MLPStatus::NoValidReply << 0 << 3;
        QTest::newRow("no ack for the last") << "drop last" << MLPStatus::NoValidReply << 0 << 6;
        QTest::newRow("ack too long") << "length" << MLPStatus::NoValidReply << 0 << 3;
        QTest::newRow("ack for other command") << "command" << MLPStatus::NoValidReply << 0 << 3;
        QTest::newRow("ack for other value") << "value" << MLPStatus::NoValidReply << 0 << 3;
        QTest::newRow("ack checksum broken") << "checksum" << MLPStatus::NoValidReply << 0 << 3;
        QTest::newRow("noise before acks") << "noise" << MLPStatus::Ok << 0 << 6;
        QTest::newRow("silence") << "silent" << MLPStatus::NoValidReply << 0 << 1;
    }

    void segmentAnswersGiveStatus()
    {
        QFETCH(QString, fault);
        QFETCH(MLPStatus, status);
        QFETCH(int, errorCode);
        QFETCH(int, segmentsSent);
        Rig rig;
        const std::size_t third = 2;
        if (fault == "status") {
            rig.device.failSegment(third, 0x05);
        } else if (fault == "drop") {
            rig.device.dropAck(third);
        } else if (fault == "drop last") {
            rig.device.dropAck(5);
        } else if (fault == "length") {
            rig.device.malformAck(third, VirtualDevice::AckFault::WrongLength);
        } else if (fault == "command") {
            rig.device.malformAck(third, VirtualDevice::AckFault::WrongCommand);
        } else if (fault == "value") {
            rig.device.malformAck(third, VirtualDevice::AckFault::WrongValue);
        } else if (fault == "checksum") {
            rig.device.malformAck(third, VirtualDevice::AckFault::BadChecksum);
        } else if (fault == "noise") {
            rig.device.setNoise({0xCC, 0xCC, 0x00});
        } else if (fault == "silent") {
            rig.device.setSilent(true);
        }

        const std::vector<uint8_t> data = pattern(500);
        const MLPWriteResult result = rig.connection->writeSegmented(data.data(), 500, UpdateBlock, 2);
        QCOMPARE(result.status, status);
        QCOMPARE(int{result.errorCode}, errorCode);
        QCOMPARE(result.sentBytes, static_cast<uint32_t>(std::min(500, 86 * segmentsSent)));
        QCOMPARE(result.confirmedBytes, status == MLPStatus::Ok ? 500u : 86u * (segmentsSent - 1));
        QCOMPARE(result.segments, static_cast<uint32_t>(segmentsSent));
        QCOMPARE(result.finalSegmentAccepted, segmentsSent == 6);
        QVERIFY(!result.linkWriteFailed);
        QCOMPARE(rig.dataFrames().size(), static_cast<std::size_t>(segmentsSent));
    }

    // A segment the link refused never left: the write ends at once, without waiting for an
    // answer that cannot come, and neither counts the segment as sent nor tells observers.
    void refusedSegmentEndsTheWriteAtOnce_data()
    {
        QTest::addColumn<int>("refused");
        // 500 bytes in 86-byte segments: 6 segments.
        QTest::newRow("first segment") << 0;
        QTest::newRow("middle segment") << 2;
        QTest::newRow("last segment") << 5;
    }

    void refusedSegmentEndsTheWriteAtOnce()
    {
        QFETCH(int, refused);
        Rig rig;
        const int32_t linkError = 4;
        rig.link.refuseWritesFrom(static_cast<std::size_t>(refused), linkError);
        QStringList log;
        LoggingObserver observer("a", log);
        rig.connection->addObserver(&observer);
        const uint32_t startMs = rig.clock.nowMs();

        const std::vector<uint8_t> data = pattern(500);
        const MLPWriteResult result = rig.connection->writeSegmented(data.data(), 500, UpdateBlock, 2);

        QCOMPARE(result.status, MLPStatus::NoValidReply);
        QVERIFY(result.linkWriteFailed);
        // The link's own account of the refusal travels up with it.
        QCOMPARE(result.linkError, linkError);
        QCOMPARE(result.linkErrorName, std::string("Unknown"));
        QVERIFY(!result.finalSegmentAccepted);
        QCOMPARE(result.segments, static_cast<uint32_t>(refused + 1));
        QCOMPARE(result.sentBytes, 86u * refused);
        QCOMPARE(result.confirmedBytes, 86u * refused);
        QCOMPARE(log.size(), refused);
        QCOMPARE(rig.dataFrames().size(), static_cast<std::size_t>(refused));
        QVERIFY2(rig.clock.nowMs() - startMs < kAnswerTimeoutMs,
                 qPrintable(QString::number(rig.clock.nowMs())));
    }

    void observersHearEverySegmentInOrder()
    {
        Rig rig;
        QStringList log;
        LoggingObserver first("a", log);
        LoggingObserver second("b", log);
        rig.connection->addObserver(&first);
        rig.connection->addObserver(&second);
        rig.connection->addObserver(&first);
        rig.device.failSegment(1, 0x09);

        const std::vector<uint8_t> data = pattern(300);
        QCOMPARE(rig.connection->writeSegmented(data.data(), 300, UpdateBlock, 0).status,
                 MLPStatus::DeviceError);
        QCOMPARE(log, QStringList({"a:86", "b:86", "a:86", "a:172", "b:172", "a:172"}));
    }

    void removingObserverDropsFirstOccurrenceOnly()
    {
        Rig rig;
        QStringList log;
        LoggingObserver first("a", log);
        LoggingObserver second("b", log);
        LoggingObserver absent("c", log);
        rig.connection->addObserver(&first);
        rig.connection->addObserver(&second);
        rig.connection->addObserver(&first);
        rig.connection->removeObserver(&first);
        rig.connection->removeObserver(&absent);

        const uint8_t data[] = {1, 2, 3};
        rig.connection->writeSegmented(data, sizeof data, UpdateHeader, 0);
        QCOMPARE(log, QStringList({"b:3", "a:3"}));

        log.clear();
        rig.connection->removeObserver(&first);
        rig.connection->removeObserver(&second);
        rig.connection->writeSegmented(data, sizeof data, UpdateHeader, 0);
        QVERIFY(log.isEmpty());
    }

    // A frame length without room for payload would make a segmented write loop forever;
    // the connection keeps the length it had, while the record still says what the device said.
    void frameLengthWithoutRoomForPayloadIsNotAdopted_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("kept");
        QTest::newRow("zero") << 0 << 64;
        QTest::newRow("head and tail only") << 14 << 64;
        QTest::newRow("smaller than head") << 5 << 64;
        QTest::newRow("one payload byte") << 15 << 15;
    }

    void frameLengthWithoutRoomForPayloadIsNotAdopted()
    {
        QFETCH(int, reported);
        QFETCH(int, kept);
        Rig rig;
        rig.learnFrameLength(64);
        VirtualDeviceIdentity identity;
        identity.maxFrameLength = static_cast<uint16_t>(reported);
        rig.device.setIdentity(identity);

        const MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(int{MLPDeviceInfoRecord::fromPayload(result.data.get()).maxFrameLength}, reported);
        QCOMPARE(int{rig.connection->maxFrameLength()}, kept);

        const std::vector<uint8_t> data = pattern(120);
        const MLPWriteResult write = rig.connection->writeSegmented(data.data(), 120, UpdateBlock, 0);
        QCOMPARE(write.status, MLPStatus::Ok);
        QCOMPARE(write.sentBytes, 120u);
        QCOMPARE(rig.dataFrames().size(), static_cast<std::size_t>((120 + kept - 15) / (kept - 14)));
    }

    // A link that answers "no byte" at once, with a clock that does not move by itself:
    // without backing off, the wait would spin without end.
    void instantEmptyReadsBackOffInsteadOfSpinning()
    {
        Rig rig;
        VirtualDevicePhy instantLink(rig.device);
        MLPConnection connection(&instantLink, 10000);
        connection.setClock({&FakeClock::nowCallback, &FakeClock::sleepCallback, &rig.clock});
        rig.device.setSilent(true);

        const uint32_t startMs = rig.clock.nowMs();
        QCOMPARE(connection.requestDeviceInfo().status, MLPStatus::NoValidReply);
        QVERIFY(rig.clock.nowMs() - startMs > kAnswerTimeoutMs);
        QCOMPARE(rig.clock.sleepCalls(), rig.clock.nowMs() - startMs);
        QVERIFY2(instantLink.emptyReadCount() <= rig.clock.sleepCalls() + 1,
                 qPrintable(QString::number(instantLink.emptyReadCount())));
    }

    void blockingLinkIsNotSlowedDown()
    {
        Rig rig;
        rig.device.setSilent(true);
        QCOMPARE(rig.connection->requestDeviceInfo().status, MLPStatus::NoValidReply);
        QCOMPARE(rig.clock.sleepCalls(), 0u);
    }

    // The receiver counts in 16 bits; a larger buffer must not wrap to a tiny capacity.
    void receiveCapacityAbove16BitsStillReceives()
    {
        Rig rig(65536 + 10);
        const MLPReadResult result = rig.connection->requestDeviceInfo();
        QCOMPARE(result.status, MLPStatus::Ok);
        QCOMPARE(result.length, 50u);
    }

    // A frame cut short by a small receive buffer must not pass for a complete one.
    void truncatedAnswersAreNotTakenAsComplete()
    {
        Rig small(40);
        VirtualDeviceIdentity identity;
        identity.maxFrameLength = 64;
        small.device.setIdentity(identity);
        const MLPReadResult info = small.connection->requestDeviceInfo();
        QCOMPARE(info.status, MLPStatus::Ok);
        QVERIFY(!info.data);
        QCOMPARE(small.connection->maxFrameLength(), uint16_t{100});

        ScriptedPhy longAck(frame(1, UpdateBlock, 0, QByteArray(20, '\0')));
        MLPConnection tight(&longAck, 15);
        const uint8_t data[] = {1};
        QCOMPARE(tight.writeSegmented(data, 1, UpdateBlock, 0).status, MLPStatus::NoValidReply);
    }

    // One line per exchange: what went out, whether the link took it, what came back and
    // how it was judged, and how long it took.
    void traceHearsEveryExchange()
    {
        Rig rig;
        rig.device.failSegment(0, 0x07);
        QStringList lines;
        const MLPFrameTraceFunction collect = [](void* context, const MLPFrameTrace& trace) {
            static_cast<QStringList*>(context)->append(
                QStringLiteral("type %1 command %2 value %3 payload %4 sent %5 taken %6 answer %7 status %8 "
                               "code %9 after %10")
                    .arg(trace.sentFrame[4])
                    .arg(trace.command)
                    .arg(trace.value)
                    .arg(trace.payloadLength)
                    .arg(trace.sentLength)
                    .arg(trace.writeAccepted)
                    .arg(trace.answer ? trace.answerLength : -1)
                    .arg(static_cast<int>(trace.status))
                    .arg(trace.errorCode)
                    .arg(trace.elapsedMs > 0 ? QStringLiteral("time") : QStringLiteral("none")));
        };
        rig.connection->setFrameTrace(collect, &lines);

        rig.connection->requestDeviceInfo();
        const uint8_t data[] = {1, 2, 3};
        rig.connection->writeSegmented(data, sizeof data, UpdateBlock, 4);
        rig.device.setSilent(true);
        rig.connection->writeSegmented(data, sizeof data, UpdateBlock, 5);
        rig.link.refuseWritesFrom(0);
        rig.connection->writeSegmented(data, sizeof data, UpdateHeader, 0);
        rig.connection->setFrameTrace(nullptr, nullptr);
        rig.connection->requestDeviceInfo();

        QCOMPARE(
            lines,
            QStringList({
                "type 2 command 1 value 0 payload 0 sent 14 taken 1 answer 64 status 0 code 0 after none",
                "type 0 command 4 value 4 payload 3 sent 17 taken 1 answer 15 status 2 code 7 after none",
                "type 0 command 4 value 5 payload 3 sent 17 taken 1 answer -1 status 3 code 0 after time",
                "type 0 command 3 value 0 payload 3 sent 17 taken 0 answer -1 status 3 code 0 after none",
            }));
    }

    void ackWithoutStatusByteIsNoVerdict()
    {
        ScriptedPhy emptyAck(frame(1, DeviceInfo, 0, QByteArray()));
        MLPConnection connection(&emptyAck, 100);
        QCOMPARE(connection.requestDeviceInfo().status, MLPStatus::NoValidReply);
    }
};

QTEST_GUILESS_MAIN(TestMLPConnection)
#include "tst_mlpconnection.moc"

#include "mlpframespec.h"

#include <QtTest>

#include <vector>

namespace {

QByteArray build(MLPFrameSpec description, const QByteArray& payload = {})
{
    QByteArray frame(payload.size() + 14, '\x55');
    description.output = reinterpret_cast<uint8_t*>(frame.data());
    description.payload = reinterpret_cast<const uint8_t*>(payload.constData());
    description.length = static_cast<uint16_t>(payload.size());
    buildFrame(description);
    return frame;
}

MLPFrameSpec hostFrame()
{
    MLPFrameSpec description;
    description.headerByte1 = 0x00;
    description.headerByte2 = 0xFF;
    return description;
}

} // namespace

class TestMLPFrameSpec : public QObject
{
    Q_OBJECT

private slots:
    void buildsDeviceInfoRequest()
    {
        MLPFrameSpec description = hostFrame();
        description.command = 1;
        description.frameType = 2;
        description.firstSegment = true;
        description.lastSegment = true;
        QCOMPARE(build(description).toHex(' '), QByteArray("aa 00 ff 0c 02 01 00 00 00 00 00 b8 b8 cc"));
    }

    void buildsAckFrame()
    {
        MLPFrameSpec description = hostFrame();
        description.frameType = 1;
        description.command = 4;
        description.value = 2;
        description.sequence = 5;
        QCOMPARE(build(description, QByteArray(1, '\0')).toHex(' '),
                 QByteArray("aa 00 ff 00 01 04 02 00 01 00 05 b6 00 b6 cc"));
    }

    void flagsByteCombinesSegmentFlags_data()
    {
        QTest::addColumn<bool>("first");
        QTest::addColumn<bool>("last");
        QTest::addColumn<int>("extra");
        QTest::addColumn<int>("flags");
        QTest::newRow("middle") << false << false << 0x00 << 0x00;
        QTest::newRow("first") << true << false << 0x00 << 0x08;
        QTest::newRow("last") << false << true << 0x00 << 0x04;
        QTest::newRow("only") << true << true << 0x00 << 0x0C;
        QTest::newRow("extra kept") << true << false << 0x81 << 0x89;
    }

    void flagsByteCombinesSegmentFlags()
    {
        QFETCH(bool, first);
        QFETCH(bool, last);
        QFETCH(int, extra);
        QFETCH(int, flags);
        MLPFrameSpec description = hostFrame();
        description.firstSegment = first;
        description.lastSegment = last;
        description.extraFlags = static_cast<uint8_t>(extra);
        QCOMPARE(static_cast<uint8_t>(build(description).at(3)), static_cast<uint8_t>(flags));
    }

    void writesNumbersLittleEndianAndPayloadUnescaped()
    {
        QByteArray payload(300, '\0');
        for (int index = 0; index < payload.size(); ++index) {
            payload[index] = static_cast<char>(index % 2 == 0 ? 0xAA : 0xCC);
        }
        MLPFrameSpec description = hostFrame();
        description.frameType = 0;
        description.command = 4;
        description.value = 0x1234;
        description.sequence = 0xFE;
        const QByteArray frame = build(description, payload);

        QCOMPARE(frame.size(), 314);
        QCOMPARE(frame.mid(4, 7).toHex(' '), QByteArray("00 04 34 12 2c 01 fe"));
        QCOMPARE(frame.mid(12, payload.size()), payload);
        QCOMPARE(static_cast<uint8_t>(frame.back()), uint8_t{0xCC});
    }

    // The payload checksum starts from the header checksum, not from zero.
    void checksumsCoverTheirSections()
    {
        MLPFrameSpec description = hostFrame();
        description.command = 3;
        description.sequence = 77;
        const QByteArray payload("\x01\x02\xff\x10", 4);
        const QByteArray frame = build(description, payload);

        uint8_t headerSum = 0;
        for (int index = 0; index <= 10; ++index) {
            headerSum = static_cast<uint8_t>(headerSum + static_cast<uint8_t>(frame[index]));
        }
        QCOMPARE(static_cast<uint8_t>(frame[11]), headerSum);
        const uint8_t payloadSum = static_cast<uint8_t>(headerSum + 0x01 + 0x02 + 0xFF + 0x10);
        QCOMPARE(static_cast<uint8_t>(frame[16]), payloadSum);
    }

    void writesExactlyLengthPlusFourteenBytes()
    {
        std::vector<uint8_t> buffer(20, 0x55);
        const uint8_t payload[] = {9, 8, 7};
        MLPFrameSpec description = hostFrame();
        description.output = buffer.data();
        description.payload = payload;
        description.length = sizeof payload;
        buildFrame(description);
        QCOMPARE(buffer[16], uint8_t{0xCC});
        QCOMPARE(buffer[17], uint8_t{0x55});
    }
};

QTEST_GUILESS_MAIN(TestMLPFrameSpec)
#include "tst_mlpframespec.moc"

#include "mlpdeviceinforecord.h"

#include <QtTest>

#include <array>
#include <cstring>

namespace {

using Payload = std::array<uint8_t, 50>;

Payload payloadWithModel(const QByteArray& modelField)
{
    Payload payload{};
    std::memcpy(payload.data() + 6, modelField.constData(), static_cast<std::size_t>(modelField.size()));
    return payload;
}

} // namespace

class TestMLPDeviceInfoRecord : public QObject
{
    Q_OBJECT

private slots:
    void readsNumbersLittleEndian()
    {
        Payload payload{};
        const uint8_t numbers[] = {0x34, 0x12, 0x02, 0x01, 0x17, 0x03};
        std::memcpy(payload.data(), numbers, sizeof numbers);
        payload[46] = 0x40;
        payload[47] = 0x02;
        payload[48] = 0xEE;
        payload[49] = 0xEE;

        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(payload.data());
        QCOMPARE(record.infoWord0, uint16_t{0x1234});
        QCOMPARE(record.hwVersion, uint16_t{0x0102});
        QCOMPARE(record.fwVersion, uint16_t{0x0317});
        QCOMPARE(record.maxFrameLength, uint16_t{0x0240});
    }

    void modelEndsAtFirstZeroOrAfter39Bytes_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("model");
        QTest::newRow("terminated") << QByteArray("ML-DMX 4\0junk", 13) << QByteArray("ML-DMX 4");
        QTest::newRow("empty") << QByteArray(40, '\0') << QByteArray();
        QTest::newRow("40 bytes without zero") << QByteArray(40, 'M') << QByteArray(39, 'M');
        QTest::newRow("zero only in last byte")
            << QByteArray(39, 'x') + QByteArray(1, '\0') << QByteArray(39, 'x');
        QTest::newRow("raw high bytes") << QByteArray("Lumi\xe8re\0", 8) << QByteArray("Lumi\xe8re");
    }

    void modelEndsAtFirstZeroOrAfter39Bytes()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, model);
        Payload payload = payloadWithModel(field);
        payload[46] = 0x41;
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(payload.data());
        QCOMPARE(QByteArray::fromStdString(record.model), model);
        QCOMPARE(record.maxFrameLength, uint16_t{0x41});
    }
};

QTEST_GUILESS_MAIN(TestMLPDeviceInfoRecord)
#include "tst_mlpdeviceinforecord.moc"

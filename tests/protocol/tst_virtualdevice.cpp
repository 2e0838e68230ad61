#include "fakeclock.h"
#include "virtualdevice.h"

#include <QtTest>

using marlune::testing::FakeClock;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;

namespace {

void write(VirtualDevice& device, const QByteArray& bytes)
{
    device.hostWrote(reinterpret_cast<const uint8_t*>(bytes.constData()),
                     static_cast<std::size_t>(bytes.size()));
}

QByteArray readAll(VirtualDevice& device)
{
    QByteArray bytes;
    uint8_t chunk[7];
    while (const std::size_t count = device.readForHost(chunk, sizeof chunk)) {
        bytes.append(reinterpret_cast<const char*>(chunk), static_cast<int>(count));
    }
    return bytes;
}

const QByteArray kDeviceInfoRequest = QByteArray::fromHex("aa00ff0c02010000000000b8b8cc");
// Data, command 4, value 2, sequence 5, payload aa cc.
QByteArray dataFrame()
{
    QByteArray frame = QByteArray::fromHex("aa00ff0000040200020005");
    uint8_t sum = 0;
    for (char byte : frame) {
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(byte));
    }
    frame.append(static_cast<char>(sum));
    frame.append(QByteArray::fromHex("aacc"));
    frame.append(static_cast<char>(static_cast<uint8_t>(sum + 0xAA + 0xCC)));
    frame.append('\xcc');
    return frame;
}

} // namespace

class TestVirtualDevice : public QObject
{
    Q_OBJECT

private slots:
    void answersDeviceInfoWithItsRecord()
    {
        VirtualDeviceIdentity identity;
        identity.infoWord0 = 0x0201;
        identity.hwVersion = 0x0403;
        identity.fwVersion = 0x0605;
        identity.model = "AB";
        identity.maxFrameLength = 0x0840;
        VirtualDevice device(identity);
        write(device, kDeviceInfoRequest);

        const QByteArray answer = readAll(device);
        QCOMPARE(answer.size(), 64);
        QCOMPARE(answer.left(11).toHex(' '), QByteArray("aa 00 ff 0c 03 01 00 00 32 00 00"));
        QCOMPARE(answer.mid(12, 10).toHex(' '), QByteArray("01 02 03 04 05 06 41 42 00 00"));
        QCOMPARE(answer.mid(58, 4).toHex(' '), QByteArray("40 08 00 00"));
        QCOMPARE(answer.back(), '\xcc');
    }

    void findsFrameAmidNoiseAndSplitWrites()
    {
        VirtualDevice device;
        QByteArray broken = dataFrame();
        broken[11] = static_cast<char>(broken[11] + 1);
        const QByteArray frame = dataFrame();
        write(device, QByteArray::fromHex("00cc") + broken + frame.left(9));
        QCOMPARE(device.frameCount(), std::size_t{0});
        write(device, frame.mid(9));

        QCOMPARE(device.frameCount(), std::size_t{1});
        QCOMPARE(device.discardedByteCount(), static_cast<std::size_t>(2 + broken.size()));
        const auto frames = device.receivedFrames();
        QCOMPARE(frames.front().type, VirtualDevice::kTypeData);
        QCOMPARE(frames.front().command, uint8_t{4});
        QCOMPARE(frames.front().value, uint16_t{2});
        QCOMPARE(frames.front().sequence, uint8_t{5});
        QCOMPARE(frames.front().payload, (std::vector<uint8_t>{0xAA, 0xCC}));
        QCOMPARE(readAll(device).toHex(' '), QByteArray("aa 00 ff 00 01 04 02 00 01 00 05 b6 00 b6 cc"));
    }

    void lateAnswerWaitsForItsClock()
    {
        FakeClock clock;
        VirtualDevice device;
        device.setClock(clock.nowFunction());
        device.setAnswerDelay(500);
        write(device, kDeviceInfoRequest);
        clock.advance(499);
        QVERIFY(readAll(device).isEmpty());
        clock.advance(1);
        QCOMPARE(readAll(device).size(), 64);
    }

    void detachesOnceItsLastAnswerIsRead()
    {
        VirtualDevice device;
        device.detachAfterFrames(2);
        write(device, kDeviceInfoRequest);
        write(device, kDeviceInfoRequest);
        QVERIFY(device.isAttached());
        QCOMPARE(readAll(device).size(), 128);
        QVERIFY(!device.isAttached());
        write(device, kDeviceInfoRequest);
        QCOMPARE(device.frameCount(), std::size_t{2});
    }
};

QTEST_GUILESS_MAIN(TestVirtualDevice)
#include "tst_virtualdevice.moc"

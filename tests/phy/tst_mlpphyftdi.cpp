#include "enumerationreuse.h"
#include "flagrows.h"
#include "mlpphyftdi.h"
#include "openedbridge.h"
#include "recordingd2xx.h"

#include <QtTest>

#include <climits>

using marlune::MLP::MLPPhyFtdi;
using namespace marlune::testing;

namespace {

const QByteArray kDevice = QByteArrayLiteral("MARLUNE MLP-DEV");
const QByteArray kDongle = QByteArrayLiteral("MARLUNE MLP-DGL");
const QByteArray kOtherBridge = QByteArrayLiteral("FT232R USB UART");

const QStringList kLineSetup = {
    QStringLiteral("FT_ResetDevice"),
    QStringLiteral("FT_SetDataCharacteristics(8, 2, 0)"),
    QStringLiteral("FT_SetTimeouts(100, 2000)"),
    QStringLiteral("FT_SetBaudRate(38400)"),
    QStringLiteral("FT_Write(00)"),
    QStringLiteral("FT_SetBaudRate(250000)"),
    QStringLiteral("FT_Write(91 4d 6c 01)"),
    QStringLiteral("FT_SetLatencyTimer(2)"),
};

QByteArray readAll(MLPPhyFtdi& link, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const auto result = link.readByte();
        if (result.empty != 0) {
            break;
        }
        bytes.append(static_cast<char>(result.value));
    }
    return bytes;
}

} // namespace

class TestMLPPhyFtdi : public QObject
{
    Q_OBJECT

private:
    RecordingD2xx& m_d2xx = RecordingD2xx::instance();

private slots:
    void init() { m_d2xx.reset(); }
    void cleanup() { QCOMPARE(m_d2xx.openHandleCount(), 0); }

    // Opening

    void openingIssuesTheLineSetupInOrder()
    {
        m_d2xx.addBridge(kDevice);
        MLPPhyFtdi link;
        QCOMPARE(link.enumerate(), 1);
        m_d2xx.clearCalls();

        link.openIndex(0);

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Open(0)")} + kLineSetup);
    }

    void everyOpenStartsTheLineAnew()
    {
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);

        bridge.link.openIndex(0);

        QCOMPARE(m_d2xx.calls(),
                 QStringList({QStringLiteral("FT_Close"), QStringLiteral("FT_Open(0)")}) + kLineSetup);
    }

    void bridgeThatFailsToOpenLeavesTheLinkClosed()
    {
        const int position = m_d2xx.addBridge(kDevice);
        m_d2xx.refuseOpen(position);
        MLPPhyFtdi link;

        link.openIndex(0);
        const auto result = link.readByte();

        QCOMPARE(result.empty, 1u);
        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Open")), 1);
        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Read(10) without device")), 1);
        QCOMPARE(m_d2xx.openHandleCount(), 0);
    }

    void destructorClosesTheOpenBridge()
    {
        m_d2xx.addBridge(kDevice);
        {
            MLPPhyFtdi link;
            link.openIndex(0);
            QCOMPARE(m_d2xx.openHandleCount(), 1);
            m_d2xx.clearCalls();
        }
        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Close")});
    }

    // The accepted list

    void descriptionDecidesAcceptance_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("device") << kDevice << true;
        QTest::newRow("dongle") << kDongle << true;
        QTest::newRow("bytes after the terminating zero") << QByteArray("MARLUNE MLP-DEV\0XYZ", 19) << true;
        QTest::newRow("device text continued") << QByteArrayLiteral("MARLUNE MLP-DEV2") << false;
        QTest::newRow("dongle text continued") << QByteArrayLiteral("MARLUNE MLP-DGL A") << false;
        QTest::newRow("shorter") << QByteArrayLiteral("MARLUNE MLP-DE") << false;
        QTest::newRow("lower case") << QByteArrayLiteral("marlune mlp-dev") << false;
        QTest::newRow("other product") << kOtherBridge << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void descriptionDecidesAcceptance()
    {
        QFETCH(QByteArray, description);
        QFETCH(bool, accepted);
        m_d2xx.addBridge(description);
        MLPPhyFtdi link;

        QCOMPARE(link.enumerate(), accepted ? 1 : 0);
    }

    void indicesCountAcceptedBridgesOnly()
    {
        m_d2xx.addBridge(kOtherBridge);
        m_d2xx.addBridge(kDevice);
        m_d2xx.addBridge(kOtherBridge);
        m_d2xx.addBridge(kDongle);
        MLPPhyFtdi link;
        QCOMPARE(link.enumerate(), 2);

        m_d2xx.clearCalls();
        link.openIndex(0);
        QCOMPARE(m_d2xx.calls().value(0), QStringLiteral("FT_Open(1)"));

        m_d2xx.clearCalls();
        link.openIndex(1);
        QCOMPARE(m_d2xx.calls().value(1), QStringLiteral("FT_Open(3)"));
    }

    // Another program's hold: on a bridge of our ids the driver shows only the opened flag, or
    // lists the bridge and then refuses to open it. Neither is a device that did not answer.
    void bridgesHeldElsewhereAreToldApart()
    {
        const int ours = m_d2xx.addBridge(kDevice);
        const int held = m_d2xx.addBridge(kDevice);
        m_d2xx.setLocationId(held, 0x213);
        m_d2xx.holdElsewhere(held, 0x04036001);
        m_d2xx.holdElsewhere(m_d2xx.addBridge(kDevice), 0x12345678);
        m_d2xx.refuseOpen(m_d2xx.addBridge(kDongle));
        MLPPhyFtdi link;
        QCOMPARE(link.enumerate(), 2);
        QCOMPARE(link.heldBridgeCount(), 1);
        // Where it sits, so that a unit listed there is known to be held, not gone.
        QCOMPARE(link.heldPortPaths(), std::vector<std::string>{"2-1.3"});

        link.openIndex(1);
        QVERIFY(link.openRefused());
        link.openIndex(ours);
        QVERIFY(!link.openRefused());
    }

    // Another link's listing rebuilds the driver's one list between this link's listing and
    // its open of bridge 1. A serial number of its own names the bridge wherever it is listed;
    // without one, its location (where it sits on the bus) does, and where the driver gives
    // none, only its position in an unchanged list.
    void openReachesTheListedBridgeAfterAnotherListing_data()
    {
        QTest::addColumn<QStringList>("serialNumbers");
        QTest::addColumn<bool>("located");
        QTest::addColumn<bool>("unplugFirst");
        QTest::addColumn<QStringList>("expectedOpen");
        const QStringList serials = {"FT0", "FT1", "FT2"};
        const QStringList secondWithout = {"FT0", "", "FT2"};
        const QStringList shared = {"FT1", "FT1", "FT2"};
        QTest::newRow("serial number, positions shifted")
            << serials << false << true << QStringList{"FT_OpenEx(FT1)"};
        QTest::newRow("no serial number, positions kept")
            << secondWithout << false << false << QStringList{"FT_Open(1)"};
        QTest::newRow("no serial number, positions shifted")
            << secondWithout << false << true << QStringList{};
        QTest::newRow("serial number of two bridges")
            << shared << false << false << QStringList{"FT_Open(1)"};
        QTest::newRow("no serial number, located, positions shifted")
            << secondWithout << true << true << QStringList{"FT_OpenEx(location 0x12)"};
        QTest::newRow("serial number of two bridges, located")
            << shared << true << false << QStringList{"FT_OpenEx(location 0x12)"};
    }

    void openReachesTheListedBridgeAfterAnotherListing()
    {
        QFETCH(QStringList, serialNumbers);
        QFETCH(bool, located);
        QFETCH(bool, unplugFirst);
        QFETCH(QStringList, expectedOpen);
        ScriptedEndpoint devices[3];
        for (int bridge = 0; bridge < 3; ++bridge) {
            m_d2xx.addBridge(kDevice, &devices[bridge]);
            m_d2xx.setSerialNumber(bridge, serialNumbers[bridge].toLatin1());
            // Bus 1, ports 1 to 3.
            m_d2xx.setLocationId(bridge, located ? 0x11 + static_cast<uint32_t>(bridge) : 0);
        }
        MLPPhyFtdi link;
        QCOMPARE(link.enumerate(), 3);
        if (unplugFirst) {
            m_d2xx.unplug(0);
        }
        MLPPhyFtdi other;
        other.enumerate();
        m_d2xx.clearCalls();

        link.openIndex(1);

        QCOMPARE(m_d2xx.calls().filter(QRegularExpression("^FT_Open")), expectedOpen);
        for (int bridge = 0; bridge < 3; ++bridge) {
            QCOMPARE(devices[bridge].received().isEmpty(), bridge != 1 || expectedOpen.isEmpty());
        }
        QVERIFY(!link.openRefused());
    }

    void openTakesTheIndexFromItsOwnScheme()
    {
        m_d2xx.addBridge(kDevice);
        m_d2xx.addBridge(kDongle);
        MLPPhyFtdi link;

        link.open("usb:ftdi/1");

        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Open(1)")), 1);
        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Open")), 1);
    }

    void firstOpenEnumeratesLaterOnesDoNot() { checkOnlyTheFirstOpenEnumerates<MLPPhyFtdi>(m_d2xx); }

    void indexOutsideTheListOpensNothing_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the end") << 1;
        QTest::newRow("largest") << INT_MAX;
    }

    void indexOutsideTheListOpensNothing()
    {
        QFETCH(int, index);
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);

        bridge.link.openIndex(index);

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Close")});
        QCOMPARE(bridge.link.readByte().empty, 1u);
    }

    void addressShorterThanThePrefixClosesTheLink()
    {
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        bridge.device.queueForHost(QByteArrayLiteral("\x01\x02"));

        bridge.link.open("usb:ftdi");

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Close")});
        QCOMPARE(bridge.link.readByte().empty, 1u);
    }

    // Reading

    void readsTakeWhatTheBridgeHolds_data()
    {
        const QString queue = QStringLiteral("FT_GetQueueStatus");
        const QString chunk = QStringLiteral("FT_Read(10)");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::newRow("nothing held: the chunk read waits") << QByteArray() << QStringList{queue, chunk};
        QTest::newRow("fewer than a chunk held")
            << QByteArrayLiteral("abc") << QStringList{queue, QStringLiteral("FT_Read(3)"), queue, chunk};
        QTest::newRow("a 15-byte answer")
            << QByteArrayLiteral("0123456789abcde")
            << QStringList{queue, chunk, queue, QStringLiteral("FT_Read(5)"), queue, chunk};
        QTest::newRow("chunks handed out without further calls")
            << QByteArrayLiteral("0123456789abcdefghijklmno")
            << QStringList{queue, chunk, queue, chunk, queue, QStringLiteral("FT_Read(5)"), queue, chunk};
    }

    void readsTakeWhatTheBridgeHolds()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, expectedCalls);
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        bridge.device.queueForHost(sent);

        QCOMPARE(readAll(bridge.link, sent.size()), sent);
        QCOMPARE(bridge.link.readByte().empty, 1u);

        QCOMPARE(m_d2xx.calls(), expectedCalls);
    }

    void readWithoutOpenBridgeIsEmpty()
    {
        MLPPhyFtdi link;

        const auto result = link.readByte();

        QCOMPARE(result.empty, 1u);
    }

    void bytesLeftFromOneBridgeAreNotHandedOutLater_data()
    {
        addFlagRows("openOther", "close", "open another bridge");
    }

    void bytesLeftFromOneBridgeAreNotHandedOutLater()
    {
        QFETCH(bool, openOther);
        ScriptedEndpoint first;
        ScriptedEndpoint second;
        m_d2xx.addBridge(kDevice, &first);
        m_d2xx.addBridge(kDongle, &second);
        MLPPhyFtdi link;
        link.openIndex(0);
        first.queueForHost(QByteArrayLiteral("ABCDEFGHIJ"));
        QCOMPARE(link.readByte().value, uint8_t('A'));

        if (openOther) {
            link.openIndex(1);
        } else {
            link.close();
        }

        QCOMPARE(link.readByte().empty, 1u);
    }

    // Writing

    void writeHandsTheBlockToTheBridge()
    {
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        const uint8_t frame[] = {0xAA, 0x01, 0x02, 0xCC};

        bridge.link.write(frame, sizeof frame);

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Write(aa 01 02 cc)")});
        QCOMPARE(bridge.device.received().mid(bridge.bytesOfOpening), QByteArray::fromHex("aa0102cc"));
    }

    void emptyWriteCallsNothing()
    {
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        const uint8_t frame[] = {0xAA};

        bridge.link.write(frame, 0);

        QVERIFY(m_d2xx.calls().isEmpty());
    }

    void partialWritesContinueWhereTheyStopped()
    {
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        m_d2xx.limitWrites(bridge.position, {2, 3});
        const uint8_t frame[] = {0x01, 0x02, 0x03, 0x04, 0x05};

        QVERIFY(bridge.link.write(frame, sizeof frame));

        QCOMPARE(m_d2xx.calls(), QStringList({QStringLiteral("FT_Write(01 02 03 04 05)"),
                                              QStringLiteral("FT_Write(03 04 05)")}));
        QCOMPARE(bridge.device.received().mid(bridge.bytesOfOpening), QByteArray::fromHex("0102030405"));
    }

    // However little the bridge takes, one write ends after the calls its total time-out
    // allows; a failing status ends it at once. Either way lastError() says why.
    void writeEndsWithinItsTotalTimeOut_data()
    {
        const int calls = static_cast<int>(MLPPhyFtdi::kWriteCalls);
        QTest::addColumn<int>("length");
        QTest::addColumn<QVector<uint32_t>>("acceptedPerCall");
        QTest::addColumn<uint32_t>("status");
        QTest::addColumn<int>("expectedCalls");
        QTest::addColumn<int>("expectedDelivered");
        QTest::addColumn<int>("expectedError");
        const int stalled = MLPPhyFtdi::kWriteStalledError;
        QTest::newRow("one byte, nothing taken")
            << 1 << QVector<uint32_t>(calls, 0) << uint32_t{FT_OK} << calls << 0 << stalled;
        QTest::newRow("512 bytes, nothing taken")
            << 512 << QVector<uint32_t>(calls, 0) << uint32_t{FT_OK} << calls << 0 << stalled;
        QTest::newRow("one byte per call, more bytes than calls")
            << calls + 3 << QVector<uint32_t>(calls, 1) << uint32_t{FT_OK} << calls << calls << stalled;
        QTest::newRow("one byte per call, as many bytes as calls")
            << calls << QVector<uint32_t>(calls, 1) << uint32_t{FT_OK} << calls << calls << int{FT_OK};
        QTest::newRow("stalls after one byte")
            << 3 << QVector<uint32_t>{0, 1, 0, 0, 0} << uint32_t{FT_OK} << calls << 1 << stalled;
        QTest::newRow("status FT_IO_ERROR")
            << 512 << QVector<uint32_t>{} << uint32_t{FT_IO_ERROR} << 1 << 0 << int{FT_IO_ERROR};
        QTest::newRow("status FT_DEVICE_NOT_FOUND")
            << 5 << QVector<uint32_t>{} << uint32_t{FT_DEVICE_NOT_FOUND} << 1 << 0
            << int{FT_DEVICE_NOT_FOUND};
    }

    void writeEndsWithinItsTotalTimeOut()
    {
        QFETCH(int, length);
        QFETCH(QVector<uint32_t>, acceptedPerCall);
        QFETCH(uint32_t, status);
        QFETCH(int, expectedCalls);
        QFETCH(int, expectedDelivered);
        QFETCH(int, expectedError);
        OpenedBridge<MLPPhyFtdi> bridge(m_d2xx);
        m_d2xx.limitWrites(bridge.position, acceptedPerCall);
        m_d2xx.failWrites(bridge.position, status);
        const QByteArray block(length, '\x55');

        QCOMPARE(bridge.link.write(reinterpret_cast<const uint8_t*>(block.constData()),
                                   static_cast<uint32_t>(block.size())),
                 expectedError == FT_OK);

        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Write")), expectedCalls);
        QCOMPARE(bridge.device.received().size() - bridge.bytesOfOpening, expectedDelivered);
        QCOMPARE(bridge.link.lastError(), expectedError);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyFtdi)
#include "tst_mlpphyftdi.moc"

#include "enumerationreuse.h"
#include "mlpphymultiusb.h"
#include "openedbridge.h"
#include "recordingd2xx.h"
#include "recordinglibusb.h"

#include <QtTest>

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPPhyMultiUsb;
using namespace marlune::testing;

// The FTDI member runs over the recording D2XX provider; the maker-USB member sees an empty
// bus of the recording libusb. Numbering across both kinds of device is covered by the USB
// emulation tests.
class TestMLPPhyMultiUsb : public QObject
{
    Q_OBJECT

private:
    RecordingD2xx& m_d2xx = RecordingD2xx::instance();

private slots:
    void init()
    {
        m_d2xx.reset();
        RecordingLibusb::instance().reset();
    }
    void cleanup() { QCOMPARE(m_d2xx.openHandleCount(), 0); }

    void answersWhileNoMemberIsChosen()
    {
        MLPPhyMultiUsb link;
        const uint8_t frame[] = {0xAA, 0xCC};

        QVERIFY(!link.write(frame, sizeof frame));
        link.close();
        const auto result = link.readByte();

        QCOMPARE(result.empty, 1u);
        QCOMPARE(result.value, uint8_t(0));
        QCOMPARE(link.lastError(), 1);
        QCOMPARE(QString::fromStdString(link.errorString(0)), QString());
        QCOMPARE(QString::fromStdString(link.errorString(7)), QString());
        QVERIFY(m_d2xx.calls().isEmpty());
    }

    void withoutDevicesNothingOpens()
    {
        MLPPhyMultiUsb link;

        QCOMPARE(link.enumerate(), 0);
        link.open("usb:m/0");

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(link.lastError(), 1);
        QCOMPARE(QString::fromStdString(link.errorString(0)), QString());
        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Open")), 0);
    }

    void joinedPositionsOpenTheFtdiMembersPositions_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expectedOpen");
        QTest::newRow("first") << "usb:m/0"
                               << "FT_Open(0)";
        QTest::newRow("second") << "usb:m/1"
                                << "FT_Open(2)";
    }

    void joinedPositionsOpenTheFtdiMembersPositions()
    {
        QFETCH(QString, address);
        QFETCH(QString, expectedOpen);
        m_d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"));
        m_d2xx.addBridge(QByteArrayLiteral("FT232R USB UART"));
        m_d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DGL"));
        MLPPhyMultiUsb link;

        link.open(address.toStdString());

        QCOMPARE(m_d2xx.callCount(QStringLiteral("FT_Open")), 1);
        QCOMPARE(m_d2xx.callCount(expectedOpen), 1);
    }

    void byteOperationsReachTheChosenMember()
    {
        OpenedBridge<MLPPhyMultiUsb> bridge(m_d2xx);
        bridge.device.queueForHost(QByteArrayLiteral("\x5A"));
        const uint8_t frame[] = {0xAA, 0x01, 0xCC};

        QVERIFY(bridge.link.write(frame, sizeof frame));
        const auto result = bridge.link.readByte();

        QCOMPARE(bridge.device.received().mid(bridge.bytesOfOpening), QByteArray::fromHex("aa01cc"));
        QCOMPARE(result.empty, 0u);
        QCOMPARE(result.value, uint8_t(0x5A));
        QCOMPARE(bridge.link.lastError(), 0);
        // The bridge's own names for its D2XX statuses.
        QCOMPARE(QString::fromStdString(bridge.link.errorString(0)), QStringLiteral("FT_OK"));
        QCOMPARE(QString::fromStdString(bridge.link.errorString(4)), QStringLiteral("FT_IO_ERROR"));
    }

    void closeKeepsTheMemberChosen()
    {
        OpenedBridge<MLPPhyMultiUsb> bridge(m_d2xx);
        bridge.device.queueForHost(QByteArrayLiteral("\x5A"));

        bridge.link.close();
        bridge.link.close();

        QCOMPARE(bridge.link.readByte().empty, 1u);
        QCOMPARE(bridge.link.lastError(), 0);
        QCOMPARE(m_d2xx.openHandleCount(), 0);
    }

    void positionBeyondTheListClosesTheChosenMember()
    {
        OpenedBridge<MLPPhyMultiUsb> bridge(m_d2xx);
        bridge.device.queueForHost(QByteArrayLiteral("\x5A"));

        bridge.link.openIndex(1);

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Close")});
        QCOMPARE(bridge.link.readByte().empty, 1u);
        QCOMPARE(bridge.link.lastError(), 0);
    }

    void addressShorterThanThePrefixClosesTheChosenMember()
    {
        OpenedBridge<MLPPhyMultiUsb> bridge(m_d2xx);

        bridge.link.open("usb:");

        QCOMPARE(m_d2xx.calls(), QStringList{QStringLiteral("FT_Close")});
        QCOMPARE(bridge.link.readByte().empty, 1u);
    }

    void enumeratesOnlyOnceUnlessAsked() { checkOnlyTheFirstOpenEnumerates<MLPPhyMultiUsb>(m_d2xx); }

    void linkKindFollowsTheLastEnumeration()
    {
        m_d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"));
        m_d2xx.addBridge(QByteArrayLiteral("FT232R USB UART"));
        m_d2xx.addBridge(QByteArrayLiteral("MARLUNE MLP-DGL"));
        MLPPhyMultiUsb link;
        QCOMPARE(link.linkKindAt(0), MLPLinkKind::Unknown);

        QCOMPARE(link.enumerate(), 2);
        QCOMPARE(link.linkKindAt(-1), MLPLinkKind::Unknown);
        QCOMPARE(link.linkKindAt(0), MLPLinkKind::FtdiBridge);
        QCOMPARE(link.linkKindAt(1), MLPLinkKind::FtdiBridge);
        QCOMPARE(link.linkKindAt(2), MLPLinkKind::Unknown);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyMultiUsb)
#include "tst_mlpphymultiusb.moc"

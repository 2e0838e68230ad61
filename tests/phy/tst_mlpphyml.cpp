#include "linkreading.h"
#include "mlpphyml.h"
#include "mlpphymultiusb.h"
#include "recordingd2xx.h"
#include "recordinglibusb.h"

#include <QtTest>

#include <libusb.h>

using marlune::MLP::MLPPhyMl;
using marlune::MLP::MLPPhyMultiUsb;
using namespace marlune::testing;

// The maker-USB link over a recording libusb: the exact library calls, and the cases real
// devices cannot be made to show on demand. Enumeration against devices on an emulated
// bus is tested in tst_mlpphyusb_emulated.
class TestMLPPhyMl : public QObject
{
    Q_OBJECT

private:
    RecordingLibusb& m_usb = RecordingLibusb::instance();

    void plugInDevice(const std::string& serial)
    {
        RecordingLibusb::Device device;
        device.serial = serial;
        m_usb.devices.push_back(device);
    }

private slots:
    void init()
    {
        m_usb.reset();
        RecordingD2xx::instance().reset();
    }

    void cleanup()
    {
        QCOMPARE(m_usb.heldReferences, 0);
        QCOMPARE(m_usb.openHandles, 0);
    }

    // Opening

    void openingClaimsInterfaceZero_data()
    {
        QTest::addColumn<int>("kernelDriverActive");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::newRow("no kernel driver")
            << 0
            << QStringList{"libusb_open(0)", "libusb_kernel_driver_active(0)", "libusb_claim_interface(0)"};
        QTest::newRow("kernel driver bound")
            << 1
            << QStringList{"libusb_open(0)", "libusb_kernel_driver_active(0)",
                           "libusb_detach_kernel_driver(0)", "libusb_claim_interface(0)"};
    }

    void openingClaimsInterfaceZero()
    {
        QFETCH(int, kernelDriverActive);
        QFETCH(QStringList, expectedCalls);
        plugInDevice("ML1");
        m_usb.devices[0].kernelDriverActive = kernelDriverActive;
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 1);
        m_usb.calls.clear();

        link.openIndex(0);

        QCOMPARE(m_usb.calls, expectedCalls);
    }

    void failedClaimLeavesTheLinkClosed()
    {
        plugInDevice("ML1");
        m_usb.devices[0].claimResult = LIBUSB_ERROR_BUSY;
        MLPPhyMl link;
        link.openIndex(0);
        m_usb.calls.clear();

        QCOMPARE(link.readByte().empty, 1u);
        const uint8_t frame[] = {0xAA, 0xCC};
        QVERIFY(!link.write(frame, sizeof frame));

        QVERIFY(m_usb.calls.isEmpty());
        QCOMPARE(m_usb.openHandles, 0);
    }

    void closeReleasesTheInterfaceOnce()
    {
        plugInDevice("ML1");
        MLPPhyMl link;
        QCOMPARE(link.readByte().empty, 1u);
        link.openIndex(0);
        m_usb.calls.clear();

        link.close();
        link.close();

        QCOMPARE(m_usb.calls, (QStringList{"libusb_release_interface(0)", "libusb_close(0)"}));
    }

    void addressShorterThanThePrefixClosesTheLink()
    {
        plugInDevice("ML1");
        MLPPhyMl link;
        link.open("usb:mlusb/0");
        m_usb.calls.clear();

        link.open("usb:mlusb");

        QCOMPARE(m_usb.calls, (QStringList{"libusb_release_interface(0)", "libusb_close(0)"}));
    }

    // Transfers

    void transfersUseTheBulkPairAndBoundedTimeOuts()
    {
        plugInDevice("ML1");
        MLPPhyMl link;
        link.openIndex(0);
        m_usb.calls.clear();
        const uint8_t frame[] = {0xAA, 0x01, 0xCC};

        QVERIFY(link.write(frame, sizeof frame));
        link.readByte();

        // Writing waits long enough for a device busy erasing flash, but not for ever.
        QCOMPARE(m_usb.calls,
                 (QStringList{"libusb_bulk_transfer(01, 3, 10000)", "libusb_bulk_transfer(81, 64, 800)"}));
        QCOMPARE(m_usb.bulkOutWrites, (std::vector<QByteArray>{QByteArray::fromHex("aa01cc")}));
    }

    // A frame the device did not take whole has not been sent: the protocol layer must not
    // wait for its answer nor count its bytes.
    void writeReportsWhetherTheDeviceTookEveryByte_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("transferred");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("all taken") << int{LIBUSB_SUCCESS} << 3 << true;
        QTest::newRow("time-out, part taken") << int{LIBUSB_ERROR_TIMEOUT} << 2 << false;
        QTest::newRow("time-out, nothing taken") << int{LIBUSB_ERROR_TIMEOUT} << 0 << false;
        QTest::newRow("device gone") << int{LIBUSB_ERROR_NO_DEVICE} << 0 << false;
        QTest::newRow("endpoint stalled") << int{LIBUSB_ERROR_PIPE} << 0 << false;
    }

    void writeReportsWhetherTheDeviceTookEveryByte()
    {
        QFETCH(int, result);
        QFETCH(int, transferred);
        QFETCH(bool, accepted);
        plugInDevice("ML1");
        MLPPhyMl link;
        link.openIndex(0);
        m_usb.bulkOutAnswers.push_back({result, transferred});
        const uint8_t frame[] = {0xAA, 0x01, 0xCC};

        QCOMPARE(link.write(frame, sizeof frame), accepted);
    }

    // A transfer that timed out keeps what it brought and the read goes on; one that failed
    // otherwise brought nothing usable: that read is empty and the next one tries again.
    void failedTransferKeepsOnlyWhatATimeOutBrought_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("brought");
        QTest::addColumn<QByteArray>("firstRead");
        QTest::addColumn<int>("transfersOfFirstRead");
        QTest::addColumn<QByteArray>("secondRead");
        QTest::newRow("time-out") << int{LIBUSB_ERROR_TIMEOUT} << QByteArrayLiteral("hello")
                                  << QByteArrayLiteral("hello!") << 3 << QByteArray();
        QTest::newRow("I/O error") << int{LIBUSB_ERROR_IO} << QByteArrayLiteral("junk") << QByteArray() << 1
                                   << QByteArrayLiteral("!");
    }

    void failedTransferKeepsOnlyWhatATimeOutBrought()
    {
        QFETCH(int, result);
        QFETCH(QByteArray, brought);
        QFETCH(QByteArray, firstRead);
        QFETCH(int, transfersOfFirstRead);
        QFETCH(QByteArray, secondRead);
        plugInDevice("ML1");
        MLPPhyMl link;
        link.openIndex(0);
        m_usb.bulkInAnswers.push_back({result, brought});
        m_usb.bulkInAnswers.push_back({0, QByteArrayLiteral("!")});
        m_usb.calls.clear();

        QCOMPARE(readUntilEmpty(link), firstRead);
        QCOMPARE(m_usb.callCount("libusb_bulk_transfer"), transfersOfFirstRead);
        QCOMPARE(readUntilEmpty(link), secondRead);
    }

    // Bytes one device sent are never handed out as another's, nor after closing.
    void bufferedBytesAreDroppedOnCloseAndReopen_data()
    {
        QTest::addColumn<bool>("openOther");
        QTest::addColumn<QByteArray>("readAfterwards");
        QTest::newRow("close") << false << QByteArray();
        QTest::newRow("open another device") << true << QByteArrayLiteral("second");
    }

    void bufferedBytesAreDroppedOnCloseAndReopen()
    {
        QFETCH(bool, openOther);
        QFETCH(QByteArray, readAfterwards);
        plugInDevice("ML1");
        plugInDevice("ML2");
        MLPPhyMl link;
        QCOMPARE(link.enumerate(), 2);
        link.openIndex(0);
        m_usb.bulkInAnswers.push_back({0, QByteArrayLiteral("first")});
        QCOMPARE(link.readByte().value, uint8_t('f'));

        if (openOther) {
            link.openIndex(1);
        } else {
            link.close();
        }
        m_usb.bulkInAnswers.push_back({0, QByteArrayLiteral("second")});

        QCOMPARE(readUntilEmpty(link), readAfterwards);
    }

    // Without libusb

    void failedLibraryStartReportsNoDevicesAndCallsNothing()
    {
        m_usb.initResult = LIBUSB_ERROR_OTHER;
        plugInDevice("ML1");
        {
            MLPPhyMl link;
            QCOMPARE(link.enumerate(), 0);
            link.openIndex(0);
            link.open("usb:mlusb/0");
            const uint8_t frame[] = {0xAA, 0xCC};
            QVERIFY(!link.write(frame, sizeof frame));
            QCOMPARE(link.readByte().empty, 1u);
            link.close();
        }
        QCOMPARE(m_usb.calls, QStringList{"libusb_init"});
    }

    void multiLinkStillListsBridgesWithoutLibusb()
    {
        m_usb.initResult = LIBUSB_ERROR_OTHER;
        plugInDevice("ML1");
        RecordingD2xx::instance().addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"));
        MLPPhyMultiUsb link;

        QCOMPARE(link.enumerate(), 1);
        link.openIndex(1);

        QCOMPARE(link.readByte().empty, 1u);
        QCOMPARE(m_usb.calls, QStringList{"libusb_init"});
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyMl)
#include "tst_mlpphyml.moc"

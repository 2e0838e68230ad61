#include "mlpphyml.h"
#include "mlpphymultiusb.h"
#include "recordingd2xx.h"

#include <QtTest>

#include <libusb.h>

using marlune::MLP::MLPPhyMl;
using marlune::MLP::MLPPhyMultiUsb;
using marlune::testing::RecordingD2xx;

// libusb as it is on a machine where it cannot start: libusb_init fails, and every other
// entry the link could reach counts its calls. A link that passed its missing context on
// would be handed libusb's default context instead.
namespace {
int libraryCalls = 0;
}

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context)
{
    *context = nullptr;
    return LIBUSB_ERROR_OTHER;
}

void LIBUSB_CALL libusb_exit(libusb_context*)
{
    ++libraryCalls;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list)
{
    ++libraryCalls;
    *list = nullptr;
    return LIBUSB_ERROR_OTHER;
}

void LIBUSB_CALL libusb_free_device_list(libusb_device**, int)
{
    ++libraryCalls;
}

int LIBUSB_CALL libusb_open(libusb_device*, libusb_device_handle** handle)
{
    ++libraryCalls;
    *handle = nullptr;
    return LIBUSB_ERROR_OTHER;
}

void LIBUSB_CALL libusb_close(libusb_device_handle*)
{
    ++libraryCalls;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle*, unsigned char, unsigned char*, int,
                                     int* transferred, unsigned int)
{
    ++libraryCalls;
    *transferred = 0;
    return LIBUSB_ERROR_OTHER;
}

} // extern "C"

class TestMLPPhyMlInitFailure : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        RecordingD2xx::instance().reset();
        libraryCalls = 0;
    }

    void linkReportsNoDevicesAndCallsNothing()
    {
        {
            MLPPhyMl link;
            QCOMPARE(link.enumerate(), 0);
            link.openIndex(0);
            link.open("usb:mlusb/0");
            const uint8_t frame[] = {0xAA, 0xCC};
            link.write(frame, sizeof frame);
            QCOMPARE(link.readByte().empty, 1u);
            link.close();
        }
        QCOMPARE(libraryCalls, 0);
    }

    void multiLinkStillListsFtdiBridges()
    {
        RecordingD2xx::instance().addBridge(QByteArrayLiteral("MARLUNE MLP-DEV"));
        {
            MLPPhyMultiUsb link;
            QCOMPARE(link.enumerate(), 1);
            link.openIndex(1);
            QCOMPARE(link.readByte().empty, 1u);
        }
        QCOMPARE(libraryCalls, 0);
    }
};

QTEST_GUILESS_MAIN(TestMLPPhyMlInitFailure)
#include "tst_mlpphymlinitfailure.moc"

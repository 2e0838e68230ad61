#include "emulatedbussuite.h"
#include "emulatedmakerdevice.h"
#include "flagrows.h"
#include "scriptedendpoint.h"

#include <QtTest>

#include <ftdi.h>
#include <libusb.h>

#include <memory>
#include <thread>

using namespace marlune::testing;

namespace {

constexpr unsigned int kLongTimeoutMs = 10000;
constexpr int kChildTimeoutMs = 20000;

int countDevices(libusb_context* context, uint16_t vendorId)
{
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    int matching = 0;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 && descriptor.idVendor == vendorId) {
            ++matching;
        }
    }
    libusb_free_device_list(list, 1);
    return matching;
}

libusb_device_handle* openClaimedMakerDevice(libusb_context* context, const std::string& serial)
{
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    libusb_device_handle* result = nullptr;
    for (ssize_t i = 0; i < count && result == nullptr; ++i) {
        libusb_device_descriptor descriptor{};
        libusb_device_handle* handle = nullptr;
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0 ||
            descriptor.idVendor != EmulatedMakerDevice::kVendorId || libusb_open(list[i], &handle) != 0) {
            continue;
        }
        unsigned char text[64] = {};
        if (libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text) > 0 &&
            serial == reinterpret_cast<char*>(text) && libusb_claim_interface(handle, 0) == 0) {
            result = handle;
        } else {
            libusb_close(handle);
        }
    }
    libusb_free_device_list(list, 1);
    return result;
}

} // namespace

class TestUsbEmulation : public EmulatedBusSuite
{
    Q_OBJECT

private slots:
    void unplugEndsPendingTransferWithNoDevice_data()
    {
        addFlagRows("byTheDevice", "unplugged from the bus", "the device pulls its plug");
    }

    void unplugEndsPendingTransferWithNoDevice()
    {
        QFETCH(bool, byTheDevice);
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        const int id = m_emulation->addMakerDevice(endpoint);
        QVERIFY(m_emulation.libusb() != nullptr);
        libusb_device_handle* handle = openClaimedMakerDevice(m_emulation.libusb(), "ML0001");
        QVERIFY(handle != nullptr);

        int readResult = 1;
        std::thread reader([&] {
            unsigned char buffer[64];
            int transferred = 0;
            readResult = libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, buffer,
                                              sizeof buffer, &transferred, kLongTimeoutMs);
        });
        QTest::qWait(50);
        if (byTheDevice) {
            endpoint->pullPlug();
        } else {
            m_emulation->unplug(id);
        }
        reader.join();
        QCOMPARE(readResult, int(LIBUSB_ERROR_NO_DEVICE));
        QTRY_VERIFY(!m_emulation->isPlugged(id));
        QTRY_COMPARE(countDevices(m_emulation.libusb(), EmulatedMakerDevice::kVendorId), 0);

        unsigned char request[] = {1, 2, 3};
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkOutEndpoint, request, sizeof request,
                                      &transferred, 0),
                 int(LIBUSB_ERROR_NO_DEVICE));
        unsigned char text[64];
        QVERIFY(libusb_get_string_descriptor_ascii(handle, 3, text, sizeof text) < 0);
        libusb_close(handle);
    }

    void unpluggedDeviceIsNoLongerListed()
    {
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        const int secondId =
            m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), makerWithSerial("ML0002"));
        QVERIFY(m_emulation.libusb() != nullptr);
        QCOMPARE(countDevices(m_emulation.libusb(), EmulatedMakerDevice::kVendorId), 2);

        m_emulation->unplug(secondId);
        // A context made before the unplug learns of it through its hotplug monitor.
        QTRY_COMPARE(countDevices(m_emulation.libusb(), EmulatedMakerDevice::kVendorId), 1);
        libusb_context* fresh = nullptr;
        QCOMPARE(libusb_init(&fresh), 0);
        QCOMPARE(countDevices(fresh, EmulatedMakerDevice::kVendorId), 1);
        libusb_exit(fresh);
    }

    void deviceAddedLaterIsFound()
    {
        QVERIFY(m_emulation.libusb() != nullptr);
        QCOMPARE(countDevices(m_emulation.libusb(), EmulatedMakerDevice::kVendorId), 0);
        auto endpoint = std::make_shared<ScriptedEndpoint>(ScriptedEndpoint::Answer::Echo);
        m_emulation->addMakerDevice(endpoint);
        QTRY_COMPARE(countDevices(m_emulation.libusb(), EmulatedMakerDevice::kVendorId), 1);

        libusb_device_handle* handle = openClaimedMakerDevice(m_emulation.libusb(), "ML0001");
        QVERIFY(handle != nullptr);
        unsigned char request[] = {0x55};
        unsigned char answer[64];
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkOutEndpoint, request, sizeof request,
                                      &transferred, 0),
                 0);
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, answer, sizeof answer,
                                      &transferred, kLongTimeoutMs),
                 0);
        QCOMPARE(transferred, 1);
        QCOMPARE(int(answer[0]), 0x55);
        libusb_close(handle);
    }

    void unpluggedFtdiBridgeFailsLibftdiCalls()
    {
        const int id = m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());
        ftdi_context* ftdi = m_emulation.ftdi();
        ftdi_device_list* list = nullptr;
        QCOMPARE(ftdi_usb_find_all(ftdi, &list, 0x0403, 0x6001), 1);
        QCOMPARE(ftdi_usb_open_dev(ftdi, list->dev), 0);
        ftdi_list_free(&list);

        m_emulation->unplug(id);
        const unsigned char bytes[] = {1, 2};
        QVERIFY(ftdi_write_data(ftdi, bytes, sizeof bytes) < 0);
        unsigned char buffer[16];
        QVERIFY(ftdi_read_data(ftdi, buffer, sizeof buffer) < 0);
        QVERIFY(ftdi_set_baudrate(ftdi, 250000) < 0);
    }

    void childProcessSeesAndDrivesDevices()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>(ScriptedEndpoint::Answer::Echo);
        m_emulation->addMakerDevice(endpoint);
        m_emulation->addFtdiBridge(std::make_shared<ScriptedEndpoint>());

        // The child inherits LD_PRELOAD and UMOCKDEV_DIR; this process answers its ioctls.
        QProcess probe;
        probe.start(QStringLiteral(USBPROBE_PATH), {QStringLiteral("--echo"), QStringLiteral("hello")});
        QVERIFY(probe.waitForFinished(kChildTimeoutMs));
        QCOMPARE(probe.exitCode(), 0);
        const QStringList lines = QString::fromLocal8Bit(probe.readAllStandardOutput()).split('\n');
        QVERIFY2(lines.contains("usb 16d0:0b23 ML0001"), qPrintable(lines.join(" | ")));
        QVERIFY2(lines.contains("usb 0403:6001 FT0001"), qPrintable(lines.join(" | ")));
        QVERIFY2(lines.contains("ftdi MARLUNE MLP-DEV FT0001"), qPrintable(lines.join(" | ")));
        QVERIFY2(lines.contains("echo hello"), qPrintable(lines.join(" | ")));
        QCOMPARE(endpoint->received(), QByteArrayLiteral("hello"));
    }
};

QTEST_GUILESS_MAIN(TestUsbEmulation)
#include "tst_usbemulation.moc"

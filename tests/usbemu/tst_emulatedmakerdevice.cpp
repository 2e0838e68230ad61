#include "scriptedendpoint.h"
#include "usbemulation.h"

#include <QtTest>

#include <libusb.h>
#include <sys/resource.h>

#include <memory>
#include <numeric>
#include <thread>

using marlune::testing::MakerDeviceOptions;
using marlune::testing::UsbEmulation;

namespace {

constexpr uint16_t kMakerVendorId = 0x16D0;
constexpr unsigned char kBulkIn = 0x81;
constexpr unsigned char kBulkOut = 0x01;
constexpr unsigned int kTransferTimeoutMs = 2000;
constexpr unsigned int kShortTimeoutMs = 50;

// The first device of the context with the given vendor and product id, referenced.
libusb_device* findDevice(libusb_context* context, uint16_t vendorId, uint16_t productId)
{
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count && found == nullptr; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 && descriptor.idVendor == vendorId &&
            descriptor.idProduct == productId) {
            found = libusb_ref_device(list[i]);
        }
    }
    libusb_free_device_list(list, 1);
    return found;
}

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toMs = [](const timeval& time) { return time.tv_sec * 1000.0 + time.tv_usec / 1000.0; };
    return toMs(usage.ru_utime) + toMs(usage.ru_stime);
}

std::string stringDescriptor(libusb_device_handle* handle, uint8_t index)
{
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length < 0 ? std::string("error ") + libusb_error_name(length)
                      : std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
}

} // namespace

class TestEmulatedMakerDevice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UsbEmulation> m_emulation;
    libusb_context* m_context = nullptr;

    // Opens the device with the given product id and claims interface 0.
    libusb_device_handle* openClaimed(uint16_t productId)
    {
        libusb_device* device = findDevice(m_context, kMakerVendorId, productId);
        if (device == nullptr) {
            return nullptr;
        }
        libusb_device_handle* handle = nullptr;
        const int opened = libusb_open(device, &handle);
        libusb_unref_device(device);
        if (opened != 0) {
            return nullptr;
        }
        if (libusb_claim_interface(handle, 0) != 0) {
            libusb_close(handle);
            return nullptr;
        }
        return handle;
    }

private slots:
    void init()
    {
        m_emulation = std::make_unique<UsbEmulation>();
        QVERIFY2(m_emulation->isActive(), "run the test under umockdev-wrapper");
    }

    void cleanup()
    {
        if (m_context != nullptr) {
            libusb_exit(m_context);
            m_context = nullptr;
        }
        m_emulation.reset();
    }

    void listsDeviceWithItsIds_data()
    {
        QTest::addColumn<int>("productId");
        QTest::newRow("0B23") << 0x0B23;
        QTest::newRow("0DBF") << 0x0DBF;
        QTest::newRow("0FA0") << 0x0FA0;
        QTest::newRow("foreign product id") << 0x1234;
    }

    void listsDeviceWithItsIds()
    {
        QFETCH(int, productId);
        MakerDeviceOptions options;
        options.productId = static_cast<uint16_t>(productId);
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), options);
        QCOMPARE(libusb_init(&m_context), 0);

        libusb_device* device = findDevice(m_context, kMakerVendorId, static_cast<uint16_t>(productId));
        QVERIFY(device != nullptr);
        libusb_unref_device(device);
    }

    void configurationHasOneBulkPairOnInterfaceZero()
    {
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        QVERIFY(device != nullptr);

        libusb_config_descriptor* configuration = nullptr;
        QCOMPARE(libusb_get_active_config_descriptor(device, &configuration), 0);
        QCOMPARE(int(configuration->bNumInterfaces), 1);
        const libusb_interface_descriptor& interface = configuration->interface[0].altsetting[0];
        QCOMPARE(int(interface.bInterfaceNumber), 0);
        QCOMPARE(int(interface.bNumEndpoints), 2);
        QCOMPARE(int(interface.endpoint[0].bEndpointAddress), int(kBulkIn));
        QCOMPARE(int(interface.endpoint[1].bEndpointAddress), int(kBulkOut));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(int(interface.endpoint[i].bmAttributes & 0x03), int(LIBUSB_TRANSFER_TYPE_BULK));
            QCOMPARE(int(interface.endpoint[i].wMaxPacketSize), 64);
        }
        libusb_free_config_descriptor(configuration);
        libusb_unref_device(device);
    }

    void answersStringDescriptors()
    {
        MakerDeviceOptions options;
        options.serial = "SN-4711";
        options.manufacturer = "Marlune";
        options.product = "Dimmer 12";
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), options);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        QVERIFY(device != nullptr);
        libusb_device_descriptor descriptor{};
        QCOMPARE(libusb_get_device_descriptor(device, &descriptor), 0);
        libusb_device_handle* handle = nullptr;
        QCOMPARE(libusb_open(device, &handle), 0);
        libusb_unref_device(device);

        QCOMPARE(stringDescriptor(handle, descriptor.iSerialNumber), std::string("SN-4711"));
        QCOMPARE(stringDescriptor(handle, descriptor.iManufacturer), std::string("Marlune"));
        QCOMPARE(stringDescriptor(handle, descriptor.iProduct), std::string("Dimmer 12"));
        QCOMPARE(stringDescriptor(handle, 9), std::string("error LIBUSB_ERROR_PIPE"));
        libusb_close(handle);
    }

    void deviceWithoutSerialNamesNoSerialString()
    {
        MakerDeviceOptions options;
        options.hasSerial = false;
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), options);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        QVERIFY(device != nullptr);
        libusb_device_descriptor descriptor{};
        QCOMPARE(libusb_get_device_descriptor(device, &descriptor), 0);
        QCOMPARE(int(descriptor.iSerialNumber), 0);
        libusb_device_handle* handle = nullptr;
        QCOMPARE(libusb_open(device, &handle), 0);
        unsigned char text[32];
        QVERIFY(libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text) < 0);
        libusb_close(handle);
        libusb_unref_device(device);
    }

    void unopenableDeviceRefusesAccess()
    {
        MakerDeviceOptions options;
        options.openable = false;
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), options);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        QVERIFY2(device != nullptr, "an unopenable device is still listed");
        libusb_device_handle* handle = nullptr;
        QCOMPARE(libusb_open(device, &handle), int(LIBUSB_ERROR_ACCESS));
        libusb_unref_device(device);
    }

    void busyInterfaceRefusesClaim()
    {
        MakerDeviceOptions options;
        options.interfaceBusy = true;
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>(), options);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        QVERIFY(device != nullptr);
        libusb_device_handle* handle = nullptr;
        QCOMPARE(libusb_open(device, &handle), 0);
        libusb_unref_device(device);
        QCOMPARE(libusb_claim_interface(handle, 0), int(LIBUSB_ERROR_BUSY));
        libusb_close(handle);
    }

    void secondHandleCannotClaimClaimedInterface()
    {
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* first = openClaimed(0x0B23);
        QVERIFY(first != nullptr);
        libusb_device* device = findDevice(m_context, kMakerVendorId, 0x0B23);
        libusb_device_handle* second = nullptr;
        QCOMPARE(libusb_open(device, &second), 0);
        libusb_unref_device(device);
        QCOMPARE(libusb_claim_interface(second, 0), int(LIBUSB_ERROR_BUSY));
        libusb_release_interface(first, 0);
        QCOMPARE(libusb_claim_interface(second, 0), 0);
        libusb_close(second);
        libusb_close(first);
    }

    void bulkRoundTripCarriesBytes()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>(true);
        m_emulation->addMakerDevice(endpoint);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);

        std::vector<uint8_t> request(40);
        std::iota(request.begin(), request.end(), uint8_t(1));
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, kBulkOut, request.data(), int(request.size()), &transferred, 0),
                 0);
        QCOMPARE(transferred, int(request.size()));
        QCOMPARE(endpoint->received(), request);

        std::vector<uint8_t> answer(64);
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, answer.data(), int(answer.size()), &transferred,
                                      kTransferTimeoutMs),
                 0);
        QCOMPARE(transferred, int(request.size()));
        answer.resize(std::size_t(transferred));
        QCOMPARE(answer, request);
        libusb_close(handle);
    }

    void bulkInWaitsForDeviceData()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(endpoint);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);

        // The device has its answer ready only after the transfer has started waiting.
        std::thread device([endpoint] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            endpoint->queueForHost({0xA5, 0x5A});
        });
        std::vector<uint8_t> answer(64);
        int transferred = 0;
        const int result = libusb_bulk_transfer(handle, kBulkIn, answer.data(), int(answer.size()),
                                                &transferred, kTransferTimeoutMs);
        device.join();
        QCOMPARE(result, 0);
        QCOMPARE(transferred, 2);
        QCOMPARE(int(answer[0]), 0xA5);
        QCOMPARE(int(answer[1]), 0x5A);
        libusb_close(handle);
    }

    void longAnswerEndsWithShortPacket_data()
    {
        QTest::addColumn<int>("answerLength");
        QTest::addColumn<int>("bufferLength");
        QTest::addColumn<int>("expectedLength");
        QTest::newRow("one short packet") << 10 << 512 << 10;
        QTest::newRow("full packets then a short one") << 150 << 512 << 150;
        QTest::newRow("buffer full before the answer ends") << 300 << 256 << 256;
        QTest::newRow("exactly one buffer") << 64 << 64 << 64;
    }

    void longAnswerEndsWithShortPacket()
    {
        QFETCH(int, answerLength);
        QFETCH(int, bufferLength);
        QFETCH(int, expectedLength);
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(endpoint);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);

        std::vector<uint8_t> answer(static_cast<std::size_t>(answerLength));
        std::iota(answer.begin(), answer.end(), uint8_t(0));
        endpoint->queueForHost(answer);
        std::vector<uint8_t> buffer(static_cast<std::size_t>(bufferLength));
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), bufferLength, &transferred,
                                      kTransferTimeoutMs),
                 0);
        QCOMPARE(transferred, expectedLength);
        QVERIFY(std::equal(buffer.begin(), buffer.begin() + expectedLength, answer.begin()));
        libusb_close(handle);
    }

    void bulkInTimeOutWithoutData()
    {
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);
        std::vector<uint8_t> buffer(64);
        int transferred = -1;
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), 64, &transferred, kShortTimeoutMs),
                 int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(transferred, 0);
        libusb_close(handle);
    }

    void idleBulkInWaitReportsCpuCost()
    {
        // libusb polls for finished URBs; the emulation holds idle polls to keep this cheap.
        m_emulation->addMakerDevice(std::make_shared<ScriptedEndpoint>());
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);
        constexpr unsigned int kIdleWaitMs = 800;
        const double cpuBefore = processCpuMs();
        std::vector<uint8_t> buffer(64);
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), 64, &transferred, kIdleWaitMs),
                 int(LIBUSB_ERROR_TIMEOUT));
        qInfo("an idle %u ms bulk IN wait cost %.0f ms of CPU (host, umockdev and emulation threads)",
              kIdleWaitMs, processCpuMs() - cpuBefore);
        libusb_close(handle);
    }

    void bulkInTimeOutKeepsBytesAlreadyReceived()
    {
        // One full packet and then silence: the URB stays open until the host gives up,
        // and the killed URB still reports the packet it got.
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        m_emulation->addMakerDevice(endpoint);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);
        std::vector<uint8_t> packet(64);
        std::iota(packet.begin(), packet.end(), uint8_t(100));
        endpoint->queueForHost(packet);

        std::vector<uint8_t> buffer(256);
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), 256, &transferred, kShortTimeoutMs),
                 int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(transferred, 64);
        QVERIFY(std::equal(packet.begin(), packet.end(), buffer.begin()));

        // The next transfer starts afresh.
        endpoint->queueForHost({0x42});
        QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), 256, &transferred, kTransferTimeoutMs),
                 0);
        QCOMPARE(transferred, 1);
        QCOMPARE(int(buffer[0]), 0x42);
        libusb_close(handle);
    }

    void wireTimeModelKeepsBytesIntact()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>(true);
        MakerDeviceOptions options;
        options.modelWireTime = true;
        m_emulation->addMakerDevice(endpoint, options);
        QCOMPARE(libusb_init(&m_context), 0);
        libusb_device_handle* handle = openClaimed(0x0B23);
        QVERIFY(handle != nullptr);

        constexpr int kRoundTrips = 20;
        std::vector<uint8_t> request(200);
        std::iota(request.begin(), request.end(), uint8_t(7));
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRoundTrips; ++i) {
            int transferred = 0;
            QCOMPARE(
                libusb_bulk_transfer(handle, kBulkOut, request.data(), int(request.size()), &transferred, 0),
                0);
            std::vector<uint8_t> answer;
            while (answer.size() < request.size()) {
                std::vector<uint8_t> buffer(512);
                QCOMPARE(libusb_bulk_transfer(handle, kBulkIn, buffer.data(), int(buffer.size()),
                                              &transferred, kTransferTimeoutMs),
                         0);
                answer.insert(answer.end(), buffer.begin(), buffer.begin() + transferred);
            }
            QCOMPARE(answer, request);
        }
        qInfo("%d round trips of %zu bytes with full-speed frame timing: %lld ms", kRoundTrips,
              request.size(), static_cast<long long>(timer.elapsed()));
        libusb_close(handle);
    }
};

QTEST_GUILESS_MAIN(TestEmulatedMakerDevice)
#include "tst_emulatedmakerdevice.moc"

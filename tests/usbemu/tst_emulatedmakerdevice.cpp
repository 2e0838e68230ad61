#include "emulatedbussuite.h"
#include "emulatedmakerdevice.h"
#include "patternedbytes.h"
#include "scriptedendpoint.h"

#include <QtTest>

#include <libusb.h>
#include <sys/resource.h>

#include <memory>
#include <thread>

using namespace marlune::testing;

namespace {

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

unsigned char* transferBuffer(QByteArray& bytes)
{
    return reinterpret_cast<unsigned char*>(bytes.data());
}

std::string stringDescriptor(libusb_device_handle* handle, uint8_t index)
{
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length < 0 ? std::string("error ") + libusb_error_name(length)
                      : std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
}

} // namespace

class TestEmulatedMakerDevice : public EmulatedBusSuite
{
    Q_OBJECT

private:
    // Plugs in a maker device answering through endpoint and finds it through the test's
    // libusb context; referenced, null when either step fails.
    libusb_device*
    plugInAndFind(const MakerDeviceOptions& options = {},
                  std::shared_ptr<ScriptedEndpoint> endpoint = std::make_shared<ScriptedEndpoint>())
    {
        m_emulation->addMakerDevice(std::move(endpoint), options);
        libusb_context* context = m_emulation.libusb();
        return context != nullptr ? findDevice(context, EmulatedMakerDevice::kVendorId, options.productId)
                                  : nullptr;
    }

    // Plugs in a maker device answering through endpoint, opens it and claims interface 0;
    // null when any step fails.
    libusb_device_handle* plugInClaimed(std::shared_ptr<ScriptedEndpoint> endpoint,
                                        const MakerDeviceOptions& options = {})
    {
        libusb_device* device = plugInAndFind(options, std::move(endpoint));
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
        libusb_device* device = plugInAndFind(makerWithProduct(static_cast<uint16_t>(productId)));
        QVERIFY(device != nullptr);
        libusb_unref_device(device);
    }

    void configurationHasOneBulkPairOnInterfaceZero()
    {
        libusb_device* device = plugInAndFind();
        QVERIFY(device != nullptr);

        libusb_config_descriptor* configuration = nullptr;
        QCOMPARE(libusb_get_active_config_descriptor(device, &configuration), 0);
        QCOMPARE(int(configuration->bNumInterfaces), 1);
        const libusb_interface_descriptor& interface = configuration->interface[0].altsetting[0];
        QCOMPARE(int(interface.bInterfaceNumber), 0);
        QCOMPARE(int(interface.bNumEndpoints), 2);
        QCOMPARE(int(interface.endpoint[0].bEndpointAddress), int(EmulatedMakerDevice::kBulkInEndpoint));
        QCOMPARE(int(interface.endpoint[1].bEndpointAddress), int(EmulatedMakerDevice::kBulkOutEndpoint));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(int(interface.endpoint[i].bmAttributes & 0x03), int(LIBUSB_TRANSFER_TYPE_BULK));
            QCOMPARE(int(interface.endpoint[i].wMaxPacketSize), 64);
        }
        libusb_free_config_descriptor(configuration);
        libusb_unref_device(device);
    }

    void answersStringDescriptors()
    {
        MakerDeviceOptions options = makerWithSerial("SN-4711");
        options.manufacturer = "Marlune";
        options.product = "Dimmer 12";
        libusb_device* device = plugInAndFind(options);
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
        libusb_device* device = plugInAndFind(options);
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

    void accessFollowsTheOptions_data()
    {
        QTest::addColumn<bool>("openable");
        QTest::addColumn<bool>("interfaceBusy");
        QTest::addColumn<int>("openResult");
        QTest::addColumn<int>("claimResult");
        QTest::newRow("no access rights") << false << false << int(LIBUSB_ERROR_ACCESS) << 0;
        QTest::newRow("interface held elsewhere") << true << true << 0 << int(LIBUSB_ERROR_BUSY);
    }

    void accessFollowsTheOptions()
    {
        QFETCH(bool, openable);
        QFETCH(bool, interfaceBusy);
        QFETCH(int, openResult);
        QFETCH(int, claimResult);
        MakerDeviceOptions options;
        options.openable = openable;
        options.interfaceBusy = interfaceBusy;
        libusb_device* device = plugInAndFind(options);
        QVERIFY2(device != nullptr, "a device that cannot be used is still listed");
        libusb_device_handle* handle = nullptr;
        QCOMPARE(libusb_open(device, &handle), openResult);
        libusb_unref_device(device);
        if (handle != nullptr) {
            QCOMPARE(libusb_claim_interface(handle, 0), claimResult);
            libusb_close(handle);
        }
    }

    void secondHandleCannotClaimClaimedInterface()
    {
        libusb_device_handle* first = plugInClaimed(std::make_shared<ScriptedEndpoint>());
        QVERIFY(first != nullptr);
        libusb_device* device = findDevice(m_emulation.libusb(), EmulatedMakerDevice::kVendorId, 0x0B23);
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
        auto endpoint = std::make_shared<ScriptedEndpoint>(ScriptedEndpoint::Answer::Echo);
        libusb_device_handle* handle = plugInClaimed(endpoint);
        QVERIFY(handle != nullptr);

        QByteArray request = patternedBytes(40, 1);
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkOutEndpoint, transferBuffer(request),
                                      request.size(), &transferred, 0),
                 0);
        QCOMPARE(transferred, request.size());
        QCOMPARE(endpoint->received(), request);

        QByteArray answer(64, '\0');
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, transferBuffer(answer),
                                      answer.size(), &transferred, kTransferTimeoutMs),
                 0);
        QCOMPARE(answer.left(transferred), request);
        libusb_close(handle);
    }

    void bulkInWaitsForDeviceData()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>();
        libusb_device_handle* handle = plugInClaimed(endpoint);
        QVERIFY(handle != nullptr);

        // The device has its answer ready only after the transfer has started waiting.
        std::thread device([endpoint] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            endpoint->queueForHost(QByteArray::fromHex("a55a"));
        });
        QByteArray answer(64, '\0');
        int transferred = 0;
        const int result =
            libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, transferBuffer(answer),
                                 answer.size(), &transferred, kTransferTimeoutMs);
        device.join();
        QCOMPARE(result, 0);
        QCOMPARE(answer.left(transferred), QByteArray::fromHex("a55a"));
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
        libusb_device_handle* handle = plugInClaimed(endpoint);
        QVERIFY(handle != nullptr);

        const QByteArray answer = patternedBytes(answerLength);
        endpoint->queueForHost(answer);
        QByteArray buffer(bufferLength, '\0');
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, transferBuffer(buffer),
                                      bufferLength, &transferred, kTransferTimeoutMs),
                 0);
        QCOMPARE(buffer.left(transferred), answer.left(expectedLength));
        libusb_close(handle);
    }

    void bulkInTimeOutWithoutData()
    {
        libusb_device_handle* handle = plugInClaimed(std::make_shared<ScriptedEndpoint>());
        QVERIFY(handle != nullptr);
        std::vector<uint8_t> buffer(64);
        int transferred = -1;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, buffer.data(), 64,
                                      &transferred, kShortTimeoutMs),
                 int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(transferred, 0);
        libusb_close(handle);
    }

    void idleBulkInWaitReportsCpuCost()
    {
        // libusb polls for finished URBs; the emulation holds idle polls to keep this cheap.
        libusb_device_handle* handle = plugInClaimed(std::make_shared<ScriptedEndpoint>());
        QVERIFY(handle != nullptr);
        constexpr unsigned int kIdleWaitMs = 800;
        const double cpuBefore = processCpuMs();
        std::vector<uint8_t> buffer(64);
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, buffer.data(), 64,
                                      &transferred, kIdleWaitMs),
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
        libusb_device_handle* handle = plugInClaimed(endpoint);
        QVERIFY(handle != nullptr);
        const QByteArray packet = patternedBytes(64, 100);
        endpoint->queueForHost(packet);

        QByteArray buffer(256, '\0');
        int transferred = 0;
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, transferBuffer(buffer),
                                      256, &transferred, kShortTimeoutMs),
                 int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(buffer.left(transferred), packet);

        // The next transfer starts afresh.
        endpoint->queueForHost(QByteArray::fromHex("42"));
        QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint, transferBuffer(buffer),
                                      256, &transferred, kTransferTimeoutMs),
                 0);
        QCOMPARE(buffer.left(transferred), QByteArray::fromHex("42"));
        libusb_close(handle);
    }

    void wireTimeModelKeepsBytesIntact()
    {
        auto endpoint = std::make_shared<ScriptedEndpoint>(ScriptedEndpoint::Answer::Echo);
        MakerDeviceOptions options;
        options.modelWireTime = true;
        libusb_device_handle* handle = plugInClaimed(endpoint, options);
        QVERIFY(handle != nullptr);

        constexpr int kRoundTrips = 20;
        QByteArray request = patternedBytes(200, 7);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRoundTrips; ++i) {
            int transferred = 0;
            QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkOutEndpoint,
                                          transferBuffer(request), request.size(), &transferred, 0),
                     0);
            QByteArray answer;
            while (answer.size() < request.size()) {
                QByteArray buffer(512, '\0');
                QCOMPARE(libusb_bulk_transfer(handle, EmulatedMakerDevice::kBulkInEndpoint,
                                              transferBuffer(buffer), buffer.size(), &transferred,
                                              kTransferTimeoutMs),
                         0);
                answer.append(buffer.left(transferred));
            }
            QCOMPARE(answer, request);
        }
        qInfo("%d round trips of %d bytes with full-speed frame timing: %lld ms", kRoundTrips,
              int(request.size()), static_cast<long long>(timer.elapsed()));
        libusb_close(handle);
    }
};

QTEST_GUILESS_MAIN(TestEmulatedMakerDevice)
#include "tst_emulatedmakerdevice.moc"

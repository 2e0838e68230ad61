#include "recordinglibusb.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>

namespace marlune::testing {

RecordingLibusb& RecordingLibusb::instance()
{
    static RecordingLibusb library;
    return library;
}

void RecordingLibusb::reset()
{
    initResult = 0;
    devices.clear();
    bulkInAnswers.clear();
    bulkOutAnswers.clear();
    bulkOutWrites.clear();
    calls.clear();
    heldReferences = 0;
    openHandles = 0;
}

int RecordingLibusb::callCount(const QString& callPrefix) const
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const QString& call) { return call.startsWith(callPrefix); }));
}

} // namespace marlune::testing

using marlune::testing::RecordingLibusb;

// The opaque libusb types stand for positions on the bus; a context is any non-null pointer.
struct libusb_context
{};

struct libusb_device
{
    int position;
};

struct libusb_device_handle
{
    int position;
};

namespace {

libusb_context theContext;
libusb_device busDevices[16] = {{0}, {1}, {2},  {3},  {4},  {5},  {6},  {7},
                                {8}, {9}, {10}, {11}, {12}, {13}, {14}, {15}};

RecordingLibusb& bus()
{
    return RecordingLibusb::instance();
}

const RecordingLibusb::Device& deviceAt(int position)
{
    return bus().devices[static_cast<std::size_t>(position)];
}

constexpr uint8_t kSerialStringIndex = 3;

} // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context)
{
    bus().calls.append(QStringLiteral("libusb_init"));
    *context = bus().initResult == 0 ? &theContext : nullptr;
    return bus().initResult;
}

void LIBUSB_CALL libusb_exit(libusb_context*)
{
    bus().calls.append(QStringLiteral("libusb_exit"));
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list)
{
    bus().calls.append(QStringLiteral("libusb_get_device_list"));
    const std::size_t count = std::min(bus().devices.size(), std::size(busDevices));
    *list = new libusb_device*[count + 1];
    for (std::size_t position = 0; position < count; ++position) {
        (*list)[position] = &busDevices[position];
    }
    (*list)[count] = nullptr;
    return static_cast<ssize_t>(count);
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int)
{
    bus().calls.append(QStringLiteral("libusb_free_device_list"));
    delete[] list;
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device)
{
    ++bus().heldReferences;
    return device;
}

void LIBUSB_CALL libusb_unref_device(libusb_device*)
{
    --bus().heldReferences;
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor)
{
    const RecordingLibusb::Device& described = deviceAt(device->position);
    *descriptor = libusb_device_descriptor{};
    descriptor->idVendor = described.vendorId;
    descriptor->idProduct = described.productId;
    descriptor->iSerialNumber = described.hasSerial ? kSerialStringIndex : 0;
    return 0;
}

int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle)
{
    bus().calls.append(QStringLiteral("libusb_open(%1)").arg(device->position));
    if (!deviceAt(device->position).openable) {
        return LIBUSB_ERROR_ACCESS;
    }
    ++bus().openHandles;
    *handle = new libusb_device_handle{device->position};
    return 0;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* handle)
{
    if (handle == nullptr) {
        return;
    }
    bus().calls.append(QStringLiteral("libusb_close(%1)").arg(handle->position));
    --bus().openHandles;
    delete handle;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                   unsigned char* text, int length)
{
    const RecordingLibusb::Device& described = deviceAt(handle->position);
    if (index != kSerialStringIndex || !described.hasSerial || length <= 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    const int copied = std::min(static_cast<int>(described.serial.size()), length - 1);
    std::memcpy(text, described.serial.data(), static_cast<std::size_t>(copied));
    text[copied] = 0;
    return copied;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* handle, int interfaceNumber)
{
    bus().calls.append(QStringLiteral("libusb_kernel_driver_active(%1)").arg(interfaceNumber));
    return deviceAt(handle->position).kernelDriverActive;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle*, int interfaceNumber)
{
    bus().calls.append(QStringLiteral("libusb_detach_kernel_driver(%1)").arg(interfaceNumber));
    return 0;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interfaceNumber)
{
    bus().calls.append(QStringLiteral("libusb_claim_interface(%1)").arg(interfaceNumber));
    return deviceAt(handle->position).claimResult;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle*, int interfaceNumber)
{
    bus().calls.append(QStringLiteral("libusb_release_interface(%1)").arg(interfaceNumber));
    return 0;
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle*, unsigned char endpoint, unsigned char* data,
                                     int length, int* transferred, unsigned int timeout)
{
    bus().calls.append(QStringLiteral("libusb_bulk_transfer(%1, %2, %3)")
                           .arg(endpoint, 2, 16, QLatin1Char('0'))
                           .arg(length)
                           .arg(timeout));
    *transferred = 0;
    if ((endpoint & LIBUSB_ENDPOINT_IN) == 0) {
        RecordingLibusb::BulkOutAnswer answer{0, length};
        if (!bus().bulkOutAnswers.empty()) {
            answer = bus().bulkOutAnswers.front();
            bus().bulkOutAnswers.pop_front();
        }
        *transferred = std::min(length, answer.transferred);
        bus().bulkOutWrites.push_back(QByteArray(reinterpret_cast<const char*>(data), *transferred));
        return answer.result;
    }
    if (bus().bulkInAnswers.empty()) {
        return LIBUSB_ERROR_TIMEOUT;
    }
    const RecordingLibusb::BulkInAnswer answer = bus().bulkInAnswers.front();
    bus().bulkInAnswers.pop_front();
    *transferred = std::min(length, static_cast<int>(answer.bytes.size()));
    std::memcpy(data, answer.bytes.constData(), static_cast<std::size_t>(*transferred));
    return answer.result;
}

} // extern "C"

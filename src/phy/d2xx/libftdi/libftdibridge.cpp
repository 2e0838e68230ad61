#include "libftdibridge.h"

#include "mlpusbidentities.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include <ftdi.h>
#include <libusb.h>

namespace marlune::d2xx {

namespace {

constexpr int kDescriptionBytes = sizeof FT_DEVICE_LIST_INFO_NODE{}.Description;
constexpr int kSerialNumberBytes = sizeof FT_DEVICE_LIST_INFO_NODE{}.SerialNumber;

std::string readString(libusb_device_handle* handle, uint8_t index, int capacity)
{
    // Index 0 means the device has no such string.
    if (index == 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(capacity), '\0');
    const int length = libusb_get_string_descriptor_ascii(
        handle, index, reinterpret_cast<unsigned char*>(text.data()), capacity);
    if (length < 0) {
        return std::string();
    }
    text.resize(std::min(static_cast<std::size_t>(length), text.size() - 1));
    return text;
}

int boundedTimeout(ULONG timeoutMs)
{
    // libusb reads 0 as "no limit", which D2XX does not mean.
    return static_cast<int>(std::clamp<ULONG>(timeoutMs, 1, INT_MAX));
}

FT_STATUS statusOf(int ftdiResult)
{
    return ftdiResult == 0 ? FT_OK : FT_IO_ERROR;
}

} // namespace

FT_STATUS LibftdiBridge::listAttached(std::vector<ListEntry>& entries)
{
    entries.clear();
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        return FT_IO_ERROR;
    }
    libusb_device** attached = nullptr;
    const ssize_t attachedCount = libusb_get_device_list(context, &attached);
    if (attachedCount < 0) {
        libusb_exit(context);
        return FT_IO_ERROR;
    }
    for (ssize_t i = 0; i < attachedCount; ++i) {
        libusb_device* device = attached[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
            !marlune::MLP::MLPUsbIdentities::isFtdiBridge(descriptor.idVendor, descriptor.idProduct)) {
            continue;
        }
        ListEntry entry;
        entry.busNumber = libusb_get_bus_number(device);
        entry.deviceAddress = libusb_get_device_address(device);
        entry.id = (ULONG{descriptor.idVendor} << 16) | descriptor.idProduct;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(device, &handle) == 0) {
            entry.description = readString(handle, descriptor.iProduct, kDescriptionBytes);
            entry.serialNumber = readString(handle, descriptor.iSerialNumber, kSerialNumberBytes);
            libusb_close(handle);
        }
        entries.push_back(std::move(entry));
    }
    libusb_free_device_list(attached, 1);
    libusb_exit(context);
    return FT_OK;
}

LibftdiBridge::LibftdiBridge() = default;

LibftdiBridge::~LibftdiBridge()
{
    if (m_open) {
        ftdi_usb_close(m_context);
    }
    if (m_context != nullptr) {
        ftdi_free(m_context);
    }
}

FT_STATUS LibftdiBridge::open(const ListEntry& entry)
{
    m_context = ftdi_new();
    if (m_context == nullptr) {
        return FT_INSUFFICIENT_RESOURCES;
    }
    libusb_device** attached = nullptr;
    const ssize_t attachedCount = libusb_get_device_list(m_context->usb_ctx, &attached);
    if (attachedCount < 0) {
        return FT_IO_ERROR;
    }
    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    for (ssize_t i = 0; i < attachedCount; ++i) {
        libusb_device* device = attached[i];
        libusb_device_descriptor descriptor{};
        // The same ids as well as the same place: a bus address can be given to another
        // device once the listed one has been unplugged.
        if (libusb_get_bus_number(device) != entry.busNumber ||
            libusb_get_device_address(device) != entry.deviceAddress ||
            libusb_get_device_descriptor(device, &descriptor) != 0 ||
            ((ULONG{descriptor.idVendor} << 16) | descriptor.idProduct) != entry.id) {
            continue;
        }
        if (ftdi_usb_open_dev(m_context, device) == 0) {
            m_open = true;
            status = FT_OK;
        } else {
            status = FT_DEVICE_NOT_OPENED;
        }
        break;
    }
    libusb_free_device_list(attached, 1);
    if (m_open) {
        setTimeouts(kDefaultTimeoutMs, kDefaultTimeoutMs);
    }
    return status;
}

FT_STATUS LibftdiBridge::reset()
{
    return statusOf(ftdi_usb_reset(m_context));
}

FT_STATUS LibftdiBridge::setDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    ftdi_bits_type bits = BITS_8;
    switch (wordLength) {
    case FT_BITS_8:
        bits = BITS_8;
        break;
    case FT_BITS_7:
        bits = BITS_7;
        break;
    default:
        return FT_INVALID_PARAMETER;
    }
    ftdi_stopbits_type stop = STOP_BIT_1;
    switch (stopBits) {
    case FT_STOP_BITS_1:
        stop = STOP_BIT_1;
        break;
    case FT_STOP_BITS_2:
        stop = STOP_BIT_2;
        break;
    default:
        return FT_INVALID_PARAMETER;
    }
    ftdi_parity_type parityType = NONE;
    switch (parity) {
    case FT_PARITY_NONE:
        parityType = NONE;
        break;
    case FT_PARITY_ODD:
        parityType = ODD;
        break;
    case FT_PARITY_EVEN:
        parityType = EVEN;
        break;
    case FT_PARITY_MARK:
        parityType = MARK;
        break;
    case FT_PARITY_SPACE:
        parityType = SPACE;
        break;
    default:
        return FT_INVALID_PARAMETER;
    }
    return statusOf(ftdi_set_line_property(m_context, bits, stop, parityType));
}

FT_STATUS LibftdiBridge::setTimeouts(ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    m_readTimeoutMs = readTimeoutMs;
    // Each bulk-in transfer may take the whole read time-out. A working chip answers every
    // latency period (16 ms) even when it has nothing, so a transfer only times out when
    // the bridge has stopped answering. Shorter transfer time-outs would not be safe:
    // ftdi_read_data drops the count of bytes it has already copied when a transfer fails.
    m_context->usb_read_timeout = boundedTimeout(readTimeoutMs);
    m_context->usb_write_timeout = boundedTimeout(writeTimeoutMs);
    return FT_OK;
}

FT_STATUS LibftdiBridge::setBaudRate(ULONG baudRate)
{
    if (baudRate > INT_MAX) {
        return FT_INVALID_BAUD_RATE;
    }
    const int result = ftdi_set_baudrate(m_context, static_cast<int>(baudRate));
    if (result == -1) {
        return FT_INVALID_BAUD_RATE;
    }
    return statusOf(result);
}

FT_STATUS LibftdiBridge::write(const uint8_t* data, DWORD length, DWORD& bytesWritten)
{
    bytesWritten = 0;
    if (length == 0) {
        return FT_OK;
    }
    // One bulk transfer of our own instead of ftdi_write_data: when a transfer times out,
    // libftdi loses the count of bytes already sent, and a caller that continues a partial
    // write from the reported position would send those bytes twice.
    int transferred = 0;
    const int result =
        libusb_bulk_transfer(m_context->usb_dev, static_cast<unsigned char>(m_context->in_ep),
                             const_cast<uint8_t*>(data), static_cast<int>(std::min<DWORD>(length, INT_MAX)),
                             &transferred, static_cast<unsigned int>(m_context->usb_write_timeout));
    bytesWritten = static_cast<DWORD>(transferred);
    if (result == 0 || result == LIBUSB_ERROR_TIMEOUT) {
        return FT_OK;
    }
    return FT_IO_ERROR;
}

FT_STATUS LibftdiBridge::read(uint8_t* buffer, DWORD length, DWORD& bytesReturned)
{
    bytesReturned = 0;
    if (length == 0) {
        return FT_OK;
    }
    // ftdi_read_data returns as soon as a packet brings no data, so D2XX's "wait for the
    // count or the time-out" needs a loop of its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_readTimeoutMs);
    DWORD received = 0;
    while (true) {
        const int result = ftdi_read_data(m_context, buffer + received,
                                          static_cast<int>(std::min<DWORD>(length - received, INT_MAX)));
        if (result < 0) {
            bytesReturned = received;
            return result == LIBUSB_ERROR_TIMEOUT ? FT_OK : FT_IO_ERROR;
        }
        received += static_cast<DWORD>(result);
        if (received >= length || std::chrono::steady_clock::now() >= deadline) {
            break;
        }
    }
    bytesReturned = received;
    return FT_OK;
}

} // namespace marlune::d2xx

#include "libftdibridge.h"

#include "libftdibus.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include <ftdi.h>
#include <libusb.h>

namespace marlune::d2xx {

namespace {

// Every USB packet the chip sends starts with two modem-status bytes.
constexpr unsigned int kStatusBytes = 2;
// D2XX's range for the latency timer; the chips themselves would also take 1.
constexpr UCHAR kMinLatencyMs = 2;

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

FT_STATUS LibftdiBridge::listBridges(bool readStrings, std::vector<ListEntry>& entries)
{
    const std::shared_ptr<LibftdiBus> bus = LibftdiBus::acquire();
    if (!bus) {
        entries.clear();
        return FT_IO_ERROR;
    }
    return bus->listBridges(readStrings, entries);
}

FT_STATUS LibftdiBridge::listAttached(std::vector<ListEntry>& entries)
{
    return listBridges(true, entries);
}

FT_STATUS LibftdiBridge::locate(DWORD locationId, ListEntry& entry)
{
    std::vector<ListEntry> entries;
    const FT_STATUS status = listBridges(false, entries);
    if (status != FT_OK) {
        return status;
    }
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const ListEntry& candidate) {
        return locationId != 0 && candidate.locationId == locationId;
    });
    if (found == entries.end()) {
        return FT_DEVICE_NOT_FOUND;
    }
    entry = *found;
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
    m_bus = LibftdiBus::acquire();
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
        m_transfer.resize(m_context->readbuffer_chunksize);
    }
    return status;
}

FT_STATUS LibftdiBridge::reset()
{
    // The chip empties its buffers; what it sent before is gone as well.
    m_received.clear();
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
    // latency period even when it has nothing, so a transfer only times out when the
    // bridge has stopped answering.
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

FT_STATUS LibftdiBridge::setLatencyTimer(UCHAR latencyMs)
{
    if (latencyMs < kMinLatencyMs) {
        return FT_INVALID_PARAMETER;
    }
    return statusOf(ftdi_set_latency_timer(m_context, latencyMs));
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
    // Each answer of the chip comes within its latency period, holding what it has, so
    // D2XX's "wait for the count or the time-out" is a loop of transfers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_readTimeoutMs);
    FT_STATUS status = FT_OK;
    while (m_received.size() < length && status == FT_OK && std::chrono::steady_clock::now() < deadline) {
        status = receiveAnswer();
    }
    const auto handedOut = static_cast<std::ptrdiff_t>(std::min<std::size_t>(length, m_received.size()));
    std::copy_n(m_received.begin(), handedOut, buffer);
    m_received.erase(m_received.begin(), m_received.begin() + handedOut);
    bytesReturned = static_cast<DWORD>(handedOut);
    return status;
}

FT_STATUS LibftdiBridge::queueStatus(DWORD& bytesQueued)
{
    // Nothing here reads from the chip in the background, as the vendor's driver does; when
    // nothing is left over, the chip is asked once, which it answers within its latency
    // period.
    FT_STATUS status = FT_OK;
    if (m_received.empty()) {
        status = receiveAnswer();
    }
    bytesQueued = static_cast<DWORD>(m_received.size());
    return status;
}

FT_STATUS LibftdiBridge::receiveAnswer()
{
    // One bulk transfer of our own instead of ftdi_read_data, which cannot tell how much it
    // holds without handing it out and loses the bytes it had copied when a transfer fails.
    int transferred = 0;
    const int result =
        libusb_bulk_transfer(m_context->usb_dev, static_cast<unsigned char>(m_context->out_ep),
                             m_transfer.data(), static_cast<int>(m_transfer.size()), &transferred,
                             static_cast<unsigned int>(m_context->usb_read_timeout));
    const auto received = static_cast<unsigned int>(std::max(transferred, 0));
    for (unsigned int packet = 0; packet < received; packet += m_context->max_packet_size) {
        const unsigned int packetEnd = std::min(packet + m_context->max_packet_size, received);
        if (packetEnd > packet + kStatusBytes) {
            m_received.insert(m_received.end(), m_transfer.begin() + packet + kStatusBytes,
                              m_transfer.begin() + packetEnd);
        }
    }
    return result == 0 || result == LIBUSB_ERROR_TIMEOUT ? FT_OK : FT_IO_ERROR;
}

} // namespace marlune::d2xx

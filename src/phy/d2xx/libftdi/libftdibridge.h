#pragma once

#include "d2xxapi.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct ftdi_context;

namespace marlune::d2xx {

class LibftdiBus;

// One FTDI bridge opened through libftdi1, with the D2XX meaning of each operation: a D2XX
// handle of the libftdi provider points to one. Owns its libftdi context, and with it a
// libusb context of its own.
class LibftdiBridge
{
public:
    // A bridge as the device-information list shows it.
    struct ListEntry
    {
        uint8_t busNumber = 0;
        uint8_t deviceAddress = 0;
        ULONG id = 0;         // vendor id in the high half, product id in the low half
        DWORD locationId = 0; // where it sits on the bus (MLPUsbPortPath); 0 where that cannot be written
        std::string serialNumber;
        std::string description; // the USB product string
    };

    // D2XX leaves a new handle without time-outs; bounding it by libftdi's own transfer
    // time-out keeps a caller that never sets any from waiting for ever.
    static constexpr ULONG kDefaultTimeoutMs = 5000;

    // The attached bridges (the FTDI ids of MLPUsbIdentities) in libusb's order; a bridge whose strings
    // cannot be read (no access, or a string it does not have) is listed with that text empty.
    // Only bridges the provider has not read while attached are opened for their strings.
    static FT_STATUS listAttached(std::vector<ListEntry>& entries);
    // The attached bridge at a location, found without opening any device; its strings are
    // left empty. FT_DEVICE_NOT_FOUND when no bridge sits there.
    static FT_STATUS locate(DWORD locationId, ListEntry& entry);

    LibftdiBridge();
    ~LibftdiBridge();

    LibftdiBridge(const LibftdiBridge&) = delete;
    LibftdiBridge& operator=(const LibftdiBridge&) = delete;

    FT_STATUS open(const ListEntry& entry);
    FT_STATUS reset();
    FT_STATUS setDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity);
    FT_STATUS setTimeouts(ULONG readTimeoutMs, ULONG writeTimeoutMs);
    FT_STATUS setBaudRate(ULONG baudRate);
    FT_STATUS setLatencyTimer(UCHAR latencyMs);
    FT_STATUS write(const uint8_t* data, DWORD length, DWORD& bytesWritten);
    FT_STATUS read(uint8_t* buffer, DWORD length, DWORD& bytesReturned);
    FT_STATUS queueStatus(DWORD& bytesQueued);

private:
    static FT_STATUS listBridges(bool readStrings, std::vector<ListEntry>& entries);
    // Appends the data of the chip's next answer to m_received.
    FT_STATUS receiveAnswer();

    // Held while open, so the strings the provider has read stay known to the listings of
    // other units meanwhile. The bridge's own traffic runs on its libftdi context.
    std::shared_ptr<LibftdiBus> m_bus;
    ftdi_context* m_context = nullptr;
    bool m_open = false;
    ULONG m_readTimeoutMs = kDefaultTimeoutMs;
    std::vector<uint8_t> m_transfer; // one bulk IN transfer as it came, status bytes included
    std::deque<uint8_t> m_received;  // data received from the chip, not yet read
};

} // namespace marlune::d2xx

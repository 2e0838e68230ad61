#pragma once

#include "mlpphy.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace marlune::MLP {

// The link to devices on the maker's own USB interface: finds them by vendor and product
// id (MLPUsbIdentities), tells physical devices apart by serial number and carries MLP bytes over the bulk
// endpoint pair of interface 0. Holds its own libusb context from its first listing to its end,
// shared with no other link; starting one reads every device on the bus, one start at a time
// in the process, so a link that never lists a maker device (a bridge unit's) starts none.
// Links on several threads meet only in MLPUsbListingLock, which their listings
// and opens take, and in libusb's process-wide state, which libusb locks itself.
class MLPPhyMl : public MLPPhy
{
public:
    static constexpr int kInterfaceNumber = 0;
    static constexpr unsigned char kBulkInEndpoint = 0x81;
    static constexpr unsigned char kBulkOutEndpoint = 0x01;
    static constexpr int kBulkInTransferBytes = 64;
    static constexpr unsigned int kBulkInTimeoutMs = 800;
    // How long one frame may wait for the device to take it. A device holds off the next
    // segment while it erases flash, which can take seconds, so this is generous; but a
    // wedged device must not hold the worker thread, and with it the window, for ever: the
    // write then fails and the update ends in failure.
    static constexpr unsigned int kBulkOutTimeoutMs = 10000;
    static constexpr int kSerialBufferBytes = 24;

    MLPPhyMl();
    ~MLPPhyMl() override;

    MLPPhyMl(const MLPPhyMl&) = delete;
    MLPPhyMl& operator=(const MLPPhyMl&) = delete;

    void open(const std::string& address) override;
    void close() override;
    MLPPhyReadResult readByte() override;
    bool write(const uint8_t* data, uint32_t length) override;

    // Lists the attached maker devices, one per serial number; returns how many.
    virtual int32_t enumerate();
    // Lists only the maker device at a port path ("1-2.3", MLPUsbPortPath), opening no other
    // device to read its serial number; returns 0 or 1.
    int32_t enumerateAt(const std::string& portPath);
    // Closes the open device, then opens the one at `index` of the list and claims its
    // interface; enumerates first while the list is empty.
    virtual void openIndex(int32_t index);

    // The serial number of the device at a position of the last enumeration; empty beyond it.
    std::string serialAt(int32_t index) const;
    // Where that device sits on the bus; empty where libusb tells no port numbers, and beyond the list.
    std::string portPathAt(int32_t index) const;
    // Why the last openIndex left the link closed, or why enumerateAt could not read the
    // device it found at its port path: libusb's status (LIBUSB_ERROR_BUSY: another program
    // has claimed the interface; LIBUSB_ERROR_ACCESS: the device may not be opened); 0 when
    // it opened, or nothing was there to open.
    int openStatus() const { return m_openStatus; }

private:
    using SerialBuffer = std::array<char, kSerialBufferBytes>;

    // Starts the libusb context at the first call; false when it could not, then and later.
    bool started();
    bool isSupportedDevice(libusb_device* device) const;
    // libusb's status of the open, 0 when the serial number was read; LIBUSB_ERROR_OTHER when
    // the device opened but has no serial number to read.
    int readSerial(libusb_device* device, SerialBuffer& serial) const;
    bool isNewSerial(const SerialBuffer& serial) const;
    void releaseDevices();
    void listDevice(libusb_device* device, const SerialBuffer& serial);
    void visitAttached(const std::function<bool(libusb_device*)>& visit);

    libusb_context* m_context = nullptr;
    std::vector<libusb_device*> m_devices;
    std::vector<std::string> m_serials;   // one per listed device
    std::vector<std::string> m_portPaths; // one per listed device
    int m_openStatus = 0;
    libusb_device_handle* m_handle = nullptr;
    bool m_claimed = false;
    int32_t m_rxCount = 0;
    int32_t m_rxPos = 0;
    std::array<uint8_t, kBulkInTransferBytes> m_rxBuffer{};
    bool m_startTried = false;
    bool m_initialised = false;
};

} // namespace marlune::MLP

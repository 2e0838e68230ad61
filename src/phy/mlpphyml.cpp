#include "mlpphyml.h"

#include "mlpphyaddress.h"
#include "mlpusbidentities.h"
#include "mlpusblistinglock.h"
#include "mlpusbportpath.h"

#include <algorithm>

#include <libusb.h>

namespace marlune::MLP {

MLPPhyMl::MLPPhyMl() = default;

MLPPhyMl::~MLPPhyMl()
{
    if (!m_initialised) {
        return;
    }
    close();
    releaseDevices();
    libusb_exit(m_context);
}

void MLPPhyMl::open(const std::string& address)
{
    const auto index = MLPPhyAddress::mlUsb().parseIndex(address);
    if (!index) {
        close();
        return;
    }
    openIndex(*index);
}

bool MLPPhyMl::started()
{
    if (!m_startTried) {
        m_startTried = true;
        if (libusb_init(&m_context) == 0) {
            m_initialised = true;
        } else {
            // A null context means libusb's default one to every later call; none may be made.
            m_context = nullptr;
        }
    }
    return m_initialised;
}

bool MLPPhyMl::isSupportedDevice(libusb_device* device) const
{
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) {
        return false;
    }
    return MLPUsbIdentities::isMakerDevice(descriptor.idVendor, descriptor.idProduct);
}

int MLPPhyMl::readSerial(libusb_device* device, SerialBuffer& serial) const
{
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) {
        return LIBUSB_ERROR_OTHER;
    }
    libusb_device_handle* handle = nullptr;
    int status = libusb_open(device, &handle);
    if (status == 0) {
        const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber,
                                                              reinterpret_cast<unsigned char*>(serial.data()),
                                                              kSerialBufferBytes);
        status = length >= 0 ? 0 : LIBUSB_ERROR_OTHER;
    }
    libusb_close(handle);
    return status;
}

// The serial numbers read when each device was listed: listing one more device opens no other.
bool MLPPhyMl::isNewSerial(const SerialBuffer& serial) const
{
    return std::none_of(m_serials.begin(), m_serials.end(),
                        [&](const std::string& listed) { return listed == serial.data(); });
}

void MLPPhyMl::releaseDevices()
{
    for (libusb_device* device : m_devices) {
        libusb_unref_device(device);
    }
    m_devices.clear();
    m_serials.clear();
    m_portPaths.clear();
}

void MLPPhyMl::listDevice(libusb_device* device, const SerialBuffer& serial)
{
    m_devices.push_back(libusb_ref_device(device));
    m_serials.emplace_back(serial.data());
    m_portPaths.push_back(MLPUsbPortPath::ofDevice(device));
}

// Visits our devices on the bus under the listing lock, until `visit` returns true.
void MLPPhyMl::visitAttached(const std::function<bool(libusb_device*)>& visit)
{
    const MLPUsbListingLock listing;
    libusb_device** attached = nullptr;
    const ssize_t attachedCount = libusb_get_device_list(m_context, &attached);
    if (attachedCount < 0) {
        return;
    }
    for (ssize_t i = 0; i < attachedCount; ++i) {
        if (isSupportedDevice(attached[i]) && visit(attached[i])) {
            break;
        }
    }
    libusb_free_device_list(attached, 1);
}

int32_t MLPPhyMl::enumerate()
{
    releaseDevices();
    if (!started()) {
        return 0;
    }
    visitAttached([this](libusb_device* device) {
        SerialBuffer serial{};
        if (readSerial(device, serial) == 0 && isNewSerial(serial)) {
            listDevice(device, serial);
        }
        return false;
    });
    return static_cast<int32_t>(m_devices.size());
}

int32_t MLPPhyMl::enumerateAt(const std::string& portPath)
{
    releaseDevices();
    m_openStatus = 0;
    if (portPath.empty() || !started()) {
        return 0;
    }
    // The port path comes from the bus numbering libusb keeps without opening a device.
    visitAttached([this, &portPath](libusb_device* device) {
        if (MLPUsbPortPath::ofDevice(device) != portPath) {
            return false;
        }
        SerialBuffer serial{};
        m_openStatus = readSerial(device, serial);
        if (m_openStatus == 0) {
            listDevice(device, serial);
        }
        return true;
    });
    return static_cast<int32_t>(m_devices.size());
}

void MLPPhyMl::openIndex(int32_t index)
{
    if (m_devices.empty()) {
        enumerate();
    }
    close();
    m_openStatus = 0;
    if (index < 0 || static_cast<std::size_t>(index) >= m_devices.size()) {
        m_handle = nullptr;
        return;
    }
    // The device is this link's own from its own list, so no other listing can shift it;
    // the lock only keeps the open apart from other threads' listings.
    const MLPUsbListingLock listing;
    m_openStatus = libusb_open(m_devices[static_cast<std::size_t>(index)], &m_handle);
    if (m_openStatus != 0) {
        m_handle = nullptr;
        return;
    }
    if (libusb_kernel_driver_active(m_handle, kInterfaceNumber) == 1) {
        libusb_detach_kernel_driver(m_handle, kInterfaceNumber);
    }
    m_openStatus = libusb_claim_interface(m_handle, kInterfaceNumber);
    if (m_openStatus != 0) {
        close();
        return;
    }
    m_claimed = true;
}

std::string MLPPhyMl::serialAt(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_serials.size()) {
        return std::string();
    }
    return m_serials[static_cast<std::size_t>(index)];
}

std::string MLPPhyMl::portPathAt(int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_portPaths.size()) {
        return std::string();
    }
    return m_portPaths[static_cast<std::size_t>(index)];
}

void MLPPhyMl::close()
{
    if (m_claimed && m_handle != nullptr) {
        libusb_release_interface(m_handle, kInterfaceNumber);
    }
    if (m_handle != nullptr) {
        libusb_close(m_handle);
    }
    m_handle = nullptr;
    m_claimed = false;
    // Bytes read from this device must not be handed out as if the next one had sent them.
    m_rxCount = 0;
    m_rxPos = 0;
}

MLPPhyReadResult MLPPhyMl::readByte()
{
    if (m_handle == nullptr) {
        return MLPPhyReadResult{0, 1};
    }
    if (m_rxCount == 0) {
        m_rxPos = 0;
        int transferred = 0;
        const int result = libusb_bulk_transfer(m_handle, kBulkInEndpoint, m_rxBuffer.data(),
                                                kBulkInTransferBytes, &transferred, kBulkInTimeoutMs);
        // A transfer that ends by time-out may still have brought bytes; they are kept.
        if (result != 0 && result != LIBUSB_ERROR_TIMEOUT) {
            m_rxCount = 0;
            return MLPPhyReadResult{0, 1};
        }
        m_rxCount = transferred;
        if (m_rxCount <= 0) {
            m_rxCount = 0;
            return MLPPhyReadResult{0, 1};
        }
    }
    const uint8_t value = m_rxBuffer[static_cast<std::size_t>(m_rxPos)];
    ++m_rxPos;
    --m_rxCount;
    return MLPPhyReadResult{value, 0};
}

bool MLPPhyMl::write(const uint8_t* data, uint32_t length)
{
    if (m_handle == nullptr) {
        return false;
    }
    int transferred = 0;
    // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
    const int result = libusb_bulk_transfer(m_handle, kBulkOutEndpoint, const_cast<uint8_t*>(data),
                                            static_cast<int>(length), &transferred, kBulkOutTimeoutMs);
    // A transfer that timed out may have taken part of the frame; the device then holds a
    // broken frame, which is no more sent than none at all.
    return result == 0 && static_cast<uint32_t>(transferred) == length;
}

} // namespace marlune::MLP

#include "usbemulation.h"

#include "deviceendpoint.h"
#include "emulatedftdibridge.h"
#include "emulatedmakerdevice.h"

#include <umockdev.h>

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace marlune::testing {

namespace {

// Address 1 of each bus is its root hub's; the kernel hands out up to 127. Numbers are
// never reused: an unplugged device keeps answering "no device" on its node. Once a bus
// is full, devices go to the next one.
constexpr int kFirstDeviceAddress = 2;
constexpr int kAddressesPerBus = 127 - kFirstDeviceAddress + 1;
constexpr const char* kUsbSpeedFull = "12";

// A sysfs file that refuses to be opened for writing, even by root.
constexpr const char* kWriteRefusingFile = "/sys/kernel/uevent_seqnum";

std::string hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (const uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

std::string formatNumber(const char* format, unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// umockdev record values escape backslashes and newlines.
std::string escapeAttribute(const std::string& value)
{
    std::string escaped;
    for (const char c : value) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The device as the kernel and udev describe it in sysfs, in umockdev's record format.
std::string deviceRecord(const UsbDescriptorSet& descriptors, const std::string& sysfsPath, int busNumber,
                         int deviceNumber)
{
    const UsbDeviceIdentity& identity = descriptors.identity();
    const std::string bus = formatNumber("%03u", static_cast<unsigned>(busNumber));
    const std::string device = formatNumber("%03u", static_cast<unsigned>(deviceNumber));
    const std::string node = "bus/usb/" + bus + "/" + device;
    std::string record = "P: " + sysfsPath + "\n";
    record += "N: " + node + "\n";
    record += "E: SUBSYSTEM=usb\n";
    record += "E: DEVTYPE=usb_device\n";
    record += "E: DRIVER=usb\n";
    record += "E: DEVNAME=/dev/" + node + "\n";
    record += "E: BUSNUM=" + bus + "\n";
    record += "E: DEVNUM=" + device + "\n";
    record += "E: PRODUCT=" + formatNumber("%x", identity.vendorId) + "/" +
              formatNumber("%x", identity.productId) + "/" + formatNumber("%x", identity.deviceRelease) +
              "\n";
    record += "A: busnum=" + std::to_string(busNumber) + "\n";
    record += "A: devnum=" + std::to_string(deviceNumber) + "\n";
    record += "A: idVendor=" + formatNumber("%04x", identity.vendorId) + "\n";
    record += "A: idProduct=" + formatNumber("%04x", identity.productId) + "\n";
    record += "A: bcdDevice=" + formatNumber("%04x", identity.deviceRelease) + "\n";
    record += "A: speed=" + std::string(kUsbSpeedFull) + "\n";
    record += "A: bConfigurationValue=" + std::to_string(UsbDescriptorSet::kConfigurationValue) + "\n";
    record += "A: bNumConfigurations=1\n";
    record += "A: manufacturer=" + escapeAttribute(identity.manufacturer) + "\n";
    record += "A: product=" + escapeAttribute(identity.product) + "\n";
    if (identity.serial) {
        record += "A: serial=" + escapeAttribute(*identity.serial) + "\n";
    }
    record += "H: descriptors=" + hex(descriptors.sysfsDescriptors()) + "\n";
    return record;
}

} // namespace

UsbEmulation::UsbEmulation() : m_testbed(umockdev_testbed_new())
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    m_testbedRoot = root;
    g_free(root);
    m_watchThread = std::thread(&UsbEmulation::watchLoop, this);
    pthread_setname_np(m_watchThread.native_handle(), "usbemu-watch");
}

UsbEmulation::~UsbEmulation()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watchThread.join();

    std::lock_guard lock(m_mutex);
    for (auto& [id, entry] : m_devices) {
        entry.device->disconnect();
        removeFromTestbed(entry);
        if (entry.handlerAttached) {
            umockdev_testbed_detach_ioctl(m_testbed, entry.deviceNode.c_str(), nullptr);
        }
        entry.device->stop();
    }
    g_object_unref(m_testbed);
    m_devices.clear();
}

bool UsbEmulation::isActive() const
{
    return umockdev_in_mock_environment();
}

int UsbEmulation::addMakerDevice(std::shared_ptr<DeviceEndpoint> device, const MakerDeviceOptions& options)
{
    return plugIn(std::make_shared<EmulatedMakerDevice>(std::move(device), options), nullptr,
                  options.openable);
}

int UsbEmulation::addFtdiBridge(std::shared_ptr<DeviceEndpoint> device, const FtdiBridgeOptions& options)
{
    auto bridge = std::make_shared<EmulatedFtdiBridge>(std::move(device), options);
    EmulatedFtdiBridge* bridgeView = bridge.get();
    return plugIn(std::move(bridge), bridgeView, true);
}

int UsbEmulation::plugIn(std::shared_ptr<EmulatedUsbDevice> device, EmulatedFtdiBridge* bridge, bool openable)
{
    std::lock_guard lock(m_mutex);
    const int busNumber = 1 + m_devicesPlugged / kAddressesPerBus;
    const int deviceNumber = kFirstDeviceAddress + m_devicesPlugged % kAddressesPerBus;
    ++m_devicesPlugged;
    PluggedDevice entry;
    entry.device = std::move(device);
    entry.bridge = bridge;
    entry.sysfsPath = "/sys/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(busNumber) + "/" +
                      std::to_string(busNumber) + "-" + std::to_string(deviceNumber);
    // libusb takes the port numbers from the sysfs name, "1-5": port 5 of bus 1's root hub.
    entry.portPath = std::to_string(busNumber) + "-" + std::to_string(deviceNumber);
    entry.deviceNode = "/dev/bus/usb/" + formatNumber("%03u", static_cast<unsigned>(busNumber)) + "/" +
                       formatNumber("%03u", static_cast<unsigned>(deviceNumber));

    const std::string record =
        deviceRecord(entry.device->descriptors(), entry.sysfsPath.substr(std::string("/sys").size()),
                     busNumber, deviceNumber);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error)) {
        const std::string message = error->message;
        g_error_free(error);
        throw std::runtime_error("umockdev rejected the device record: " + message);
    }

    if (openable) {
        if (!umockdev_testbed_attach_ioctl(m_testbed, entry.deviceNode.c_str(), entry.device->ioctlHandler(),
                                           &error)) {
            const std::string message = error->message;
            g_error_free(error);
            throw std::runtime_error("umockdev cannot emulate " + entry.deviceNode + ": " + message);
        }
        entry.handlerAttached = true;
    } else {
        // Stands for a node without access rights: open() fails with EACCES.
        const std::string nodeInTestbed = m_testbedRoot + entry.deviceNode;
        unlink(nodeInTestbed.c_str());
        if (symlink(kWriteRefusingFile, nodeInTestbed.c_str()) != 0) {
            throw std::runtime_error("cannot replace the device node " + nodeInTestbed);
        }
    }

    entry.device->start([this] { wakeWatchLoop(); });
    const int id = m_nextId++;
    m_devices.emplace(id, std::move(entry));
    return id;
}

void UsbEmulation::unplug(int id)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    if (found == m_devices.end()) {
        return;
    }
    found->second.device->disconnect();
    removeFromTestbed(found->second);
}

std::string UsbEmulation::portPath(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    return found == m_devices.end() ? std::string() : found->second.portPath;
}

bool UsbEmulation::isPlugged(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    return found != m_devices.end() && found->second.plugged;
}

int UsbEmulation::stringReadCount(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    return found == m_devices.end() ? 0 : found->second.device->stringReadCount();
}

std::vector<FtdiLineEvent> UsbEmulation::ftdiLineLog(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    if (found == m_devices.end() || found->second.bridge == nullptr) {
        return {};
    }
    return found->second.bridge->lineLog();
}

void UsbEmulation::clearFtdiLineLog(int id)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    if (found != m_devices.end() && found->second.bridge != nullptr) {
        found->second.bridge->clearLineLog();
    }
}

int UsbEmulation::ftdiEmptyAnswerCount(int id) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(id);
    if (found == m_devices.end() || found->second.bridge == nullptr) {
        return 0;
    }
    return found->second.bridge->emptyAnswerCount();
}

void UsbEmulation::removeFromTestbed(PluggedDevice& entry)
{
    if (!entry.plugged) {
        return;
    }
    entry.plugged = false;
    // libusb's hotplug monitor drops the device from contexts that already listed it.
    umockdev_testbed_uevent(m_testbed, entry.sysfsPath.c_str(), "remove");
    umockdev_testbed_remove_device(m_testbed, entry.sysfsPath.c_str());
}

void UsbEmulation::wakeWatchLoop()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_departurePending = true;
    }
    m_wake.notify_one();
}

void UsbEmulation::watchLoop()
{
    while (true) {
        {
            std::unique_lock lock(m_wakeMutex);
            m_wake.wait(lock, [this] { return m_stopping || m_departurePending; });
            if (m_stopping) {
                return;
            }
            m_departurePending = false;
        }
        std::lock_guard lock(m_mutex);
        for (auto& [id, entry] : m_devices) {
            if (entry.plugged && entry.device->isDisconnected()) {
                removeFromTestbed(entry);
            }
        }
    }
}

} // namespace marlune::testing

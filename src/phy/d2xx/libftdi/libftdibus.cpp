#include "libftdibus.h"

#include "mlpusbidentities.h"
#include "mlpusbportpath.h"

#include <algorithm>

#include <libusb.h>

namespace marlune::d2xx {

namespace {

constexpr int kDescriptionBytes = sizeof FT_DEVICE_LIST_INFO_NODE{}.Description;
constexpr int kSerialNumberBytes = sizeof FT_DEVICE_LIST_INFO_NODE{}.SerialNumber;

// False when the device did not answer; index 0 means it has no such string.
bool readString(libusb_device_handle* handle, uint8_t index, int capacity, std::string& text)
{
    text.clear();
    if (index == 0) {
        return true;
    }
    text.resize(static_cast<std::size_t>(capacity));
    const int length = libusb_get_string_descriptor_ascii(
        handle, index, reinterpret_cast<unsigned char*>(text.data()), capacity);
    if (length < 0) {
        text.clear();
        return false;
    }
    text.resize(std::min(static_cast<std::size_t>(length), text.size() - 1));
    return true;
}

DWORD locationIdOf(libusb_device* device)
{
    return marlune::MLP::MLPUsbPortPath::locationId(libusb_get_bus_number(device),
                                                    marlune::MLP::MLPUsbPortPath::portsOf(device));
}

} // namespace

std::shared_ptr<LibftdiBus> LibftdiBus::acquire()
{
    static std::mutex mutex;
    static std::weak_ptr<LibftdiBus> current;
    const std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<LibftdiBus> bus = current.lock();
    if (!bus) {
        libusb_context* context = nullptr;
        if (libusb_init(&context) != 0) {
            return nullptr;
        }
        bus.reset(new LibftdiBus(context));
        current = bus;
    }
    return bus;
}

LibftdiBus::LibftdiBus(libusb_context* context) : m_context(context) {}

LibftdiBus::~LibftdiBus()
{
    for (const KnownBridge& known : m_known) {
        libusb_unref_device(known.device);
    }
    libusb_exit(m_context);
}

FT_STATUS LibftdiBus::listBridges(bool readStrings, std::vector<LibftdiBridge::ListEntry>& entries)
{
    entries.clear();
    libusb_device** attached = nullptr;
    const ssize_t attachedCount = libusb_get_device_list(m_context, &attached);
    if (attachedCount < 0) {
        return FT_IO_ERROR;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        forgetDeparted(attached, static_cast<std::size_t>(attachedCount));
        for (ssize_t i = 0; i < attachedCount; ++i) {
            libusb_device* device = attached[i];
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(device, &descriptor) != 0 ||
                !marlune::MLP::MLPUsbIdentities::isFtdiBridge(descriptor.idVendor, descriptor.idProduct)) {
                continue;
            }
            LibftdiBridge::ListEntry entry;
            entry.busNumber = libusb_get_bus_number(device);
            entry.deviceAddress = libusb_get_device_address(device);
            entry.id = (ULONG{descriptor.idVendor} << 16) | descriptor.idProduct;
            entry.locationId = locationIdOf(device);
            if (readStrings) {
                fillStrings(device, descriptor, entry);
            }
            entries.push_back(std::move(entry));
        }
    }
    libusb_free_device_list(attached, 1);
    return FT_OK;
}

void LibftdiBus::forgetDeparted(libusb_device* const* attached, std::size_t attachedCount)
{
    const auto departed =
        std::stable_partition(m_known.begin(), m_known.end(), [&](const KnownBridge& known) {
            return std::find(attached, attached + attachedCount, known.device) != attached + attachedCount;
        });
    std::for_each(departed, m_known.end(),
                  [](const KnownBridge& known) { libusb_unref_device(known.device); });
    m_known.erase(departed, m_known.end());
}

void LibftdiBus::fillStrings(libusb_device* device, const libusb_device_descriptor& descriptor,
                             LibftdiBridge::ListEntry& entry)
{
    const auto known = std::find_if(m_known.begin(), m_known.end(),
                                    [&](const KnownBridge& candidate) { return candidate.device == device; });
    if (known != m_known.end()) {
        entry.serialNumber = known->serialNumber;
        entry.description = known->description;
        return;
    }
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0) {
        return;
    }
    const bool descriptionRead =
        readString(handle, descriptor.iProduct, kDescriptionBytes, entry.description);
    const bool serialNumberRead =
        readString(handle, descriptor.iSerialNumber, kSerialNumberBytes, entry.serialNumber);
    libusb_close(handle);
    if (descriptionRead && serialNumberRead) {
        m_known.push_back(KnownBridge{libusb_ref_device(device), entry.serialNumber, entry.description});
    }
}

} // namespace marlune::d2xx

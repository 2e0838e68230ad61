#include "mlpusbportpath.h"

#include <array>

#include <libusb.h>

namespace marlune::MLP {

namespace {

// USB allows at most seven tiers below the root hub.
constexpr int kMaxPortLevels = 7;
constexpr uint32_t kDigitBits = 4;
constexpr uint32_t kDigitMask = 0xF;
constexpr int kLocationDigits = 8;

} // namespace

std::string MLPUsbPortPath::text(uint8_t bus, const std::vector<uint8_t>& ports)
{
    if (ports.empty()) {
        return std::string();
    }
    std::string path = std::to_string(bus) + "-";
    for (std::size_t level = 0; level < ports.size(); ++level) {
        if (level > 0) {
            path += '.';
        }
        path += std::to_string(ports[level]);
    }
    return path;
}

std::vector<uint8_t> MLPUsbPortPath::portsOf(libusb_device* device)
{
    std::array<uint8_t, kMaxPortLevels> ports{};
    const int levels = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    if (levels <= 0) {
        return {};
    }
    return std::vector<uint8_t>(ports.begin(), ports.begin() + levels);
}

std::string MLPUsbPortPath::ofDevice(libusb_device* device)
{
    return text(libusb_get_bus_number(device), portsOf(device));
}

std::string MLPUsbPortPath::ofLocationId(uint32_t locationId)
{
    std::vector<uint8_t> digits;
    for (int digit = kLocationDigits - 1; digit >= 0; --digit) {
        const auto value =
            static_cast<uint8_t>((locationId >> (kDigitBits * static_cast<uint32_t>(digit))) & kDigitMask);
        // Leading zeros are no level; a zero further down is no port either.
        if (value == 0) {
            if (!digits.empty()) {
                return std::string();
            }
            continue;
        }
        digits.push_back(value);
    }
    if (digits.size() < 2) {
        return std::string();
    }
    return text(digits.front(), std::vector<uint8_t>(digits.begin() + 1, digits.end()));
}

uint32_t MLPUsbPortPath::locationId(uint8_t bus, const std::vector<uint8_t>& ports)
{
    if (ports.empty() || ports.size() + 1 > static_cast<std::size_t>(kLocationDigits) || bus == 0 ||
        bus > kDigitMask) {
        return 0;
    }
    uint32_t locationId = bus;
    for (uint8_t port : ports) {
        if (port == 0 || port > kDigitMask) {
            return 0;
        }
        locationId = (locationId << kDigitBits) | port;
    }
    return locationId;
}

} // namespace marlune::MLP

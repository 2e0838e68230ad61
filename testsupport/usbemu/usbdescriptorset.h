#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlune::testing {

// What a simple vendor-class USB device says about itself: one configuration with one
// interface and one bulk endpoint pair, plus its string descriptors.
struct UsbDeviceIdentity
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t deviceRelease = 0x0100; // bcdDevice
    uint8_t controlPacketSize = 64;
    std::string manufacturer;
    std::string product;
    std::optional<std::string> serial;  // no iSerialNumber at all when empty
    bool productNamesInterface = false; // iInterface points at the product string
    uint8_t bulkInEndpoint = 0x81;
    uint8_t bulkOutEndpoint = 0x01;
    uint16_t bulkPacketSize = 64;
    uint8_t configurationAttributes = 0x80; // bus powered
    uint8_t maxPowerUnits = 50;             // in 2 mA units
};

// The descriptors of one emulated device, byte-exact as the device answers
// GET_DESCRIPTOR and as the kernel exposes them in the sysfs "descriptors" file.
class UsbDescriptorSet
{
public:
    static constexpr uint8_t kManufacturerStringIndex = 1;
    static constexpr uint8_t kProductStringIndex = 2;
    static constexpr uint8_t kSerialStringIndex = 3;
    static constexpr uint8_t kConfigurationValue = 1;
    static constexpr uint8_t kInterfaceNumber = 0;

    explicit UsbDescriptorSet(UsbDeviceIdentity identity);

    const UsbDeviceIdentity& identity() const { return m_identity; }

    std::vector<uint8_t> deviceDescriptor() const;
    // The configuration descriptor followed by its interface and endpoint descriptors.
    std::vector<uint8_t> configurationDescriptor() const;
    // Index 0 is the language list; an index that names no string gives an empty result.
    std::vector<uint8_t> stringDescriptor(uint8_t index) const;
    // Device descriptor then configuration bundle, the layout of sysfs "descriptors".
    std::vector<uint8_t> sysfsDescriptors() const;

private:
    UsbDeviceIdentity m_identity;
};

} // namespace marlune::testing

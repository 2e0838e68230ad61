#include "usbdescriptorset.h"

#include <QString>

#include <linux/usb/ch9.h>

#include <utility>

namespace marlune::testing {

namespace {

// Descriptor types, lengths, classes and transfer types are the kernel's USB definitions.
constexpr uint16_t kUsb20 = 0x0200;
constexpr uint16_t kLanguageEnglishUs = 0x0409;
// bLength is one byte: 2 header bytes plus at most 126 UTF-16 code units.
constexpr int kMaxStringCodeUnits = (255 - 2) / 2;

void appendWord(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

} // namespace

UsbDescriptorSet::UsbDescriptorSet(UsbDeviceIdentity identity) : m_identity(std::move(identity)) {}

std::vector<uint8_t> UsbDescriptorSet::deviceDescriptor() const
{
    std::vector<uint8_t> bytes{USB_DT_DEVICE_SIZE, USB_DT_DEVICE};
    appendWord(bytes, kUsb20);
    bytes.push_back(0); // class, subclass and protocol are given per interface
    bytes.push_back(0);
    bytes.push_back(0);
    bytes.push_back(m_identity.controlPacketSize);
    appendWord(bytes, m_identity.vendorId);
    appendWord(bytes, m_identity.productId);
    appendWord(bytes, m_identity.deviceRelease);
    bytes.push_back(kManufacturerStringIndex);
    bytes.push_back(kProductStringIndex);
    bytes.push_back(m_identity.serial ? kSerialStringIndex : 0);
    bytes.push_back(1); // bNumConfigurations
    return bytes;
}

std::vector<uint8_t> UsbDescriptorSet::configurationDescriptor() const
{
    constexpr uint16_t totalLength = USB_DT_CONFIG_SIZE + USB_DT_INTERFACE_SIZE + 2 * USB_DT_ENDPOINT_SIZE;
    std::vector<uint8_t> bytes{USB_DT_CONFIG_SIZE, USB_DT_CONFIG};
    appendWord(bytes, totalLength);
    bytes.push_back(1); // bNumInterfaces
    bytes.push_back(kConfigurationValue);
    bytes.push_back(0); // iConfiguration
    bytes.push_back(m_identity.configurationAttributes);
    bytes.push_back(m_identity.maxPowerUnits);

    bytes.push_back(USB_DT_INTERFACE_SIZE);
    bytes.push_back(USB_DT_INTERFACE);
    bytes.push_back(kInterfaceNumber);
    bytes.push_back(0); // bAlternateSetting
    bytes.push_back(2); // bNumEndpoints
    bytes.push_back(USB_CLASS_VENDOR_SPEC);
    bytes.push_back(USB_CLASS_VENDOR_SPEC);
    bytes.push_back(USB_CLASS_VENDOR_SPEC);
    bytes.push_back(m_identity.productNamesInterface ? kProductStringIndex : 0);

    for (const uint8_t address : {m_identity.bulkInEndpoint, m_identity.bulkOutEndpoint}) {
        bytes.push_back(USB_DT_ENDPOINT_SIZE);
        bytes.push_back(USB_DT_ENDPOINT);
        bytes.push_back(address);
        bytes.push_back(USB_ENDPOINT_XFER_BULK);
        appendWord(bytes, m_identity.bulkPacketSize);
        bytes.push_back(0); // bInterval, unused for full-speed bulk
    }
    return bytes;
}

std::vector<uint8_t> UsbDescriptorSet::stringDescriptor(uint8_t index) const
{
    if (index == 0) {
        std::vector<uint8_t> bytes{4, USB_DT_STRING};
        appendWord(bytes, kLanguageEnglishUs);
        return bytes;
    }

    const std::string* text = nullptr;
    if (index == kManufacturerStringIndex) {
        text = &m_identity.manufacturer;
    } else if (index == kProductStringIndex) {
        text = &m_identity.product;
    } else if (index == kSerialStringIndex && m_identity.serial) {
        text = &*m_identity.serial;
    }
    if (text == nullptr) {
        return {};
    }

    const QString utf16 = QString::fromStdString(*text).left(kMaxStringCodeUnits);
    std::vector<uint8_t> bytes{static_cast<uint8_t>(2 + 2 * utf16.size()), USB_DT_STRING};
    for (const QChar codeUnit : utf16) {
        appendWord(bytes, codeUnit.unicode());
    }
    return bytes;
}

std::vector<uint8_t> UsbDescriptorSet::sysfsDescriptors() const
{
    std::vector<uint8_t> bytes = deviceDescriptor();
    const std::vector<uint8_t> configuration = configurationDescriptor();
    bytes.insert(bytes.end(), configuration.begin(), configuration.end());
    return bytes;
}

} // namespace marlune::testing

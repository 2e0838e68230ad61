#include "firmwareversion.h"

namespace marlune {

namespace {

constexpr int kBcdBase = 10;

int bcdByteValue(uint8_t bcd)
{
    return (bcd >> 4) * kBcdBase + (bcd & 0x0F);
}

} // namespace

bool isBcdVersion(uint16_t deviceVersion)
{
    constexpr int kDigits = 4;
    constexpr int kDigitBits = 4;
    constexpr uint16_t kDigitMask = 0xF;
    for (int digit = 0; digit < kDigits; ++digit) {
        if (((deviceVersion >> (digit * kDigitBits)) & kDigitMask) >= kBcdBase) {
            return false;
        }
    }
    return true;
}

FirmwareOrder compareFirmware(uint16_t fileVersion, uint16_t deviceBcdVersion)
{
    if (!isBcdVersion(deviceBcdVersion)) {
        return FirmwareOrder::DeviceNotBcd;
    }
    const int fileMajor = fileVersion >> 8;
    const int fileMinor = fileVersion & 0xFF;
    const int deviceMajor = bcdByteValue(static_cast<uint8_t>(deviceBcdVersion >> 8));
    const int deviceMinor = bcdByteValue(static_cast<uint8_t>(deviceBcdVersion & 0xFF));
    if (deviceMajor != fileMajor) {
        return deviceMajor < fileMajor ? FirmwareOrder::DeviceOlder : FirmwareOrder::DeviceNewer;
    }
    if (deviceMinor != fileMinor) {
        return deviceMinor < fileMinor ? FirmwareOrder::DeviceOlder : FirmwareOrder::DeviceNewer;
    }
    return FirmwareOrder::Same;
}

} // namespace marlune

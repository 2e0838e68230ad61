#include "firmwareversion.h"

namespace marlune {

namespace {

constexpr int kBcdBase = 10;

int bcdByteValue(uint8_t bcd)
{
    return (bcd >> 4) * kBcdBase + (bcd & 0x0F);
}

} // namespace

FirmwareOrder compareFirmware(uint16_t fileVersion, uint16_t deviceBcdVersion)
{
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

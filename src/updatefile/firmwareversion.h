#pragma once

#include <cstdint>

namespace marlune {

// How the firmware a device runs stands to the firmware an update file brings.
enum class FirmwareOrder
{
    DeviceOlder,  // the file brings a newer firmware
    Same,         // the device already runs the file's firmware
    DeviceNewer,  // writing the file would be a step back
    DeviceNotBcd, // the device's version has a digit above 9: it reads as no version, and is
                  // neither the file's, nor older, nor newer
};

// Compares the versions as each side writes them: an update file's are plain numbers, major
// in the high byte (1.12 is 0x010C), a device reports BCD (1.12 is 0x0112). A device version
// with a hexadecimal digit above 9 (0x011A) is not BCD and matches nothing.
FirmwareOrder compareFirmware(uint16_t fileVersion, uint16_t deviceBcdVersion);

// Whether every digit of a version a device reports is a decimal one, as BCD has it.
bool isBcdVersion(uint16_t deviceVersion);

} // namespace marlune

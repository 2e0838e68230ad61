#pragma once

#include <cstdint>

namespace marlune {

// How the firmware a device runs stands to the firmware an update file brings.
enum class FirmwareOrder
{
    DeviceOlder, // the file brings a newer firmware
    Same,        // the device already runs the file's firmware
    DeviceNewer, // writing the file would be a step back
};

// Compares the versions as each side writes them: an update file's are plain numbers, major
// in the high byte (1.12 is 0x010C), a device reports BCD (1.12 is 0x0112). A device digit
// above 9 is read as its hexadecimal value, as the version text shows it.
FirmwareOrder compareFirmware(uint16_t fileVersion, uint16_t deviceBcdVersion);

} // namespace marlune

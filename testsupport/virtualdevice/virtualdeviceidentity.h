#pragma once

#include <cstdint>
#include <string>

namespace marlune::testing {

// What a VirtualDevice reports in its 50-byte device-information record.
struct VirtualDeviceIdentity
{
    uint16_t infoWord0 = 0x0001;
    uint16_t hwVersion = 0x0102; // BCD: 1.02
    uint16_t fwVersion = 0x0315; // BCD: 3.15
    // Raw bytes; up to 40 are sent, followed by zeros. 40 bytes leave no terminator.
    std::string model = "MLP-DEV";
    uint16_t maxFrameLength = 100;
};

} // namespace marlune::testing

#pragma once

#include <cstdint>
#include <vector>

namespace marlune::testing {

// One well-formed frame as a VirtualDevice received it.
struct VirtualDeviceFrame
{
    uint8_t headerByte1 = 0;
    uint8_t headerByte2 = 0;
    uint8_t flags = 0;
    uint8_t type = 0;
    uint8_t command = 0;
    uint16_t value = 0;
    uint8_t sequence = 0;
    std::vector<uint8_t> payload;
};

} // namespace marlune::testing

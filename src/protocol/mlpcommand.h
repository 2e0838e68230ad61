#pragma once

#include <cstdint>

// Byte 5 of a frame; bytes 6 and 7 carry the command's 16-bit value.
enum MLPCommand : uint8_t
{
    DeviceInfo = 1,   // value 0; answered by a Response with the 50-byte device-information record
    UpdateHeader = 3, // value 0; the update file's 256-byte header as Data segments
    UpdateBlock = 4,  // value = block index; one block of the update file as Data segments
};

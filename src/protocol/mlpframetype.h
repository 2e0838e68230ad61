#pragma once

#include <cstdint>

// Byte 4 of a frame.
enum class MLPFrameType : uint8_t
{
    Data = 0,     // host sends payload
    Ack = 1,      // answer to Data, one status byte
    Request = 2,  // host asks for data, no payload
    Response = 3, // answer to Request, carries the data
};

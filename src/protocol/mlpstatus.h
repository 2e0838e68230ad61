#pragma once

#include <cstdint>

// Outcome of one transaction of MLPConnection.
enum class MLPStatus : uint8_t
{
    Ok = 0,           // a Response to a Request, or an Ack with status 0 to a Data segment
    Acknowledged = 1, // a Request answered by an Ack with status 0, so without data
    DeviceError = 2,  // an Ack with a non-zero status byte, kept as the error code
    NoValidReply = 3, // silence, or a frame whose type, command, value or length does not fit
};

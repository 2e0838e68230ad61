#pragma once

#include "mlpstatus.h"

#include <cstdint>

// Result of a segmented write.
struct MLPWriteResult
{
    MLPStatus status = MLPStatus::NoValidReply;
    uint8_t errorCode = 0;  // the device's status byte with DeviceError
    uint32_t sentBytes = 0; // payload bytes put on the link, including those of a segment that failed
};

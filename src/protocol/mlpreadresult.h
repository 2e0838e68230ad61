#pragma once

#include "mlpstatus.h"

#include <cstdint>
#include <memory>

// Result of a reading transaction; `data` is null unless the expected answer came complete.
struct MLPReadResult
{
    std::unique_ptr<uint8_t[]> data;
    uint32_t length = 0;
    uint8_t errorCode = 0; // the device's status byte with DeviceError
    MLPStatus status = MLPStatus::NoValidReply;
};

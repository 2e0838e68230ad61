#pragma once

#include "mlpstatus.h"

#include <cstdint>

// One exchange as the connection saw it, for a trace the caller prints (the command-line
// tool's --verbose). The frame pointers are valid only during the call.
struct MLPFrameTrace
{
    const uint8_t* sentFrame = nullptr; // the frame written; its type byte says Request or Data
    uint16_t sentLength = 0;
    uint8_t command = 0;
    uint16_t value = 0;
    uint16_t payloadLength = 0;      // payload bytes of the frame written
    bool writeAccepted = false;      // false: the link refused the frame and no answer was waited for
    const uint8_t* answer = nullptr; // the frame received, or null (time-out or refused write)
    uint16_t answerLength = 0;
    MLPStatus status = MLPStatus::NoValidReply; // how the answer was judged
    uint8_t errorCode = 0;                      // the device's status byte with DeviceError
    uint32_t elapsedMs = 0;                     // from the write to the end of the exchange
    // Who the exchange was with, as the connection's owner named it (several units may be
    // traced at once); empty when it named none. Valid only during the call.
    const char* unit = "";
};

// Called once per exchange, on the thread that runs it.
using MLPFrameTraceFunction = void (*)(void* context, const MLPFrameTrace& trace);

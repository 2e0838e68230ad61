#pragma once

#include "mlpstatus.h"

#include <cstdint>
#include <string>

// Result of a segmented write. A segment counts as sent only once the link has accepted
// it; a link that refuses one ends the write there with NoValidReply and linkWriteFailed,
// so a caller that looks only at the status still sees a failure.
struct MLPWriteResult
{
    MLPStatus status = MLPStatus::NoValidReply;
    uint8_t errorCode = 0; // the device's status byte with DeviceError
    uint32_t sentBytes =
        0; // payload bytes the link accepted, including those of a segment whose answer failed
    uint32_t confirmedBytes = 0;  // payload bytes the device acknowledged with status 0
    uint32_t segments = 0;        // segments begun, counted from 1: the last is the one that ended the write
    bool linkWriteFailed = false; // the link refused the last segment begun; no answer was waited for
    // With linkWriteFailed: the link's own code for the refusal (MLPPhy::lastError) and its
    // name for it (MLPPhy::errorString), such as the bridge's D2XX status; 0 and empty
    // when the link keeps no code.
    int32_t linkError = 0;
    std::string linkErrorName;
    bool finalSegmentAccepted = false; // the link accepted the transfer's last segment
};

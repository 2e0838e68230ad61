#include "mlpframespec.h"

#include "mlpframelayout.h"

#include <cstring>

void buildFrame(const MLPFrameSpec& spec)
{
    using Layout = MLPFrameLayout;
    uint8_t* frame = spec.output;

    uint8_t flags = spec.extraFlags;
    if (spec.firstSegment) {
        flags |= Layout::kFirstSegmentFlag;
    }
    if (spec.lastSegment) {
        flags |= Layout::kLastSegmentFlag;
    }

    frame[Layout::kStartOffset] = Layout::kStartByte;
    frame[Layout::kHeaderByte1Offset] = spec.headerByte1;
    frame[Layout::kHeaderByte2Offset] = spec.headerByte2;
    frame[Layout::kFlagsOffset] = flags;
    frame[Layout::kTypeOffset] = spec.frameType;
    frame[Layout::kCommandOffset] = spec.command;
    frame[Layout::kValueOffset] = static_cast<uint8_t>(spec.value & 0xFF);
    frame[Layout::kValueOffset + 1] = static_cast<uint8_t>(spec.value >> 8);
    frame[Layout::kLengthOffset] = static_cast<uint8_t>(spec.length & 0xFF);
    frame[Layout::kLengthOffset + 1] = static_cast<uint8_t>(spec.length >> 8);
    frame[Layout::kSequenceOffset] = spec.sequence;

    uint8_t headerSum = 0;
    for (uint16_t index = 0; index < Layout::kHeaderChecksumOffset; ++index) {
        headerSum = static_cast<uint8_t>(headerSum + frame[index]);
    }
    frame[Layout::kHeaderChecksumOffset] = headerSum;

    // The payload checksum continues from the header checksum rather than starting at 0.
    uint8_t payloadSum = headerSum;
    if (spec.length > 0) {
        std::memcpy(frame + Layout::kPayloadOffset, spec.payload, spec.length);
        for (uint16_t index = 0; index < spec.length; ++index) {
            payloadSum = static_cast<uint8_t>(payloadSum + spec.payload[index]);
        }
    }
    frame[Layout::kPayloadOffset + spec.length] = payloadSum;
    frame[Layout::kPayloadOffset + spec.length + 1] = Layout::kEndByte;
}

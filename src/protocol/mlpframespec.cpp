#include "mlpframespec.h"

#include "mlpframelayout.h"

#include <cstring>

void buildFrame(const MLPFrameSpec& description)
{
    using Layout = MLPFrameLayout;
    uint8_t* frame = description.output;

    uint8_t flags = description.extraFlags;
    if (description.firstSegment) {
        flags |= Layout::kFirstSegmentFlag;
    }
    if (description.lastSegment) {
        flags |= Layout::kLastSegmentFlag;
    }

    frame[Layout::kStartOffset] = Layout::kStartByte;
    frame[Layout::kHeaderByte1Offset] = description.headerByte1;
    frame[Layout::kHeaderByte2Offset] = description.headerByte2;
    frame[Layout::kFlagsOffset] = flags;
    frame[Layout::kTypeOffset] = description.frameType;
    frame[Layout::kCommandOffset] = description.command;
    frame[Layout::kValueOffset] = static_cast<uint8_t>(description.value & 0xFF);
    frame[Layout::kValueOffset + 1] = static_cast<uint8_t>(description.value >> 8);
    frame[Layout::kLengthOffset] = static_cast<uint8_t>(description.length & 0xFF);
    frame[Layout::kLengthOffset + 1] = static_cast<uint8_t>(description.length >> 8);
    frame[Layout::kSequenceOffset] = description.sequence;

    uint8_t headerSum = 0;
    for (uint16_t index = 0; index < Layout::kHeaderChecksumOffset; ++index) {
        headerSum = static_cast<uint8_t>(headerSum + frame[index]);
    }
    frame[Layout::kHeaderChecksumOffset] = headerSum;

    // The payload checksum continues from the header checksum rather than starting at 0.
    uint8_t payloadSum = headerSum;
    if (description.length > 0) {
        std::memcpy(frame + Layout::kPayloadOffset, description.payload, description.length);
        for (uint16_t index = 0; index < description.length; ++index) {
            payloadSum = static_cast<uint8_t>(payloadSum + description.payload[index]);
        }
    }
    frame[Layout::kPayloadOffset + description.length] = payloadSum;
    frame[Layout::kPayloadOffset + description.length + 1] = Layout::kEndByte;
}

#pragma once

#include <cstdint>

// Byte layout of an MLP frame, the same in both directions: a 12-byte head, n payload
// bytes and a 2-byte tail. Nothing is escaped, so 0xAA and 0xCC may occur anywhere inside.
struct MLPFrameLayout
{
    static constexpr uint8_t kStartByte = 0xAA;
    static constexpr uint8_t kEndByte = 0xCC;

    static constexpr uint16_t kHeadLength = 12;
    static constexpr uint16_t kTailLength = 2;
    static constexpr uint16_t kOverhead = kHeadLength + kTailLength;

    static constexpr uint16_t kStartOffset = 0;
    static constexpr uint16_t kHeaderByte1Offset = 1;
    static constexpr uint16_t kHeaderByte2Offset = 2;
    static constexpr uint16_t kFlagsOffset = 3;
    static constexpr uint16_t kTypeOffset = 4;
    static constexpr uint16_t kCommandOffset = 5;
    static constexpr uint16_t kValueOffset = 6;
    static constexpr uint16_t kLengthOffset = 8;
    static constexpr uint16_t kSequenceOffset = 10;
    static constexpr uint16_t kHeaderChecksumOffset = 11;
    static constexpr uint16_t kPayloadOffset = 12;

    static constexpr uint8_t kFirstSegmentFlag = 0x08;
    static constexpr uint8_t kLastSegmentFlag = 0x04;

    // The host's fixed values for bytes 1 and 2; received frames are not checked against them.
    static constexpr uint8_t kHostHeaderByte1 = 0x00;
    static constexpr uint8_t kHostHeaderByte2 = 0xFF;
};

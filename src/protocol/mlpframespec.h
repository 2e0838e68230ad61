#pragma once

#include <cstdint>

// Description of one outgoing frame, turned into bytes by buildFrame().
struct MLPFrameSpec
{
    uint8_t* output = nullptr;        // receives the frame; must hold length + 14 bytes
    const uint8_t* payload = nullptr; // may be null when length is 0
    uint16_t length = 0;              // payload bytes
    uint8_t command = 0;
    uint16_t value = 0;
    uint8_t headerByte1 = 0;
    uint8_t headerByte2 = 0;
    uint8_t sequence = 0;
    uint8_t frameType = 0;
    uint8_t extraFlags = 0; // OR-ed into the flags byte
    bool firstSegment = false;
    bool lastSegment = false;
};

// Writes the complete frame described by `description` into description.output.
void buildFrame(const MLPFrameSpec& description);

#pragma once

#include <cstdint>
#include <string>

// The 50-byte payload of the answer to DeviceInfo, numbers little-endian.
struct MLPDeviceInfoRecord
{
    static constexpr uint16_t kPayloadLength = 50;

    uint16_t infoWord0 = 0;      // carried through, not interpreted
    uint16_t hwVersion = 0;      // BCD, major in the high byte
    uint16_t fwVersion = 0;      // BCD, major in the high byte
    std::string model;           // raw bytes up to the first 0 byte, at most 39 of them
    uint16_t maxFrameLength = 0; // as the device reported it, head and tail included

    static MLPDeviceInfoRecord fromPayload(const uint8_t* payload);
};

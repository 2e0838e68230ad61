#pragma once

#include <QtGlobal>

#include <cstdint>

// Layout of an update file: a 256-byte header, two 512-byte auxiliary sections, then the
// payload blocks back to back. Multi-byte numbers are little-endian.
namespace MLU2Format {

constexpr int kHeaderSize = 256;
constexpr int kAuxSectionSize = 512;
constexpr qint64 kFirstBlockOffset = kHeaderSize + 2 * kAuxSectionSize;

// "MLU2" and a terminating 0.
constexpr uint8_t kSignature[] = {'M', 'L', 'U', '2', 0};
constexpr int kSignatureLength = sizeof kSignature;

constexpr int kModelOffset = 5;
constexpr int kModelLength = 40;
constexpr int kHardwareVersionCountOffset = 45;
constexpr int kBlockCountOffset = 46;
constexpr int kFirmwareVersionOffset = 48;
constexpr int kHardwareVersionsOffset = 50;
constexpr int kBlockLengthsOffset = 68;

constexpr int kMaxHardwareVersions = 8;
constexpr int kMaxBlocks = 8;

inline uint16_t readUint16(const uint8_t* bytes, int offset)
{
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline uint32_t readUint32(const uint8_t* bytes, int offset)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Both counts in the header run from 1 to their maximum.
inline bool isCountInRange(uint8_t count, int maximum)
{
    return count >= 1 && count <= maximum;
}

} // namespace MLU2Format

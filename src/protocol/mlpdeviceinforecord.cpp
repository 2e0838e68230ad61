#include "mlpdeviceinforecord.h"

namespace {

constexpr std::size_t kInfoWord0Offset = 0;
constexpr std::size_t kHwVersionOffset = 2;
constexpr std::size_t kFwVersionOffset = 4;
constexpr std::size_t kModelOffset = 6;
// The model field is 40 bytes, but its last byte counts as a terminator whatever it holds.
constexpr std::size_t kModelMaxLength = 39;
constexpr std::size_t kMaxFrameLengthOffset = 46;

uint16_t readLittleEndian16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

} // namespace

MLPDeviceInfoRecord MLPDeviceInfoRecord::fromPayload(const uint8_t* payload)
{
    MLPDeviceInfoRecord record;
    record.infoWord0 = readLittleEndian16(payload + kInfoWord0Offset);
    record.hwVersion = readLittleEndian16(payload + kHwVersionOffset);
    record.fwVersion = readLittleEndian16(payload + kFwVersionOffset);
    const uint8_t* model = payload + kModelOffset;
    std::size_t modelLength = 0;
    while (modelLength < kModelMaxLength && model[modelLength] != 0) {
        ++modelLength;
    }
    record.model.assign(reinterpret_cast<const char*>(model), modelLength);
    record.maxFrameLength = readLittleEndian16(payload + kMaxFrameLengthOffset);
    return record;
}

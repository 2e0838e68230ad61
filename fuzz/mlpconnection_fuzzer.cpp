// Plays arbitrary bytes as a device's answers to MLPConnection: a device-information
// request, then a segmented write. A fake clock makes every time-out instant. Checks that
// each transaction ends with one of the connection's statuses, that what it reports comes
// from the bytes the device sent, that the write ends, sends nothing but the data in order
// and counts sentBytes right, and that every frame the host sends is well formed.

#include "fakeclock.h"
#include "mlpclock.h"
#include "mlpconnection.h"
#include "mlpphy.h"
#include "mlpprogressobserveri.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using marlune::testing::FakeClock;

namespace {

// Input layout: the settings below, then the device's bytes.
constexpr std::size_t kCapacityIndex = 0;
constexpr std::size_t kChunkIndex = 1;
constexpr std::size_t kGapIndex = 2;
constexpr std::size_t kWriteLengthIndex = 3;
constexpr std::size_t kCommandIndex = 5;
constexpr std::size_t kValueIndex = 6;
constexpr std::size_t kSettingsLength = 8;

constexpr uint32_t kCapacities[] = {16, 63, 64, 65, 100, 10000, 50000};
constexpr std::size_t kCapacityChoices = sizeof kCapacities / sizeof kCapacities[0];
constexpr std::size_t kMaxChunk = 64;
constexpr uint32_t kWriteLengthLimit = 2049;
// A read that finds nothing stands for this much time; a gap of 255 reads is longer than
// an exchange's answer time, so answers can also come late.
constexpr uint32_t kEmptyReadMs = 10;

constexpr uint8_t kStartByte = 0xAA;
constexpr uint8_t kEndByte = 0xCC;
constexpr std::size_t kOverhead = 14;
constexpr std::size_t kHeadLength = 12;
constexpr std::size_t kFlagsOffset = 3;
constexpr std::size_t kTypeOffset = 4;
constexpr std::size_t kCommandOffset = 5;
constexpr std::size_t kValueOffset = 6;
constexpr std::size_t kLengthOffset = 8;
constexpr uint8_t kFirstSegment = 0x08;
constexpr uint8_t kLastSegment = 0x04;
constexpr uint8_t kTypeData = 0;
constexpr uint8_t kTypeRequest = 2;
constexpr uint8_t kDeviceInfoCommand = 1;
constexpr std::size_t kInfoRecordLength = 50;
constexpr std::size_t kMaxFrameLengthOffset = 46;
constexpr uint16_t kInitialMaxFrameLength = 100;
constexpr uint16_t kSmallestUsableFrame = 15;

void check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

bool isStatus(MLPStatus status)
{
    switch (status) {
    case MLPStatus::Ok:
    case MLPStatus::Acknowledged:
    case MLPStatus::DeviceError:
    case MLPStatus::NoValidReply:
        return true;
    }
    return false;
}

uint16_t readLe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint8_t sum(const uint8_t* bytes, std::size_t length, uint8_t start)
{
    uint8_t total = start;
    for (std::size_t index = 0; index < length; ++index) {
        total = static_cast<uint8_t>(total + bytes[index]);
    }
    return total;
}

// The device: hands out its bytes in chunks with a silence after each, and keeps every
// write of the host as one frame.
class ScriptedDevice : public marlune::MLP::MLPPhy
{
public:
    ScriptedDevice(const uint8_t* bytes, std::size_t length, std::size_t chunk, uint32_t gapReads,
                   FakeClock& clock)
        : m_bytes(bytes), m_length(length), m_chunk(chunk), m_gapReads(gapReads), m_clock(clock)
    {}

    bool write(const uint8_t* data, uint32_t length) override
    {
        m_frames.emplace_back(data, data + length);
        return true;
    }

    marlune::MLP::MLPPhyReadResult readByte() override
    {
        if (m_silentReads == 0 && m_position < m_length) {
            const uint8_t value = m_bytes[m_position++];
            if (++m_chunkPosition == m_chunk) {
                m_chunkPosition = 0;
                m_silentReads = m_gapReads;
            }
            return {value, 0};
        }
        if (m_silentReads > 0) {
            --m_silentReads;
        }
        m_clock.advance(kEmptyReadMs);
        return {0, 1};
    }

    const std::vector<std::vector<uint8_t>>& frames() const { return m_frames; }

private:
    const uint8_t* m_bytes;
    std::size_t m_length;
    std::size_t m_position = 0;
    std::size_t m_chunk;
    std::size_t m_chunkPosition = 0;
    uint32_t m_gapReads;
    uint32_t m_silentReads = 0;
    FakeClock& m_clock;
    std::vector<std::vector<uint8_t>> m_frames;
};

class ProgressCheck : public marlune::MLP::MLPProgressObserverI
{
public:
    void bytesReceived(int) override { check(false); }
    void bytesSent(int total) override
    {
        check(total >= lastTotal);
        lastTotal = total;
        ++calls;
    }

    int lastTotal = 0;
    int calls = 0;
};

// A frame the host built: start and end byte, both checksums, the length field.
bool wellFormed(const std::vector<uint8_t>& frame)
{
    if (frame.size() < kOverhead || frame.front() != kStartByte || frame.back() != kEndByte) {
        return false;
    }
    const std::size_t payloadLength = readLe16(frame.data() + kLengthOffset);
    if (frame.size() != payloadLength + kOverhead) {
        return false;
    }
    const uint8_t headerSum = sum(frame.data(), kHeadLength - 1, 0);
    return frame[kHeadLength - 1] == headerSum &&
           frame[frame.size() - 2] == sum(frame.data() + kHeadLength, payloadLength, headerSum);
}

bool contains(const uint8_t* haystack, std::size_t haystackLength, const uint8_t* needle,
              std::size_t needleLength)
{
    return std::search(haystack, haystack + haystackLength, needle, needle + needleLength) !=
           haystack + haystackLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < kSettingsLength) {
        return 0;
    }
    const uint32_t capacity = kCapacities[data[kCapacityIndex] % kCapacityChoices];
    const std::size_t chunk = 1 + data[kChunkIndex] % kMaxChunk;
    const uint32_t gapReads = data[kGapIndex];
    const uint32_t writeLength = readLe16(data + kWriteLengthIndex) % kWriteLengthLimit;
    const uint8_t command = data[kCommandIndex];
    const uint16_t value = readLe16(data + kValueIndex);
    const uint8_t* deviceBytes = data + kSettingsLength;
    const std::size_t deviceLength = size - kSettingsLength;

    FakeClock clock;
    ScriptedDevice device(deviceBytes, deviceLength, chunk, gapReads, clock);
    MLPConnection connection(&device, capacity);
    connection.setClock({&FakeClock::nowCallback, &FakeClock::sleepCallback, &clock});

    // The device-information request.
    const MLPReadResult info = connection.requestDeviceInfo();
    check(isStatus(info.status));
    check(device.frames().size() == 1);
    const std::vector<uint8_t>& request = device.frames().front();
    check(wellFormed(request) && request.size() == kOverhead && request[kTypeOffset] == kTypeRequest &&
          request[kCommandOffset] == kDeviceInfoCommand);
    if (info.data) {
        check(info.status == MLPStatus::Ok && info.length == kInfoRecordLength);
        check(contains(deviceBytes, deviceLength, info.data.get(), info.length));
        const uint16_t reported = readLe16(info.data.get() + kMaxFrameLengthOffset);
        check(connection.maxFrameLength() ==
              (reported >= kSmallestUsableFrame ? reported : kInitialMaxFrameLength));
    } else {
        check(info.length == 0);
        check(connection.maxFrameLength() == kInitialMaxFrameLength);
    }
    check(info.status == MLPStatus::DeviceError ? info.errorCode != 0 : info.errorCode == 0);

    // The segmented write, of a buffer exactly as long as the write.
    std::vector<uint8_t> payload(writeLength);
    for (std::size_t index = 0; index < payload.size(); ++index) {
        payload[index] = static_cast<uint8_t>(index * 31 + 7);
    }
    const uint16_t maxFrameLength = connection.maxFrameLength();
    ProgressCheck progress;
    connection.addObserver(&progress);
    const MLPWriteResult written = connection.writeSegmented(payload.data(), writeLength, command, value);
    connection.removeObserver(&progress);

    check(isStatus(written.status) && written.status != MLPStatus::Acknowledged);
    check(written.sentBytes <= writeLength);
    check(written.status != MLPStatus::Ok || written.sentBytes == writeLength);
    check(written.status == MLPStatus::DeviceError ? written.errorCode != 0 : written.errorCode == 0);

    const std::vector<std::vector<uint8_t>>& frames = device.frames();
    const std::size_t segments = frames.size() - 1;
    check(segments >= 1 && progress.calls == static_cast<int>(segments));
    check(progress.lastTotal == static_cast<int>(written.sentBytes));
    std::size_t sent = 0;
    for (std::size_t index = 1; index < frames.size(); ++index) {
        const std::vector<uint8_t>& frame = frames[index];
        check(wellFormed(frame) && frame.size() <= maxFrameLength);
        check(frame[kTypeOffset] == kTypeData && frame[kCommandOffset] == command &&
              readLe16(frame.data() + kValueOffset) == value);
        const std::size_t chunkLength = frame.size() - kOverhead;
        check(sent + chunkLength <= writeLength);
        check(chunkLength == 0 ||
              std::memcmp(frame.data() + kHeadLength, payload.data() + sent, chunkLength) == 0);
        sent += chunkLength;
        const uint8_t flags = frame[kFlagsOffset];
        check(((flags & kFirstSegment) != 0) == (index == 1));
        check(((flags & kLastSegment) != 0) == (sent == writeLength));
        check((flags & ~(kFirstSegment | kLastSegment)) == 0);
    }
    check(sent == written.sentBytes);
    return 0;
}

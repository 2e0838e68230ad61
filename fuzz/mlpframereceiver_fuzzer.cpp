// Feeds arbitrary byte streams to MLPFrameReceiver over a receive buffer that is smaller
// than its allocation, and checks every frame the receiver reports against its own reading
// of the stream: nothing may be stored past the capacity, and a reported frame must be a
// frame of the stream with both checksums right and the end byte in place.

#include "mlpframelistener.h"
#include "mlpframereceiver.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// The first input byte picks the capacity; the rest is the stream.
constexpr uint16_t kCapacities[] = {1, 11, 12, 13, 14, 15, 16, 64, 300, 4096};
constexpr std::size_t kCapacityChoices = sizeof kCapacities / sizeof kCapacities[0];
constexpr std::size_t kGuardLength = 64;
constexpr uint8_t kGuardByte = 0x5A;

constexpr uint8_t kStartByte = 0xAA;
constexpr uint8_t kEndByte = 0xCC;
constexpr std::size_t kHeaderChecksumOffset = 11;
constexpr std::size_t kLengthOffset = 8;
constexpr std::size_t kOverhead = 14;

void check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

struct ReportedFrame
{
    std::size_t lastStreamIndex;
    std::vector<uint8_t> bytes;
};

struct Collector
{
    std::vector<ReportedFrame> frames;
    std::size_t streamIndex = 0;

    static void onFrame(const uint8_t* frame, uint16_t length, void* context)
    {
        auto* collector = static_cast<Collector*>(context);
        collector->frames.push_back({collector->streamIndex, std::vector<uint8_t>(frame, frame + length)});
    }

    static void onTimeout(void*) { check(false); }
};

uint8_t sum(const uint8_t* bytes, std::size_t length, uint8_t start)
{
    uint8_t total = start;
    for (std::size_t index = 0; index < length; ++index) {
        total = static_cast<uint8_t>(total + bytes[index]);
    }
    return total;
}

// A well-formed frame of the stream that starts at `start` and ends at `last`.
bool isFrame(const uint8_t* stream, std::size_t start, std::size_t last)
{
    if (last < start + kOverhead - 1 || stream[start] != kStartByte || stream[last] != kEndByte) {
        return false;
    }
    const std::size_t payloadLength =
        stream[start + kLengthOffset] | (stream[start + kLengthOffset + 1] << 8);
    if (last - start + 1 != payloadLength + kOverhead) {
        return false;
    }
    const uint8_t headerSum = sum(stream + start, kHeaderChecksumOffset, 0);
    if (stream[start + kHeaderChecksumOffset] != headerSum) {
        return false;
    }
    const uint8_t payloadSum = sum(stream + start + kHeaderChecksumOffset + 1, payloadLength, headerSum);
    return stream[last - 1] == payloadSum;
}

// The reported bytes are the stored beginning of some frame of the stream that ends where
// the receiver reported it.
bool matchesStreamFrame(const uint8_t* stream, const ReportedFrame& reported, uint16_t capacity)
{
    const std::size_t last = reported.lastStreamIndex;
    if (last + 1 < kOverhead) {
        return false;
    }
    for (std::size_t start = last + 1 - kOverhead;; --start) {
        if (isFrame(stream, start, last)) {
            const std::size_t wireLength = last - start + 1;
            const std::size_t storedLength = wireLength < capacity ? wireLength : capacity;
            bool same = reported.bytes.size() == storedLength;
            for (std::size_t index = 0; same && index < storedLength; ++index) {
                same = reported.bytes[index] == stream[start + index];
            }
            if (same) {
                return true;
            }
        }
        if (start == 0) {
            return false;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const uint16_t capacity = kCapacities[data[0] % kCapacityChoices];
    const uint8_t* stream = data + 1;
    const std::size_t streamLength = size - 1;

    std::vector<uint8_t> allocation(capacity + kGuardLength, kGuardByte);
    Collector collector;
    const MLPFrameListener listener{&collector, &Collector::onFrame, &Collector::onTimeout};
    MLPFrameReceiver receiver;
    receiver.init(allocation.data(), capacity, &listener);
    receiver.arm(MLPFrameReceiver::kNoTimeout);

    for (std::size_t index = 0; index < streamLength; ++index) {
        collector.streamIndex = index;
        receiver.feed(stream[index]);
        check(receiver.count <= capacity);
        receiver.poll();
        // A connection arms a fresh exchange after each frame; the stream goes on.
        if (receiver.state == MLPFrameReceiver::State::Idle) {
            receiver.arm(MLPFrameReceiver::kNoTimeout);
        }
    }

    for (std::size_t index = capacity; index < allocation.size(); ++index) {
        check(allocation[index] == kGuardByte);
    }
    for (const ReportedFrame& reported : collector.frames) {
        check(matchesStreamFrame(stream, reported, capacity));
    }
    return 0;
}

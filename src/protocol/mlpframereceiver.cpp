#include "mlpframereceiver.h"

#include "mlpframelayout.h"

namespace {

constexpr uint16_t kHeaderBytesAfterStart = MLPFrameLayout::kHeaderChecksumOffset - 1;

} // namespace

void MLPFrameReceiver::init(uint8_t* receiveBuffer, uint16_t receiveCapacity,
                            const MLPFrameListener* frameListener)
{
    frameReady = false;
    state = State::Idle;
    firstTick = true;
    buffer = receiveBuffer;
    capacity = receiveCapacity;
    listener = frameListener;
}

void MLPFrameReceiver::arm(uint32_t allowedMs)
{
    frameReady = false;
    timeoutMs = allowedMs;
    state = State::WaitStart;
}

void MLPFrameReceiver::store(uint8_t byte)
{
    if (count < capacity) {
        buffer[count] = byte;
        ++count;
    }
}

// A byte that fails a check is consumed with the frame it belonged to; it is not looked at
// again as a possible start byte.
void MLPFrameReceiver::feed(uint8_t byte)
{
    switch (state) {
    case State::Idle:
        break;
    case State::WaitStart:
        if (byte == MLPFrameLayout::kStartByte) {
            headerSum = byte;
            count = 0;
            payloadLength = 0;
            store(byte);
            remaining = kHeaderBytesAfterStart;
            state = State::Header;
        }
        break;
    case State::Header: {
        const uint16_t position = MLPFrameLayout::kHeaderChecksumOffset - remaining;
        if (position == MLPFrameLayout::kLengthOffset) {
            payloadLength = byte;
        } else if (position == MLPFrameLayout::kLengthOffset + 1) {
            payloadLength = static_cast<uint16_t>(payloadLength | (byte << 8));
        }
        headerSum = static_cast<uint8_t>(headerSum + byte);
        store(byte);
        if (--remaining == 0) {
            state = State::HeaderChecksum;
        }
        break;
    }
    case State::HeaderChecksum:
        if (byte != headerSum) {
            state = State::WaitStart;
            break;
        }
        store(byte);
        payloadSum = headerSum;
        if (payloadLength != 0) {
            remaining = payloadLength;
            state = State::Payload;
        } else {
            state = State::PayloadChecksum;
        }
        break;
    case State::Payload:
        payloadSum = static_cast<uint8_t>(payloadSum + byte);
        store(byte);
        if (--remaining == 0) {
            state = State::PayloadChecksum;
        }
        break;
    case State::PayloadChecksum:
        store(byte);
        state = byte == payloadSum ? State::End : State::WaitStart;
        break;
    case State::End:
        store(byte);
        if (byte == MLPFrameLayout::kEndByte) {
            state = State::Idle;
            frameReady = true;
        } else {
            state = State::WaitStart;
        }
        break;
    }
}

void MLPFrameReceiver::tick(uint32_t nowMs)
{
    if (firstTick) {
        firstTick = false;
        lastTickMs = nowMs;
        return;
    }
    if (state != State::Idle) {
        // Unsigned difference: a wrap of the 32-bit millisecond clock is harmless.
        const uint32_t elapsedMs = nowMs - lastTickMs;
        if (elapsedMs > timeoutMs) {
            state = State::Idle;
            if (listener != nullptr && listener->onTimeout != nullptr) {
                listener->onTimeout(listener->context);
            }
        } else if (timeoutMs != kNoTimeout) {
            timeoutMs -= elapsedMs;
        }
    }
    lastTickMs = nowMs;
}

void MLPFrameReceiver::poll()
{
    const bool ready = frameReady;
    frameReady = false;
    if (ready && listener != nullptr && listener->onFrame != nullptr) {
        listener->onFrame(buffer, count, listener->context);
    }
}

#pragma once

#include "mlpframelistener.h"

#include <cstdint>

// Recognises one frame in the byte stream a link delivers, one byte at a time, into a
// fixed buffer it does not own, and counts down the time allowed for it. A frame longer
// than the buffer is still recognised: bytes beyond `capacity` are dropped from the
// buffer but still checksummed.
struct MLPFrameReceiver
{
    enum class State : uint8_t
    {
        Idle,
        WaitStart,
        Header,
        HeaderChecksum,
        Payload,
        PayloadChecksum,
        End
    };

    static constexpr uint32_t kNoTimeout = 0xFFFFFFFF;

    bool frameReady = false;
    uint8_t* buffer = nullptr;
    uint16_t capacity = 0;
    uint16_t count = 0;     // bytes stored of the frame being recognised
    uint16_t remaining = 0; // bytes still expected in the current section
    // Taken from the header bytes as they pass, so it is known even when the buffer is too
    // small to have stored them.
    uint16_t payloadLength = 0;
    uint8_t headerSum = 0;
    uint8_t payloadSum = 0;
    State state = State::Idle;
    bool firstTick = true;
    uint32_t lastTickMs = 0;
    uint32_t timeoutMs = kNoTimeout;
    const MLPFrameListener* listener = nullptr;

    // Leaves `count` alone: it is reset by the next start byte.
    void init(uint8_t* receiveBuffer, uint16_t receiveCapacity, const MLPFrameListener* frameListener);
    void arm(uint32_t allowedMs);
    void feed(uint8_t byte);
    void tick(uint32_t nowMs);
    void poll();

private:
    void store(uint8_t byte);
};

#pragma once

#include <cstdint>

// The time source of an exchange: a monotonic millisecond clock kept in 32 bits (only
// unsigned differences are used, so its wrap is harmless) and the short sleep the wait loop
// takes when a link answers "no byte" without blocking. Replaceable per connection.
struct MLPClock
{
    static uint32_t monotonicNowMs(void* context);
    static void sleepThread(void* context, uint32_t milliseconds);

    uint32_t (*nowMs)(void* context) = &MLPClock::monotonicNowMs;
    void (*sleepMs)(void* context, uint32_t milliseconds) = &MLPClock::sleepThread;
    void* context = nullptr;
};

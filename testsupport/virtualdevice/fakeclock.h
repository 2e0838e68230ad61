#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace marlune::testing {

// A millisecond clock that moves only when told, so waits of seconds pass at once. One
// instance can drive both sides of a test: the host's exchange (through the plain
// callbacks, with the clock as context) and a VirtualDevice (through nowFunction()).
// Thread-safe.
class FakeClock
{
public:
    explicit FakeClock(uint32_t startMs = 0);

    uint32_t nowMs() const;
    void advance(uint32_t milliseconds);

    // How often sleepCallback() ran.
    uint32_t sleepCalls() const;

    static uint32_t nowCallback(void* clock);
    // Instead of sleeping, moves the clock on by the time asked for.
    static void sleepCallback(void* clock, uint32_t milliseconds);

    std::function<uint32_t()> nowFunction();

private:
    std::atomic<uint32_t> m_nowMs;
    std::atomic<uint32_t> m_sleepCalls{0};
};

} // namespace marlune::testing

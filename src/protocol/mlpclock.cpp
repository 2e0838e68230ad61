#include "mlpclock.h"

#include <chrono>
#include <thread>

uint32_t MLPClock::monotonicNowMs(void*)
{
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

void MLPClock::sleepThread(void*, uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

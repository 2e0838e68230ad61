#include "fakeclock.h"

namespace marlune::testing {

FakeClock::FakeClock(uint32_t startMs) : m_nowMs(startMs) {}

uint32_t FakeClock::nowMs() const
{
    return m_nowMs.load();
}

void FakeClock::advance(uint32_t milliseconds)
{
    m_nowMs.fetch_add(milliseconds);
}

uint32_t FakeClock::sleepCalls() const
{
    return m_sleepCalls.load();
}

uint32_t FakeClock::nowCallback(void* clock)
{
    return static_cast<FakeClock*>(clock)->nowMs();
}

void FakeClock::sleepCallback(void* clock, uint32_t milliseconds)
{
    auto* fakeClock = static_cast<FakeClock*>(clock);
    fakeClock->m_sleepCalls.fetch_add(1);
    fakeClock->advance(milliseconds);
}

std::function<uint32_t()> FakeClock::nowFunction()
{
    return [this] { return nowMs(); };
}

} // namespace marlune::testing

#pragma once

#include <atomic>
#include <chrono>
#include <thread>

// The anonymous resident memory's peak while it lives, read from the kernel every `interval`
// on a thread of its own: a figure a benchmark prints beside what it times.
class PeakMemorySampler
{
public:
    explicit PeakMemorySampler(std::chrono::milliseconds interval);
    ~PeakMemorySampler();

    long idleKiB() const { return m_idleKiB; }
    // Stops sampling; the peak since construction.
    long stop();

private:
    const long m_idleKiB;
    std::atomic<bool> m_running{true};
    std::atomic<long> m_peakKiB;
    std::thread m_sampler;
};

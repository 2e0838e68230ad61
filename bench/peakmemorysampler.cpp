#include "peakmemorysampler.h"

#include "processusage.h"

#include <algorithm>

PeakMemorySampler::PeakMemorySampler(std::chrono::milliseconds interval)
    : m_idleKiB(marlune::bench::statusKiB("RssAnon:")), m_peakKiB(m_idleKiB)
{
    m_sampler = std::thread([this, interval] {
        while (m_running) {
            m_peakKiB = std::max(m_peakKiB.load(), marlune::bench::statusKiB("RssAnon:"));
            std::this_thread::sleep_for(interval);
        }
    });
}

PeakMemorySampler::~PeakMemorySampler()
{
    stop();
}

long PeakMemorySampler::stop()
{
    m_running = false;
    if (m_sampler.joinable()) {
        m_sampler.join();
    }
    return m_peakKiB;
}

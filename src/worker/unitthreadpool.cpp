#include "unitthreadpool.h"

#include "mlpunitthread.h"

#include <algorithm>

UnitThreadPool::UnitThreadPool(UpdatesUnderWay& updates) : m_updates(updates) {}

UnitThreadPool::~UnitThreadPool()
{
    joinAll();
}

void UnitThreadPool::joinAll()
{
    // Taken out first: a thread's last act takes the mutex, which the joins must not hold.
    std::vector<std::unique_ptr<MLPUnitThread>> threads;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    threads.clear();
}

void UnitThreadPool::start(MLPWorkerRequestI* request, const MLPWorkerContext& context)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.push_back(std::make_unique<MLPUnitThread>(request, context, m_updates, [this] {
        const std::lock_guard<std::mutex> ended(m_mutex);
        m_jobEnded.notify_all();
    }));
}

void UnitThreadPool::reapEnded()
{
    std::vector<std::unique_ptr<MLPUnitThread>> ended;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto firstEnded = std::stable_partition(
            m_threads.begin(), m_threads.end(),
            [](const std::unique_ptr<MLPUnitThread>& thread) { return !thread->hasEnded(); });
        std::move(firstEnded, m_threads.end(), std::back_inserter(ended));
        m_threads.erase(firstEnded, m_threads.end());
    }
}

void UnitThreadPool::waitFor(const MLPWorkerRequestI* request)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_jobEnded.wait(lock, [this, request] {
        return std::none_of(m_threads.begin(), m_threads.end(),
                            [request](const std::unique_ptr<MLPUnitThread>& thread) {
                                return thread->request() == request && !thread->hasEnded();
                            });
    });
}

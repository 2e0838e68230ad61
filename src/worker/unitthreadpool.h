#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class MLPUnitThread;
class MLPWorkerRequestI;
class UpdatesUnderWay;
struct MLPWorkerContext;

// The threads on which updates run beside the worker thread's loop, one per unit, and their
// ends. The pool outlives every job it started: its end joins them all, so no request it ran
// and no link a thread opened is torn down under a thread still using it. Started and reaped
// from the worker thread; waited for from any thread.
class UnitThreadPool
{
public:
    explicit UnitThreadPool(UpdatesUnderWay& updates);
    // Joins every thread: a write under way runs to its end first.
    ~UnitThreadPool();

    UnitThreadPool(const UnitThreadPool&) = delete;
    UnitThreadPool& operator=(const UnitThreadPool&) = delete;

    void start(MLPWorkerRequestI* request, const MLPWorkerContext& context);
    // Joins every thread, as the end does.
    void joinAll();
    // Joins the threads whose job has ended, which takes no time.
    void reapEnded();
    // Returns once no thread of the pool runs `request` any more, its count and link closed
    // included: its owner may delete it then.
    void waitFor(const MLPWorkerRequestI* request);

private:
    UpdatesUnderWay& m_updates;
    std::mutex m_mutex;
    std::condition_variable m_jobEnded;
    std::vector<std::unique_ptr<MLPUnitThread>> m_threads;
};

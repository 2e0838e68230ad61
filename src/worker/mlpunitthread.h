#pragma once

#include "mlpworkercontext.h"

#include <atomic>
#include <functional>
#include <thread>

class MLPConnection;
class MLPWorkerRequestI;
class UpdatesUnderWay;

namespace marlune::MLP {
class MLPPhy;
}

// One request run on a thread of its own, with a link and a connection of its own that the
// thread deletes at its end: units written side by side never share either, and none waits
// for another's answers. The request opens its unit itself (the context's MLPUnitLinks).
class MLPUnitThread
{
public:
    // A request that writes to a device is counted in `updates` while it runs. `ended` is
    // called on this thread as the very last thing it does.
    MLPUnitThread(MLPWorkerRequestI* request, const MLPWorkerContext& context, UpdatesUnderWay& updates,
                  std::function<void()> ended);
    // Joins the thread: a write under way runs to its end first.
    ~MLPUnitThread();

    MLPUnitThread(const MLPUnitThread&) = delete;
    MLPUnitThread& operator=(const MLPUnitThread&) = delete;

    // The request has run, its count has ended and the thread's link is closed; joining is
    // then immediate.
    bool hasEnded() const { return m_ended; }
    // Which request it runs; only to be compared, as it may be gone once ended.
    const MLPWorkerRequestI* request() const { return m_request; }

private:
    void run(bool writes);

    MLPWorkerRequestI* m_request;
    MLPConnection* m_connection = nullptr;
    marlune::MLP::MLPPhy* m_link = nullptr;
    MLPWorkerContext m_context;
    UpdatesUnderWay& m_updates;
    std::function<void()> m_notifyEnded;
    std::atomic<bool> m_ended{false};
    // Last, so that it starts once everything it reads is in place.
    std::thread m_thread;
};

#pragma once

#include "mlpworkercontext.h"

#include <atomic>
#include <functional>
#include <thread>

class MLPConnection;
class MLPWorkerRequestI;

namespace marlune::MLP {
class MLPPhy;
}

// One request run on a thread of its own, with a link and a connection of its own that the
// thread deletes at its end: units written side by side never share either, and none waits
// for another's answers. The request opens its unit itself (the context's MLPUnitLinks).
class MLPUnitThread
{
public:
    // `writing` is called on this thread with true before a request that writes to a device
    // runs and with false after it.
    MLPUnitThread(MLPWorkerRequestI* request, const MLPWorkerContext& context,
                  std::function<void(bool)> writing);
    // Joins the thread: a write under way runs to its end first.
    ~MLPUnitThread();

    MLPUnitThread(const MLPUnitThread&) = delete;
    MLPUnitThread& operator=(const MLPUnitThread&) = delete;

    // The request has run and the thread's link is closed; joining is then immediate.
    bool hasEnded() const { return m_ended; }

private:
    void run(MLPWorkerRequestI* request, bool writes);

    MLPConnection* m_connection = nullptr;
    marlune::MLP::MLPPhy* m_link = nullptr;
    MLPWorkerContext m_context;
    std::function<void(bool)> m_writing;
    std::atomic<bool> m_ended{false};
    // Last, so that it starts once everything it reads is in place.
    std::thread m_thread;
};

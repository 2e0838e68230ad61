#include "mlpunitthread.h"

#include "mlpworkerrequesti.h"
#include "updatesunderway.h"

MLPUnitThread::MLPUnitThread(MLPWorkerRequestI* request, const MLPWorkerContext& context,
                             UpdatesUnderWay& updates, std::function<void()> ended)
    : m_request(request), m_context(context), m_updates(updates), m_notifyEnded(std::move(ended))
{
    m_context.connection = &m_connection;
    m_context.link = &m_link;
    const bool writes = request->writesToDevice();
    m_thread = std::thread([this, writes] { run(writes); });
}

MLPUnitThread::~MLPUnitThread()
{
    m_thread.join();
}

void MLPUnitThread::run(bool writes)
{
    if (writes) {
        m_updates.begin();
    }
    m_request->run(&m_context);
    if (writes) {
        m_updates.end();
    }
    m_context.releaseThreadDevice();
    m_ended = true;
    m_notifyEnded();
}

#include "mlpunitthread.h"

#include "mlpworkerrequesti.h"

MLPUnitThread::MLPUnitThread(MLPWorkerRequestI* request, const MLPWorkerContext& context,
                             std::function<void(bool)> writing)
    : m_context(context), m_writing(std::move(writing))
{
    m_context.connection = &m_connection;
    m_context.link = &m_link;
    // Asked before run(): the request's owner may delete it once it has signalled its end.
    const bool writes = request->writesToDevice();
    m_thread = std::thread([this, request, writes] { run(request, writes); });
}

MLPUnitThread::~MLPUnitThread()
{
    m_thread.join();
}

void MLPUnitThread::run(MLPWorkerRequestI* request, bool writes)
{
    if (writes) {
        m_writing(true);
    }
    request->run(&m_context);
    if (writes) {
        m_writing(false);
    }
    m_context.releaseThreadDevice();
    m_ended = true;
}

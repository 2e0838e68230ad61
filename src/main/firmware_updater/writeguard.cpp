#include "writeguard.h"

#include "endsessioneventfilter.h"
#include "mlpworkerthread.h"
#include "shutdownblockreason.h"
#include "sleepinhibitor.h"

#include <QWidget>

void marlune::guardWritesAgainstSessionEnd(EndSessionEventFilter& filter, MLPWorkerThread& worker,
                                           QWidget& window)
{
    // Asked of the worker itself, not of its signals: a query may arrive before the queued
    // news of a write that has just begun.
    filter.setWriteInProgress([&worker] { return worker.hasUpdateUnderWay(); });
    QObject::connect(&worker, &MLPWorkerThread::deviceWriteStarted, &window,
                     [&window] { marlune::holdShutdown(&window); });
    QObject::connect(&worker, &MLPWorkerThread::deviceWriteFinished, &window,
                     [&window] { marlune::releaseShutdown(&window); });
    auto* sleepInhibitor = new SleepInhibitor(&window);
    sleepInhibitor->holdWhileUpdating(worker);
}

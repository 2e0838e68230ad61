#pragma once

#include "mlpdeviceinfonode.h"

#include <QList>
#include <QObject>
#include <QPair>

#include <cstdint>

class MLPWorkerThread;

namespace marlune::testing {

// Collects a worker thread's signals on the test thread. They are emitted on the worker
// thread; the receiver living here makes them arrive queued, as the window gets them.
struct WorkerThreadSignals
{
    explicit WorkerThreadSignals(MLPWorkerThread& thread);

    QObject receiver;
    int discoveries = 0;
    QList<QPair<uint16_t, uint16_t>> selections;
    QList<bool> selectionsAnswered;
    // The unit each selection reported, answered or not.
    QList<MLPDeviceInfoNode> selectedDevices;
    int lostConnections = 0;
};

} // namespace marlune::testing

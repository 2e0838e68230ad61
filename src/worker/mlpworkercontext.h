#pragma once

#include "mlpclock.h"
#include "mlpdeviceinfonode.h"
#include "mlpframetrace.h"
#include "mlpunitlinks.h"

#include <QList>

class MLPConnection;

namespace marlune::MLP {
class MLPPhy;
}

// What a request's run() receives: the worker thread's connection and link slots (which
// a request may read, delete and replace), the unit a selection or an update is for, how to
// open a link to it, and the clock its exchanges and waits go by.
struct MLPWorkerContext
{
    MLPConnection** connection = nullptr;
    marlune::MLP::MLPPhy** link = nullptr;
    MLPDeviceInfoNode unit;
    // Units a discovery lists without opening them: they are being written on links of their own.
    QList<MLPDeviceInfoNode> leaveOut;
    MLPUnitLinks units;
    MLPClock clock;
    // Handed to every connection a request makes; null traces nothing.
    MLPFrameTraceFunction frameTrace = nullptr;
    void* frameTraceContext = nullptr;

    // Deletes the thread's connection and then its link, where the context has those slots:
    // afterwards the thread talks to no device, and the device is free to be opened again.
    void releaseThreadDevice() const;
};

#pragma once

#include "mlpframetrace.h"

#include <QString>

class MLPConnection;

namespace marlune::MLP {
class MLPPhy;
}

// What a request's run() receives: the worker thread's connection and link slots (which
// a request may read, delete and replace) and, for a selection, the device address.
struct MLPWorkerContext
{
    MLPConnection** connection = nullptr;
    marlune::MLP::MLPPhy** link = nullptr;
    QString address;
    // Handed to every connection a discovery or selection makes; null traces nothing.
    MLPFrameTraceFunction frameTrace = nullptr;
    void* frameTraceContext = nullptr;
};

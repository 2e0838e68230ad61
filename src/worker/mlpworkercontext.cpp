#include "mlpworkercontext.h"

#include "mlpconnection.h"
#include "mlpphy.h"

void MLPWorkerContext::releaseThreadDevice() const
{
    if (connection) {
        delete *connection;
        *connection = nullptr;
    }
    if (link) {
        delete *link;
        *link = nullptr;
    }
}

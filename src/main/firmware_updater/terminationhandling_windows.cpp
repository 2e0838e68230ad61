#include "terminationhandling.h"

std::unique_ptr<QObject> marlune::exitOnTerminationSignals()
{
    return nullptr;
}

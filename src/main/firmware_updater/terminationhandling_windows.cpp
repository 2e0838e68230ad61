#include "terminationhandling.h"

std::unique_ptr<QObject> marlune::exitOnTerminationSignals(const std::function<void()>&)
{
    return nullptr;
}

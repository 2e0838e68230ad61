#include "workerthreadsignals.h"

#include "mlpworkerthread.h"

namespace marlune::testing {

WorkerThreadSignals::WorkerThreadSignals(MLPWorkerThread& thread)
{
    QObject::connect(&thread, &MLPWorkerThread::deviceDiscoverFinsihed, &receiver, [this] { ++discoveries; });
    QObject::connect(&thread, &MLPWorkerThread::deviceSelectionFinished, &receiver,
                     [this](uint16_t fwVersion, uint16_t hwVersion) {
                         selections.append(qMakePair(fwVersion, hwVersion));
                     });
    QObject::connect(&thread, &MLPWorkerThread::deviceSelectionAnswered, &receiver,
                     [this](bool answered, const MLPDeviceInfoNode& device) {
                         selectionsAnswered.append(answered);
                         selectedDevices.append(device);
                     });
    QObject::connect(&thread, &MLPWorkerThread::lostConnection, &receiver, [this] { ++lostConnections; });
}

} // namespace marlune::testing

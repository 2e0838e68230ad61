#include "mlpusblistinglock.h"

namespace marlune::MLP {

namespace {

std::mutex& listingMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

MLPUsbListingLock::MLPUsbListingLock() : m_lock(listingMutex()) {}

} // namespace marlune::MLP

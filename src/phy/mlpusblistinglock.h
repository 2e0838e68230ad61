#pragma once

#include <mutex>

namespace marlune::MLP {

// Held, process-wide, while a list of attached USB devices is taken and while a device is
// opened from one. The D2XX driver keeps one device-information list per process, and an
// open by position refers to whatever list was built last; libusb has failed on some systems
// when one thread took its device list while another opened a device. So links on any
// number of threads list and open one at a time. Reads and writes on an open link never take
// it, so units are written side by side.
class MLPUsbListingLock
{
public:
    MLPUsbListingLock();

    MLPUsbListingLock(const MLPUsbListingLock&) = delete;
    MLPUsbListingLock& operator=(const MLPUsbListingLock&) = delete;

private:
    std::lock_guard<std::mutex> m_lock;
};

} // namespace marlune::MLP

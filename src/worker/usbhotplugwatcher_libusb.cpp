#include "usbhotplugwatcher.h"

#include "mlpusbhotplugmonitor.h"

class UsbHotplugWatcher::SystemSource : public UsbHotplugWatcher::Source
{
public:
    explicit SystemSource(UsbHotplugWatcher* watcher) { m_monitor.start(&SystemSource::onChange, watcher); }

private:
    // On the monitor's thread.
    static void onChange(void* watcher) { static_cast<UsbHotplugWatcher*>(watcher)->noteDeviceChange(); }

    marlune::MLP::MLPUsbHotplugMonitor m_monitor;
};

std::unique_ptr<UsbHotplugWatcher::Source> UsbHotplugWatcher::startSource(UsbHotplugWatcher* watcher)
{
    return std::make_unique<SystemSource>(watcher);
}

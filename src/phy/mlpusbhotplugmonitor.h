#pragma once

#include <atomic>
#include <thread>

struct libusb_context;
struct libusb_device;

namespace marlune::MLP {

// Calls back when a device of our identity table is plugged in or removed, from libusb's
// hotplug events on a libusb context and thread of its own. Never opens a device, so it
// cannot disturb a link in use. Where libusb has no hotplug support (Windows), start()
// answers false and nothing is ever called back.
class MLPUsbHotplugMonitor
{
public:
    using Callback = void (*)(void* context);

    MLPUsbHotplugMonitor() = default;
    ~MLPUsbHotplugMonitor();

    MLPUsbHotplugMonitor(const MLPUsbHotplugMonitor&) = delete;
    MLPUsbHotplugMonitor& operator=(const MLPUsbHotplugMonitor&) = delete;

    // `callback` runs on the monitor's own thread; it must only hand the news on.
    bool start(Callback callback, void* context);
    void stop();

private:
    static int onHotplug(libusb_context* context, libusb_device* device, int event, void* monitor);
    void handleEvents();

    Callback m_callback = nullptr;
    void* m_callbackContext = nullptr;
    libusb_context* m_context = nullptr;
    int m_callbackHandle = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_eventThread;
};

} // namespace marlune::MLP

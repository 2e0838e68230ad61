#include "mlpusbhotplugmonitor.h"

#include "mlpusbidentities.h"

#include <libusb.h>

namespace marlune::MLP {

namespace {

// How long the event thread waits for libusb in one go; deregistering the callback wakes
// it early, so this only bounds how late it notices being stopped in the worst case.
constexpr long kEventWaitMicroseconds = 500000;

} // namespace

MLPUsbHotplugMonitor::~MLPUsbHotplugMonitor()
{
    stop();
}

bool MLPUsbHotplugMonitor::start(Callback callback, void* context)
{
    if (m_context || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) || libusb_init(&m_context) != 0) {
        m_context = nullptr;
        return false;
    }
    m_callback = callback;
    m_callbackContext = context;
    libusb_hotplug_callback_handle handle = 0;
    const auto events = static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
    const int result = libusb_hotplug_register_callback(
        m_context, events, static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        [](libusb_context* libusbContext, libusb_device* device, libusb_hotplug_event event, void* monitor) {
            return onHotplug(libusbContext, device, static_cast<int>(event), monitor);
        },
        this, &handle);
    if (result != LIBUSB_SUCCESS) {
        libusb_exit(m_context);
        m_context = nullptr;
        return false;
    }
    m_callbackHandle = handle;
    m_stopping = false;
    m_eventThread = std::thread(&MLPUsbHotplugMonitor::handleEvents, this);
    return true;
}

void MLPUsbHotplugMonitor::stop()
{
    if (!m_context) {
        return;
    }
    m_stopping = true;
    libusb_hotplug_deregister_callback(m_context, m_callbackHandle);
    m_eventThread.join();
    libusb_exit(m_context);
    m_context = nullptr;
}

void MLPUsbHotplugMonitor::handleEvents()
{
    while (!m_stopping) {
        timeval wait{0, kEventWaitMicroseconds};
        libusb_handle_events_timeout_completed(m_context, &wait, nullptr);
    }
}

// Runs on the event thread: only looks at the descriptor libusb already holds.
int MLPUsbHotplugMonitor::onHotplug(libusb_context*, libusb_device* device, int, void* monitor)
{
    libusb_device_descriptor descriptor{};
    auto* self = static_cast<MLPUsbHotplugMonitor*>(monitor);
    if (libusb_get_device_descriptor(device, &descriptor) == 0 &&
        MLPUsbIdentities::linkKindOf(descriptor.idVendor, descriptor.idProduct) != MLPLinkKind::Unknown) {
        self->m_callback(self->m_callbackContext);
    }
    return 0; // stay registered
}

} // namespace marlune::MLP

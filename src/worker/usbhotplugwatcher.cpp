#include "usbhotplugwatcher.h"

#include "deviceaccessprobe.h"

#include <libusb.h>

namespace {

// How long the event thread waits for libusb in one go; deregistering the callback wakes
// it early, so this only bounds how late it notices being stopped in the worst case.
constexpr long kEventWaitMicroseconds = 500000;

} // namespace

UsbHotplugWatcher::UsbHotplugWatcher(QObject* parent) : QObject(parent)
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(kSettleMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &UsbHotplugWatcher::devicesChanged);

    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) || libusb_init(&m_context) != 0) {
        m_context = nullptr;
        return;
    }
    libusb_hotplug_callback_handle handle = 0;
    const auto events = static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
    const int result = libusb_hotplug_register_callback(
        m_context, events, static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        [](libusb_context* context, libusb_device* device, libusb_hotplug_event event, void* watcher) {
            return onHotplug(context, device, static_cast<int>(event), watcher);
        },
        this, &handle);
    if (result != LIBUSB_SUCCESS) {
        libusb_exit(m_context);
        m_context = nullptr;
        return;
    }
    m_callbackHandle = handle;
    m_watching = true;
    m_eventThread = std::thread(&UsbHotplugWatcher::handleEvents, this);
}

UsbHotplugWatcher::~UsbHotplugWatcher()
{
    if (!m_watching) {
        return;
    }
    m_stopping = true;
    libusb_hotplug_deregister_callback(m_context, m_callbackHandle);
    m_eventThread.join();
    libusb_exit(m_context);
}

bool UsbHotplugWatcher::isWatching() const
{
    return m_watching;
}

void UsbHotplugWatcher::handleEvents()
{
    while (!m_stopping) {
        timeval wait{0, kEventWaitMicroseconds};
        libusb_handle_events_timeout_completed(m_context, &wait, nullptr);
    }
}

// Runs on the event thread: only looks at the descriptor libusb already holds and hands
// the rest to the watcher's own thread.
int UsbHotplugWatcher::onHotplug(libusb_context*, libusb_device* device, int, void* watcher)
{
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) == 0 &&
        DeviceAccessProbe::isDrivenUsbId(descriptor.idVendor, descriptor.idProduct)) {
        QMetaObject::invokeMethod(static_cast<UsbHotplugWatcher*>(watcher), "noteEvent",
                                  Qt::QueuedConnection);
    }
    return 0; // stay registered
}

void UsbHotplugWatcher::noteEvent()
{
    m_settleTimer.start();
}

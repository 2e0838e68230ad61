#include "usbhotplugwatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <qt_windows.h>

namespace {

// WM_DEVICECHANGE's events (dbt.h): a device node of the system was added or removed (sent
// to every top-level window), and a registered device interface came or went.
constexpr WPARAM kDeviceNodesChanged = 0x0007;
constexpr WPARAM kDeviceArrival = 0x8000;
constexpr WPARAM kDeviceRemoveComplete = 0x8004;

} // namespace

// libusb has no hotplug events on Windows; the system tells every top-level window of a
// device change instead, and the program's windows are Qt's, so the news is read from Qt's
// native event stream.
class UsbHotplugWatcher::SystemSource : public UsbHotplugWatcher::Source, public QAbstractNativeEventFilter
{
public:
    explicit SystemSource(UsbHotplugWatcher* watcher) : m_watcher(watcher)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~SystemSource() override
    {
        if (QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }

#if QT_VERSION_MAJOR >= 6
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
#else
    bool nativeEventFilter(const QByteArray&, void* message, long*) override
#endif
    {
        const MSG* nativeMessage = static_cast<const MSG*>(message);
        if (nativeMessage->message == WM_DEVICECHANGE &&
            (nativeMessage->wParam == kDeviceNodesChanged || nativeMessage->wParam == kDeviceArrival ||
             nativeMessage->wParam == kDeviceRemoveComplete)) {
            m_watcher->noteDeviceChange();
        }
        return false; // others may want the message too
    }

private:
    UsbHotplugWatcher* m_watcher;
};

std::unique_ptr<UsbHotplugWatcher::Source> UsbHotplugWatcher::startSource(UsbHotplugWatcher* watcher)
{
    return std::make_unique<SystemSource>(watcher);
}

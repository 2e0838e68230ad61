#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <thread>

struct libusb_context;
struct libusb_device;

// Tells when a device of the kinds the links drive (a maker device or an FTDI bridge) is
// plugged in or removed. Uses libusb's hotplug events on a libusb context of its own and
// never opens a device, so it cannot disturb a link the worker thread is using. A burst
// of events (a hub, a device that re-enumerates after an update) gives one signal once
// the bus has been quiet for a moment.
class UsbHotplugWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 400;

    explicit UsbHotplugWatcher(QObject* parent = nullptr);
    ~UsbHotplugWatcher() override;

    UsbHotplugWatcher(const UsbHotplugWatcher&) = delete;
    UsbHotplugWatcher& operator=(const UsbHotplugWatcher&) = delete;

    // False where libusb has no hotplug support (or does not start); nothing is ever
    // signalled then.
    bool isWatching() const;

signals:
    void devicesChanged();

private slots:
    void noteEvent();

private:
    static int onHotplug(libusb_context* context, libusb_device* device, int event, void* watcher);
    void handleEvents();

    libusb_context* m_context = nullptr;
    int m_callbackHandle = 0;
    bool m_watching = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_eventThread;
    QTimer m_settleTimer;
};

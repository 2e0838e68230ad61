#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

// Tells when a device of the kinds the links drive (a maker device or an FTDI bridge) is
// plugged in or removed. What tells of a change differs per system (usbhotplugwatcher_*.cpp):
// libusb's hotplug events where it has them, the window messages of device changes on
// Windows. Neither opens a device, so neither can disturb a link the worker thread is using.
// A burst of changes (a hub, a device that re-enumerates after an update) gives one signal
// once the bus has been quiet for a moment.
class UsbHotplugWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 400;

    explicit UsbHotplugWatcher(QObject* parent = nullptr);
    ~UsbHotplugWatcher() override;

    UsbHotplugWatcher(const UsbHotplugWatcher&) = delete;
    UsbHotplugWatcher& operator=(const UsbHotplugWatcher&) = delete;

signals:
    void devicesChanged();

private:
    // The system's source of change news; it calls noteDeviceChange(), from any thread.
    class Source
    {
    public:
        virtual ~Source() = default;
    };
    class SystemSource; // one per system, in usbhotplugwatcher_*.cpp
    static std::unique_ptr<Source> startSource(UsbHotplugWatcher* watcher);

    void noteDeviceChange();

    QTimer m_settleTimer;
    std::unique_ptr<Source> m_source;
};

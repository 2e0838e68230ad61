#include "usbhotplugwatcher.h"

UsbHotplugWatcher::UsbHotplugWatcher(QObject* parent) : QObject(parent)
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(kSettleMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &UsbHotplugWatcher::devicesChanged);
    m_source = startSource(this);
}

// The source goes first: it may still be reporting from a thread of its own.
UsbHotplugWatcher::~UsbHotplugWatcher()
{
    m_source.reset();
}

void UsbHotplugWatcher::noteDeviceChange()
{
    // The timer lives on the watcher's thread; news from another thread is queued there.
    QMetaObject::invokeMethod(&m_settleTimer, qOverload<>(&QTimer::start), Qt::AutoConnection);
}

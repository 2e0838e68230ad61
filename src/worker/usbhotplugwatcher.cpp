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
    // The timer lives on the watcher's thread; news from another thread is queued there, by
    // the slot's name: then only the posted event passes between the threads. A queued functor
    // would be shared by both and freed by whichever lets go of it last, an ordering made
    // inside Qt where ThreadSanitizer cannot see it.
    QMetaObject::invokeMethod(&m_settleTimer, "start", Qt::AutoConnection);
}

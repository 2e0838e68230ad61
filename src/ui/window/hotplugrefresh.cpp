#include "hotplugrefresh.h"

#include "usbhotplugwatcher.h"

#include <QTimer>

HotplugRefresh::HotplugRefresh(std::function<bool()> windowIsFree, std::function<void()> refresh,
                               QObject* parent)
    : QObject(parent), m_windowIsFree(std::move(windowIsFree)), m_refresh(std::move(refresh))
{}

void HotplugRefresh::watch()
{
    if (!m_watcher) {
        m_watcher = new UsbHotplugWatcher(this);
        connect(m_watcher, &UsbHotplugWatcher::devicesChanged, this, &HotplugRefresh::request);
    }
}

void HotplugRefresh::request()
{
    m_pending = !m_windowIsFree();
    if (!m_pending) {
        m_refresh();
    }
}

void HotplugRefresh::windowFreed()
{
    if (m_pending) {
        QTimer::singleShot(0, this, &HotplugRefresh::request);
    }
}

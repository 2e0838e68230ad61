#pragma once

#include <QObject>

#include <functional>

class UsbHotplugWatcher;

// Refreshes the window's device list when the bus changes. Never under running work or an
// open failure box, where a discovery would rebuild the list the person is reading about: a
// change then is remembered, and the refresh runs once the window is free again.
class HotplugRefresh : public QObject
{
public:
    HotplugRefresh(std::function<bool()> windowIsFree, std::function<void()> refresh, QObject* parent);

    // Starts watching the bus; again is harmless.
    void watch();
    // The bus changed: refreshes now when the window is free.
    void request();
    // The window may be free now: a refresh asked for meanwhile runs once the caller's own
    // slot has returned, since that slot may start work of its own.
    void windowFreed();

private:
    std::function<bool()> m_windowIsFree;
    std::function<void()> m_refresh;
    UsbHotplugWatcher* m_watcher = nullptr;
    bool m_pending = false;
};

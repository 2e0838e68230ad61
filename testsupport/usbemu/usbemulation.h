#pragma once

#include "emulateddeviceoptions.h"
#include "ftdilineevent.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace marlune::testing {

class DeviceEndpoint;
class EmulatedFtdiBridge;
class EmulatedUsbDevice;

// Emulated USB hardware for tests, benchmarks and the demo: owns one umockdev testbed
// and plugs emulated devices into it, so that the real libusb-1.0 and libftdi1 find and
// drive them. Each device carries bytes between the USB level and a DeviceEndpoint.
//
// The process must run under umockdev-wrapper (its preload library diverts /sys, /dev,
// uevents and the device ioctls into the testbed). A child process started while the
// testbed exists inherits LD_PRELOAD and UMOCKDEV_DIR and so sees the same devices; its
// ioctls are answered by this process, which must keep running meanwhile.
//
// Devices may be plugged in and unplugged at any time. All functions are thread-safe.
// Endpoints are called from the emulation's threads with the device locked, so they must
// not call back into UsbEmulation; an endpoint unplugs itself through isAttached().
class UsbEmulation
{
public:
    UsbEmulation();
    ~UsbEmulation();

    UsbEmulation(const UsbEmulation&) = delete;
    UsbEmulation& operator=(const UsbEmulation&) = delete;

    // True when libusb in this process sees the testbed (the preload library is active).
    bool isActive() const;

    // Plug a device in; the result identifies it for the calls below. Throws
    // std::runtime_error when umockdev refuses the device (a broken test environment).
    int addMakerDevice(std::shared_ptr<DeviceEndpoint> device, const MakerDeviceOptions& options = {});
    int addFtdiBridge(std::shared_ptr<DeviceEndpoint> device, const FtdiBridgeOptions& options = {});

    // The device leaves the bus: transfers in flight and later ones fail with "no device",
    // and it is no longer listed. A device whose endpoint reports isAttached() false is
    // unplugged the same way by the emulation itself.
    void unplug(int id);
    bool isPlugged(int id) const;
    // Where the device was plugged in, as libusb reports its port path: "1-5" (bus 1, port 5
    // of the root hub, which is also its address there).
    std::string portPath(int id) const;

    // How many string descriptors the host has read from a device, the language list left
    // out; 0 for unknown ids.
    int stringReadCount(int id) const;

    // The line log of an FTDI bridge; empty for other ids.
    std::vector<FtdiLineEvent> ftdiLineLog(int id) const;
    void clearFtdiLineLog(int id);
    // How often an FTDI bridge answered the host with its status bytes alone; 0 for other ids.
    int ftdiEmptyAnswerCount(int id) const;

private:
    struct PluggedDevice
    {
        std::shared_ptr<EmulatedUsbDevice> device;
        EmulatedFtdiBridge* bridge = nullptr;
        std::string sysfsPath;
        std::string deviceNode;
        std::string portPath;
        bool handlerAttached = false;
        bool plugged = true;
    };

    int plugIn(std::shared_ptr<EmulatedUsbDevice> device, EmulatedFtdiBridge* bridge, bool openable);
    void removeFromTestbed(PluggedDevice& entry);
    void watchLoop();
    void wakeWatchLoop();

    UMockdevTestbed* m_testbed;
    std::string m_testbedRoot;

    mutable std::mutex m_mutex; // guards the device table and the testbed
    std::map<int, PluggedDevice> m_devices;
    int m_nextId = 1;
    int m_devicesPlugged = 0;

    // Removes from the testbed the devices that left the bus by themselves; each device
    // answers and times itself on its own thread.
    std::mutex m_wakeMutex; // never held while calling into a device
    std::condition_variable m_wake;
    bool m_departurePending = false;
    bool m_stopping = false;
    std::thread m_watchThread;
};

} // namespace marlune::testing

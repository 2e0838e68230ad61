// A stand-in for the FTDI driver's D2XX library on Windows, built as ftd2xx.dll and placed
// beside the unchanged Windows programs, which load it at run time as they would load the
// real one. Behind it sit the FTDI-bridged devices of MARLUNE_DEMO_DEVICES (the demo's own
// description; the default devices when unset), each a virtual device that speaks the device
// side of the protocol on its own.
//
// The serial line is modelled as far as the link's correctness depends on it: bytes reach
// the device only when sent at its working rate (250 000 baud, 8 data bits, 2 stop bits), so
// the break byte at 38 400 baud is line noise to it, as on a real line; reads wait up to the
// read time-out for a byte, as the driver does. A device described with unplug-at leaves the
// bus once it has taken that many segments: its writes and reads fail from then on, and the
// next device list leaves it out. One described as "held" stands for a bridge another program holds
// open: listed with the opened flag and without its strings, as the driver lists such a bridge,
// and refused by FT_Open and FT_OpenEx.
//
// The programs call it from several threads at once, as they do the driver: one lock guards
// every bridge's state and is let go while a read waits, so a read on one handle holds up no
// other, and nothing sleeps while holding it.

#include "d2xxapi.h"
#include "demodevice.h"
#include "demodevicedescription.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using marlune::testing::DemoDeviceDescription;
using marlune::testing::VirtualDevice;

namespace {

constexpr char kDescription[] = "MARLUNE MLP-DEV";
constexpr ULONG kWorkingBaudRate = 250000;
constexpr std::chrono::milliseconds kPollInterval{1};

struct Bridge
{
    DemoDeviceDescription description;
    std::shared_ptr<VirtualDevice> device;
    std::string serial;
    DWORD locationId = 0;
    bool open = false;
    ULONG baudRate = 9600;
    UCHAR wordLength = 8;
    UCHAR stopBits = 0;
    UCHAR parity = 0;
    ULONG readTimeoutMs = 0;
    std::deque<uint8_t> received;

    bool attached() const { return device->isAttached(); }
    bool lineAtDeviceSettings() const
    {
        return baudRate == kWorkingBaudRate && wordLength == FT_BITS_8 && stopBits == FT_STOP_BITS_2 &&
               parity == FT_PARITY_NONE;
    }
    void collect()
    {
        uint8_t chunk[64];
        std::size_t count = 0;
        while ((count = device->readForHost(chunk, sizeof chunk)) > 0) {
            received.insert(received.end(), chunk, chunk + count);
        }
    }
    void unplugWhenDue()
    {
        if (description.unplugSegment && device->dataSegmentCount() >= *description.unplugSegment) {
            device->detach();
        }
    }
};

struct StandIn
{
    std::mutex mutex;
    std::vector<std::unique_ptr<Bridge>> bridges;
    std::vector<Bridge*> deviceList; // the list of the last FT_CreateDeviceInfoList
};

StandIn& standIn()
{
    static StandIn* instance = [] {
        auto* made = new StandIn; // lives as long as the process, as a driver's state does
        QVector<DemoDeviceDescription> descriptions = DemoDeviceDescription::defaultDevices();
        const QString text = qEnvironmentVariable("MARLUNE_DEMO_DEVICES");
        if (!text.trimmed().isEmpty()) {
            QString error;
            const auto parsed = DemoDeviceDescription::parseList(text, &error);
            descriptions = parsed ? *parsed : QVector<DemoDeviceDescription>();
        }
        int serialNumber = 1;
        for (const DemoDeviceDescription& description : descriptions) {
            if (description.kind != DemoDeviceDescription::Kind::FtdiBridge) {
                continue;
            }
            auto bridge = std::make_unique<Bridge>();
            bridge->description = description;
            bridge->device = marlune::testing::makeDemoDevice(description);
            // Bus 1, behind hubs of 15 ports each on the root hub's ports: "1-1.1", "1-1.2", ...
            const auto index = static_cast<DWORD>(serialNumber - 1);
            bridge->locationId = 0x100 | ((index / 15 + 1) << 4) | (index % 15 + 1);
            bridge->serial = "FTDEMO" + std::to_string(serialNumber++);
            made->bridges.push_back(std::move(bridge));
        }
        return made;
    }();
    return *instance;
}

Bridge* bridgeOf(FT_HANDLE handle)
{
    for (const auto& bridge : standIn().bridges) {
        if (bridge.get() == handle && bridge->open) {
            return bridge.get();
        }
    }
    return nullptr;
}

// With the stand-in's lock held.
FT_STATUS openBridge(Bridge& bridge, FT_HANDLE* pHandle)
{
    if (bridge.open || bridge.description.held || !bridge.attached()) {
        return FT_DEVICE_NOT_OPENED;
    }
    bridge.open = true;
    bridge.received.clear();
    *pHandle = &bridge;
    return FT_OK;
}

void copyText(const std::string& text, char* field, std::size_t fieldBytes)
{
    const std::size_t length = std::min(text.size(), fieldBytes - 1);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, fieldBytes - length);
}

} // namespace

extern "C" {

FT_STATUS FT_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    if (lpdwNumDevs == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    StandIn& state = standIn();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.deviceList.clear();
    for (const auto& bridge : state.bridges) {
        if (bridge->attached()) {
            state.deviceList.push_back(bridge.get());
        }
    }
    *lpdwNumDevs = static_cast<DWORD>(state.deviceList.size());
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    if (pDest == nullptr || lpdwNumDevs == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    StandIn& state = standIn();
    std::lock_guard<std::mutex> lock(state.mutex);
    for (std::size_t position = 0; position < state.deviceList.size(); ++position) {
        const Bridge& bridge = *state.deviceList[position];
        FT_DEVICE_LIST_INFO_NODE& node = pDest[position];
        std::memset(&node, 0, sizeof node);
        node.ID = 0x04036001;
        node.LocId = bridge.locationId;
        // The driver cannot read the strings of a bridge another program has open.
        if (bridge.open || bridge.description.held) {
            node.Flags = FT_FLAGS_OPENED;
            continue;
        }
        copyText(bridge.serial, node.SerialNumber, sizeof node.SerialNumber);
        copyText(kDescription, node.Description, sizeof node.Description);
    }
    *lpdwNumDevs = static_cast<DWORD>(state.deviceList.size());
    return FT_OK;
}

FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    if (pHandle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    StandIn& state = standIn();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= state.deviceList.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    return openBridge(*state.deviceList[static_cast<std::size_t>(deviceNumber)], pHandle);
}

FT_STATUS FT_API FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle)
{
    if (pHandle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    StandIn& state = standIn();
    if (Flags == FT_OPEN_BY_LOCATION) {
        // The location id itself stands in the pointer's place.
        const auto locationId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(pArg1));
        std::lock_guard<std::mutex> lock(state.mutex);
        for (const auto& bridge : state.bridges) {
            if (bridge->attached() && bridge->locationId == locationId) {
                return openBridge(*bridge, pHandle);
            }
        }
        return FT_DEVICE_NOT_FOUND;
    }
    if (pArg1 == nullptr || Flags != FT_OPEN_BY_SERIAL_NUMBER) {
        return FT_INVALID_PARAMETER;
    }
    const std::string serial(static_cast<const char*>(pArg1));
    std::lock_guard<std::mutex> lock(state.mutex);
    for (const auto& bridge : state.bridges) {
        if (bridge->attached() && bridge->serial == serial) {
            return openBridge(*bridge, pHandle);
        }
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE ftHandle)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    return bridgeOf(ftHandle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR uWordLength, UCHAR uStopBits,
                                           UCHAR uParity)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge) {
        return FT_INVALID_HANDLE;
    }
    bridge->wordLength = uWordLength;
    bridge->stopBits = uStopBits;
    bridge->parity = uParity;
    return FT_OK;
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge) {
        return FT_INVALID_HANDLE;
    }
    bridge->readTimeoutMs = ReadTimeout;
    return FT_OK;
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge) {
        return FT_INVALID_HANDLE;
    }
    bridge->baudRate = BaudRate;
    return FT_OK;
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    return bridgeOf(ftHandle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpdwBytesWritten)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge || lpdwBytesWritten == nullptr) {
        return FT_INVALID_HANDLE;
    }
    *lpdwBytesWritten = 0;
    if (!bridge->attached()) {
        return FT_IO_ERROR;
    }
    if (bridge->lineAtDeviceSettings()) {
        bridge->device->hostWrote(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite);
        bridge->unplugWhenDue();
    }
    *lpdwBytesWritten = dwBytesToWrite;
    return FT_OK;
}

FT_STATUS FT_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpdwBytesReturned)
{
    if (lpdwBytesReturned == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *lpdwBytesReturned = 0;
    const auto deadline = std::chrono::steady_clock::now();
    ULONG timeoutMs = 0;
    {
        std::lock_guard<std::mutex> lock(standIn().mutex);
        Bridge* bridge = bridgeOf(ftHandle);
        if (!bridge) {
            return FT_INVALID_HANDLE;
        }
        timeoutMs = bridge->readTimeoutMs;
    }
    // Waits for the whole request or the time-out, as the driver does; the lock is let go
    // between looks so that another handle's calls are not held up.
    auto* out = static_cast<uint8_t*>(lpBuffer);
    while (true) {
        {
            std::lock_guard<std::mutex> lock(standIn().mutex);
            Bridge* bridge = bridgeOf(ftHandle);
            if (!bridge) {
                return FT_INVALID_HANDLE;
            }
            if (!bridge->attached()) {
                return FT_IO_ERROR;
            }
            bridge->collect();
            while (*lpdwBytesReturned < dwBytesToRead && !bridge->received.empty()) {
                out[(*lpdwBytesReturned)++] = bridge->received.front();
                bridge->received.pop_front();
            }
        }
        if (*lpdwBytesReturned == dwBytesToRead ||
            std::chrono::steady_clock::now() - deadline >= std::chrono::milliseconds(timeoutMs)) {
            return FT_OK;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge || dwRxBytes == nullptr) {
        return FT_INVALID_HANDLE;
    }
    bridge->collect();
    *dwRxBytes = static_cast<DWORD>(bridge->received.size());
    return FT_OK;
}

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle)
{
    std::lock_guard<std::mutex> lock(standIn().mutex);
    Bridge* bridge = bridgeOf(ftHandle);
    if (!bridge) {
        return FT_INVALID_HANDLE;
    }
    bridge->open = false;
    return FT_OK;
}

} // extern "C"

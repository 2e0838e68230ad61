// The D2XX calls of the FTDI link, provided over libftdi1. A handle is a LibftdiBridge of
// ours; handles are remembered so a call with a closed or foreign handle fails instead of
// touching freed memory.
//
// Several threads may call these functions at once, each with handles of its own. The device
// list and the set of open handles are the whole process's and are locked; so are the bridges'
// strings, which LibftdiBus keeps while each bridge stays attached. A handle belongs
// to the thread that opened it, as with the vendor's driver: its settings, reads, writes and
// its FT_Close come from that thread alone, so a bridge's own USB traffic runs without the lock
// and a read waiting on one bridge holds up no other. FT_Close takes its handle out of the set
// under the lock before deleting the bridge, so another thread's lookup never meets a bridge
// being deleted. A listing and the FT_GetDeviceInfoList that copies it belong together: the
// caller keeps other listings out in between (the links do so under MLPUsbListingLock), or
// the list it copies may have grown.

#include "d2xxapi.h"
#include "libftdibridge.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

using marlune::d2xx::LibftdiBridge;

namespace {

struct ProviderState
{
    std::mutex mutex; // guards the members below; never held while a bridge talks to its chip
    bool listBuilt = false;
    std::vector<LibftdiBridge::ListEntry> deviceList;
    std::set<LibftdiBridge*> openBridges;
};

ProviderState& providerState()
{
    static ProviderState state;
    return state;
}

LibftdiBridge* findBridge(FT_HANDLE handle)
{
    ProviderState& state = providerState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    auto* bridge = static_cast<LibftdiBridge*>(handle);
    return state.openBridges.count(bridge) != 0 ? bridge : nullptr;
}

FT_STATUS openEntry(const LibftdiBridge::ListEntry& entry, FT_HANDLE* pHandle)
{
    auto bridge = std::make_unique<LibftdiBridge>();
    const FT_STATUS status = bridge->open(entry);
    if (status != FT_OK) {
        return status;
    }
    ProviderState& state = providerState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.openBridges.insert(bridge.get());
    *pHandle = bridge.release();
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
    // Reading the strings of bridges not read before takes a while; only the new list's
    // hand-over is locked.
    std::vector<LibftdiBridge::ListEntry> attached;
    const FT_STATUS status = LibftdiBridge::listAttached(attached);
    ProviderState& state = providerState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.deviceList = std::move(attached);
    state.listBuilt = true;
    *lpdwNumDevs = static_cast<DWORD>(state.deviceList.size());
    return status;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    if (pDest == nullptr || lpdwNumDevs == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    ProviderState& state = providerState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    for (std::size_t position = 0; position < state.deviceList.size(); ++position) {
        const LibftdiBridge::ListEntry& entry = state.deviceList[position];
        // Flags and Type are left 0: nothing of ours reads them.
        FT_DEVICE_LIST_INFO_NODE& node = pDest[position];
        node = FT_DEVICE_LIST_INFO_NODE{};
        node.ID = entry.id;
        node.LocId = entry.locationId;
        copyText(entry.serialNumber, node.SerialNumber, sizeof node.SerialNumber);
        copyText(entry.description, node.Description, sizeof node.Description);
    }
    *lpdwNumDevs = static_cast<DWORD>(state.deviceList.size());
    return FT_OK;
}

FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    if (pHandle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *pHandle = nullptr;
    ProviderState& state = providerState();
    bool listBuilt = false;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        listBuilt = state.listBuilt;
    }
    // A caller may open by position without listing first, as D2XX allows.
    if (!listBuilt) {
        DWORD listed = 0;
        FT_CreateDeviceInfoList(&listed);
    }
    LibftdiBridge::ListEntry entry;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= state.deviceList.size()) {
            return FT_DEVICE_NOT_FOUND;
        }
        entry = state.deviceList[static_cast<std::size_t>(deviceNumber)];
    }
    return openEntry(entry, pHandle);
}

FT_STATUS FT_API FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle)
{
    if (pHandle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *pHandle = nullptr;
    if (Flags == FT_OPEN_BY_LOCATION) {
        // Only the bridge there is looked at: no other device is opened to read its strings.
        LibftdiBridge::ListEntry entry;
        const FT_STATUS status =
            LibftdiBridge::locate(static_cast<DWORD>(reinterpret_cast<uintptr_t>(pArg1)), entry);
        return status == FT_OK ? openEntry(entry, pHandle) : status;
    }
    if (pArg1 == nullptr || Flags != FT_OPEN_BY_SERIAL_NUMBER) {
        return FT_INVALID_PARAMETER;
    }
    const std::string serialNumber(static_cast<const char*>(pArg1));
    // A bridge without a serial number is not named by an empty one.
    const auto named = [&](const LibftdiBridge::ListEntry& entry) {
        return !entry.serialNumber.empty() && entry.serialNumber == serialNumber;
    };
    // Callers list just before they open, so the last list mostly has the bridge: found
    // there, it is opened without reading every bridge's strings again, each an open of its
    // own. The open checks that the very device listed is still there.
    std::optional<LibftdiBridge::ListEntry> listed;
    {
        ProviderState& state = providerState();
        const std::lock_guard<std::mutex> lock(state.mutex);
        const auto found = std::find_if(state.deviceList.begin(), state.deviceList.end(), named);
        if (found != state.deviceList.end()) {
            listed = *found;
        }
    }
    if (listed) {
        const FT_STATUS status = openEntry(*listed, pHandle);
        if (status != FT_DEVICE_NOT_FOUND) {
            return status;
        }
    }
    // The bridges attached now, apart from the shared device list, which another thread may
    // be rebuilding.
    std::vector<LibftdiBridge::ListEntry> attached;
    const FT_STATUS status = LibftdiBridge::listAttached(attached);
    if (status != FT_OK) {
        return status;
    }
    const auto found = std::find_if(attached.begin(), attached.end(), named);
    if (found == attached.end()) {
        return FT_DEVICE_NOT_FOUND;
    }
    return openEntry(*found, pHandle);
}

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle)
{
    std::unique_ptr<LibftdiBridge> bridge;
    {
        ProviderState& state = providerState();
        const std::lock_guard<std::mutex> lock(state.mutex);
        const auto found = state.openBridges.find(static_cast<LibftdiBridge*>(ftHandle));
        if (found == state.openBridges.end()) {
            return FT_INVALID_HANDLE;
        }
        bridge.reset(*found);
        state.openBridges.erase(found);
    }
    // Closed outside the lock: letting go of the USB device takes a while.
    bridge.reset();
    return FT_OK;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE ftHandle)
{
    LibftdiBridge* bridge = findBridge(ftHandle);
    return bridge != nullptr ? bridge->reset() : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR uWordLength, UCHAR uStopBits,
                                           UCHAR uParity)
{
    LibftdiBridge* bridge = findBridge(ftHandle);
    return bridge != nullptr ? bridge->setDataCharacteristics(uWordLength, uStopBits, uParity)
                             : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    LibftdiBridge* bridge = findBridge(ftHandle);
    return bridge != nullptr ? bridge->setTimeouts(ReadTimeout, WriteTimeout) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    LibftdiBridge* bridge = findBridge(ftHandle);
    return bridge != nullptr ? bridge->setBaudRate(BaudRate) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucTimer)
{
    LibftdiBridge* bridge = findBridge(ftHandle);
    return bridge != nullptr ? bridge->setLatencyTimer(ucTimer) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpdwBytesWritten)
{
    if (lpdwBytesWritten == nullptr || (lpBuffer == nullptr && dwBytesToWrite > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *lpdwBytesWritten = 0;
    LibftdiBridge* bridge = findBridge(ftHandle);
    if (bridge == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return bridge->write(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite, *lpdwBytesWritten);
}

FT_STATUS FT_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpdwBytesReturned)
{
    if (lpdwBytesReturned == nullptr || (lpBuffer == nullptr && dwBytesToRead > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *lpdwBytesReturned = 0;
    LibftdiBridge* bridge = findBridge(ftHandle);
    if (bridge == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return bridge->read(static_cast<uint8_t*>(lpBuffer), dwBytesToRead, *lpdwBytesReturned);
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    if (dwRxBytes == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *dwRxBytes = 0;
    LibftdiBridge* bridge = findBridge(ftHandle);
    if (bridge == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return bridge->queueStatus(*dwRxBytes);
}

} // extern "C"

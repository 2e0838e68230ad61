// The D2XX calls of the FTDI link, provided over libftdi1. A handle is a LibftdiBridge of
// ours; handles are remembered so a call with a closed or foreign handle fails instead of
// touching freed memory.
//
// One thread at a time calls these functions, so nothing here is locked. Their only callers
// are the FTDI link and this provider's tests. A link serves one worker-thread request at a
// time; the window, the command-line tool and the benchmark each run one worker thread at a
// time, and a link left at the end is deleted only after its thread has been joined. A lock
// around the handle lookup alone would not make concurrent use safe, since FT_Close deletes
// the bridge that a read on another thread may still be using: a caller with threads of its
// own must hold one lock around every call.

#include "d2xxapi.h"
#include "libftdibridge.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

using marlune::d2xx::LibftdiBridge;

namespace {

struct ProviderState
{
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
    auto* bridge = static_cast<LibftdiBridge*>(handle);
    return providerState().openBridges.count(bridge) != 0 ? bridge : nullptr;
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
    ProviderState& state = providerState();
    const FT_STATUS status = LibftdiBridge::listAttached(state.deviceList);
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
    for (std::size_t position = 0; position < state.deviceList.size(); ++position) {
        const LibftdiBridge::ListEntry& entry = state.deviceList[position];
        // Flags, Type and LocId are left 0: nothing of ours reads them.
        FT_DEVICE_LIST_INFO_NODE& node = pDest[position];
        node = FT_DEVICE_LIST_INFO_NODE{};
        node.ID = entry.id;
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
    // A caller may open by position without listing first, as D2XX allows.
    if (!state.listBuilt) {
        LibftdiBridge::listAttached(state.deviceList);
        state.listBuilt = true;
    }
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= state.deviceList.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    auto bridge = std::make_unique<LibftdiBridge>();
    const FT_STATUS status = bridge->open(state.deviceList[static_cast<std::size_t>(deviceNumber)]);
    if (status != FT_OK) {
        return status;
    }
    state.openBridges.insert(bridge.get());
    *pHandle = bridge.release();
    return FT_OK;
}

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle)
{
    ProviderState& state = providerState();
    const auto found = state.openBridges.find(static_cast<LibftdiBridge*>(ftHandle));
    if (found == state.openBridges.end()) {
        return FT_INVALID_HANDLE;
    }
    const std::unique_ptr<LibftdiBridge> bridge(*found);
    state.openBridges.erase(found);
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

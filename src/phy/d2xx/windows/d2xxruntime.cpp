// The D2XX calls of the FTDI link on Windows, forwarded to the FTDI driver's own library,
// which is loaded when first needed. Nothing of the vendor's is needed to build the program,
// and a PC without the FTDI driver still runs it: every call then fails as a library with no
// bridge attached would, and d2xxLibraryLoaded() tells the front ends why no bridge is listed.

#include "d2xxapi.h"
#include "d2xxlibrary.h"

#include <windows.h>

#include <mutex>

namespace {

constexpr wchar_t kLibraryName[] = L"ftd2xx.dll";

using CreateDeviceInfoListFunction = FT_STATUS(FT_API*)(LPDWORD);
using GetDeviceInfoListFunction = FT_STATUS(FT_API*)(FT_DEVICE_LIST_INFO_NODE*, LPDWORD);
using OpenFunction = FT_STATUS(FT_API*)(int, FT_HANDLE*);
using OpenExFunction = FT_STATUS(FT_API*)(PVOID, DWORD, FT_HANDLE*);
using HandleFunction = FT_STATUS(FT_API*)(FT_HANDLE);
using SetDataCharacteristicsFunction = FT_STATUS(FT_API*)(FT_HANDLE, UCHAR, UCHAR, UCHAR);
using SetTimeoutsFunction = FT_STATUS(FT_API*)(FT_HANDLE, ULONG, ULONG);
using SetBaudRateFunction = FT_STATUS(FT_API*)(FT_HANDLE, ULONG);
using TransferFunction = FT_STATUS(FT_API*)(FT_HANDLE, LPVOID, DWORD, LPDWORD);
using GetQueueStatusFunction = FT_STATUS(FT_API*)(FT_HANDLE, DWORD*);
using SetLatencyTimerFunction = FT_STATUS(FT_API*)(FT_HANDLE, UCHAR);

// Every entry the link uses; the library counts as loaded only when all of them resolve,
// so no call below meets a null entry of a library that is there.
struct Library
{
    CreateDeviceInfoListFunction createDeviceInfoList = nullptr;
    GetDeviceInfoListFunction getDeviceInfoList = nullptr;
    OpenFunction open = nullptr;
    OpenExFunction openEx = nullptr;
    HandleFunction resetDevice = nullptr;
    SetDataCharacteristicsFunction setDataCharacteristics = nullptr;
    SetTimeoutsFunction setTimeouts = nullptr;
    SetBaudRateFunction setBaudRate = nullptr;
    TransferFunction write = nullptr;
    TransferFunction read = nullptr;
    GetQueueStatusFunction getQueueStatus = nullptr;
    SetLatencyTimerFunction setLatencyTimer = nullptr;
    HandleFunction close = nullptr;
    bool loaded = false;
};

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& entry)
{
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return entry != nullptr;
}

Library loadLibrary()
{
    Library library;
    // Only the application's folder and the system folders: a library of that name in the
    // working directory must not be picked up.
    HMODULE module = LoadLibraryExW(kLibraryName, nullptr,
                                    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return library;
    }
    const bool complete =
        resolve(module, "FT_CreateDeviceInfoList", library.createDeviceInfoList) &&
        resolve(module, "FT_GetDeviceInfoList", library.getDeviceInfoList) &&
        resolve(module, "FT_Open", library.open) && resolve(module, "FT_OpenEx", library.openEx) &&
        resolve(module, "FT_ResetDevice", library.resetDevice) &&
        resolve(module, "FT_SetDataCharacteristics", library.setDataCharacteristics) &&
        resolve(module, "FT_SetTimeouts", library.setTimeouts) &&
        resolve(module, "FT_SetBaudRate", library.setBaudRate) &&
        resolve(module, "FT_Write", library.write) && resolve(module, "FT_Read", library.read) &&
        resolve(module, "FT_GetQueueStatus", library.getQueueStatus) &&
        resolve(module, "FT_SetLatencyTimer", library.setLatencyTimer) &&
        resolve(module, "FT_Close", library.close);
    if (!complete) {
        FreeLibrary(module);
        return Library();
    }
    // Kept loaded for the life of the process: open handles belong to it.
    library.loaded = true;
    return library;
}

const Library& library()
{
    static std::once_flag loadOnce;
    static Library loadedLibrary;
    std::call_once(loadOnce, [] { loadedLibrary = loadLibrary(); });
    return loadedLibrary;
}

} // namespace

bool marlune::d2xx::d2xxLibraryLoaded()
{
    return library().loaded;
}

extern "C" {

FT_STATUS FT_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    if (!library().loaded) {
        if (lpdwNumDevs != nullptr) {
            *lpdwNumDevs = 0;
        }
        return FT_DEVICE_NOT_FOUND;
    }
    return library().createDeviceInfoList(lpdwNumDevs);
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    if (!library().loaded) {
        if (lpdwNumDevs != nullptr) {
            *lpdwNumDevs = 0;
        }
        return FT_DEVICE_NOT_FOUND;
    }
    return library().getDeviceInfoList(pDest, lpdwNumDevs);
}

FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    return library().loaded ? library().open(deviceNumber, pHandle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS FT_API FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle)
{
    return library().loaded ? library().openEx(pArg1, Flags, pHandle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE ftHandle)
{
    return library().loaded ? library().resetDevice(ftHandle) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR uWordLength, UCHAR uStopBits,
                                           UCHAR uParity)
{
    return library().loaded ? library().setDataCharacteristics(ftHandle, uWordLength, uStopBits, uParity)
                            : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    return library().loaded ? library().setTimeouts(ftHandle, ReadTimeout, WriteTimeout) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    return library().loaded ? library().setBaudRate(ftHandle, BaudRate) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpdwBytesWritten)
{
    return library().loaded ? library().write(ftHandle, lpBuffer, dwBytesToWrite, lpdwBytesWritten)
                            : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpdwBytesReturned)
{
    return library().loaded ? library().read(ftHandle, lpBuffer, dwBytesToRead, lpdwBytesReturned)
                            : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    return library().loaded ? library().getQueueStatus(ftHandle, dwRxBytes) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucTimer)
{
    return library().loaded ? library().setLatencyTimer(ftHandle, ucTimer) : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle)
{
    return library().loaded ? library().close(ftHandle) : FT_INVALID_HANDLE;
}

} // extern "C"

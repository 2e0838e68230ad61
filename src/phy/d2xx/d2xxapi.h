#pragma once

// The part of the D2XX driver interface the FTDI link uses, with D2XX's own names, types
// and signatures. Whatever provides these functions is chosen when the program is linked:
// our libftdi1 provider, the vendor's library, or a test's recording provider. The link
// code includes only this header and cannot tell them apart.

#include <cstdint>

#ifdef _WIN32
// The vendor's Windows library uses the system's calling convention and 32-bit "long"s;
// spelling the types as windows.h does keeps both headers usable in one translation unit.
#define FT_API __stdcall
typedef unsigned long DWORD;
typedef unsigned long ULONG;
#else
#define FT_API
typedef uint32_t DWORD;
typedef uint32_t ULONG;
#endif

typedef unsigned char UCHAR;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef void* PVOID;
typedef void* FT_HANDLE;
typedef ULONG FT_STATUS;

enum : FT_STATUS
{
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
};

enum : UCHAR
{
    FT_BITS_8 = 8,
    FT_BITS_7 = 7,
};

enum : UCHAR
{
    FT_STOP_BITS_1 = 0,
    FT_STOP_BITS_2 = 2,
};

enum : UCHAR
{
    FT_PARITY_NONE = 0,
    FT_PARITY_ODD = 1,
    FT_PARITY_EVEN = 2,
    FT_PARITY_MARK = 3,
    FT_PARITY_SPACE = 4,
};

// How FT_OpenEx names the bridge to open.
enum : DWORD
{
    FT_OPEN_BY_SERIAL_NUMBER = 1,
    FT_OPEN_BY_LOCATION = 4,
};

// Flags of a device-information list node. An open bridge is listed with its USB ids but
// without its description and serial number, which the driver cannot read while another
// handle holds it.
enum : ULONG
{
    FT_FLAGS_OPENED = 1,
};

// One entry of the device-information list; Description and SerialNumber are
// zero-terminated within their arrays. LocId is the bridge's location id (see FT_OpenEx), 0
// where the driver gives none; an opened bridge is listed with it too.
struct FT_DEVICE_LIST_INFO_NODE
{
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

extern "C" {

// Builds the list of attached bridges and reports its length. Later calls of
// FT_GetDeviceInfoList and FT_Open refer to this list.
FT_STATUS FT_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs);

// Copies the list built by FT_CreateDeviceInfoList into pDest, which must have room for as
// many nodes as that call reported, and sets *lpdwNumDevs to the number copied.
FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs);

// Opens the bridge at a position of the device-information list.
FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* pHandle);

// Opens the bridge that pArg1 names, whatever the device-information list holds; with
// FT_OPEN_BY_SERIAL_NUMBER, pArg1 is its zero-terminated serial number; with
// FT_OPEN_BY_LOCATION, pArg1 is not a pointer but the location id itself (LocId of its node):
// where the bridge sits on the bus, one hexadecimal digit per level, bus first.
FT_STATUS FT_API FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle);

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE ftHandle);
FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR uWordLength, UCHAR uStopBits,
                                           UCHAR uParity);
FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout);
FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate);

// Sends bytes; *lpdwBytesWritten tells how many went out before the write time-out.
FT_STATUS FT_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                          LPDWORD lpdwBytesWritten);

// Waits until dwBytesToRead bytes have arrived or the read time-out has passed and hands out
// what came; a read that ends by time-out still answers FT_OK.
FT_STATUS FT_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpdwBytesReturned);

// Sets *dwRxBytes to the number of received bytes that a read would hand out without waiting.
FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);

// How long, in milliseconds (2 to 255), the bridge holds back received bytes that do not
// fill a USB packet before it sends them to the host.
FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucTimer);

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle);

} // extern "C"

#include "recordingd2xx.h"

#include "d2xxapi.h"
#include "deviceendpoint.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace marlune::testing {

RecordingD2xx& RecordingD2xx::instance()
{
    static RecordingD2xx provider;
    return provider;
}

void RecordingD2xx::reset()
{
    for (Handle* handle : m_openHandles) {
        delete handle;
    }
    m_openHandles.clear();
    m_bridges.clear();
    m_list.clear();
    m_calls.clear();
}

int RecordingD2xx::addBridge(const QByteArray& description, DeviceEndpoint* endpoint)
{
    Bridge bridge;
    bridge.description = description;
    bridge.endpoint = endpoint;
    m_bridges.push_back(bridge);
    return static_cast<int>(m_bridges.size()) - 1;
}

void RecordingD2xx::setSerialNumber(int bridge, const QByteArray& serialNumber)
{
    m_bridges[static_cast<std::size_t>(bridge)].serialNumber = serialNumber;
}

void RecordingD2xx::setLocationId(int bridge, uint32_t locationId)
{
    m_bridges[static_cast<std::size_t>(bridge)].locationId = locationId;
}

void RecordingD2xx::unplug(int bridge)
{
    m_bridges[static_cast<std::size_t>(bridge)].attached = false;
}

void RecordingD2xx::refuseOpen(int bridge)
{
    m_bridges[static_cast<std::size_t>(bridge)].opens = false;
}

void RecordingD2xx::holdElsewhere(int number, uint32_t usbIds)
{
    Bridge& bridge = m_bridges[static_cast<std::size_t>(number)];
    bridge.heldElsewhere = true;
    bridge.opens = false;
    bridge.usbIds = usbIds;
}

void RecordingD2xx::limitWrites(int bridge, const QVector<uint32_t>& bytesPerCall)
{
    m_bridges[static_cast<std::size_t>(bridge)].writeLimits.assign(bytesPerCall.begin(), bytesPerCall.end());
}

void RecordingD2xx::failWrites(int bridge, uint32_t status)
{
    m_bridges[static_cast<std::size_t>(bridge)].writeStatus = status;
}

int RecordingD2xx::callCount(const QString& callPrefix) const
{
    return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(),
                                          [&](const QString& call) { return call.startsWith(callPrefix); }));
}

RecordingD2xx::Handle* RecordingD2xx::findHandle(void* handle) const
{
    auto* candidate = static_cast<Handle*>(handle);
    return m_openHandles.count(candidate) != 0 ? candidate : nullptr;
}

int RecordingD2xx::createList()
{
    m_list.clear();
    for (std::size_t bridge = 0; bridge < m_bridges.size(); ++bridge) {
        if (m_bridges[bridge].attached) {
            m_list.push_back(static_cast<int>(bridge));
        }
    }
    return listedCount();
}

RecordingD2xx::Handle* RecordingD2xx::openListed(int position)
{
    if (position < 0 || position >= listedCount()) {
        return nullptr;
    }
    return openBridge(m_list[static_cast<std::size_t>(position)]);
}

RecordingD2xx::Handle* RecordingD2xx::openBySerialNumber(const QByteArray& serialNumber)
{
    for (std::size_t bridge = 0; bridge < m_bridges.size(); ++bridge) {
        if (m_bridges[bridge].attached && !serialNumber.isEmpty() &&
            m_bridges[bridge].serialNumber == serialNumber) {
            return openBridge(static_cast<int>(bridge));
        }
    }
    return nullptr;
}

RecordingD2xx::Handle* RecordingD2xx::openByLocation(uint32_t locationId)
{
    for (std::size_t bridge = 0; bridge < m_bridges.size(); ++bridge) {
        if (m_bridges[bridge].attached && locationId != 0 && m_bridges[bridge].locationId == locationId) {
            return openBridge(static_cast<int>(bridge));
        }
    }
    return nullptr;
}

RecordingD2xx::Handle* RecordingD2xx::openBridge(int bridge)
{
    if (!m_bridges[static_cast<std::size_t>(bridge)].opens) {
        return nullptr;
    }
    auto* handle = new Handle{bridge, {}};
    m_openHandles.insert(handle);
    return handle;
}

bool RecordingD2xx::closeHandle(void* handle)
{
    Handle* open = findHandle(handle);
    if (open == nullptr) {
        return false;
    }
    m_openHandles.erase(open);
    delete open;
    return true;
}

} // namespace marlune::testing

using marlune::testing::RecordingD2xx;

namespace {

QString hexBytes(const void* data, DWORD length)
{
    return QString::fromLatin1(
        QByteArray(static_cast<const char*>(data), static_cast<int>(length)).toHex(' '));
}

// Logs the call and finds its handle; a call without an open handle is logged as such.
RecordingD2xx::Handle* recordHandleCall(FT_HANDLE ftHandle, const QString& call)
{
    RecordingD2xx& provider = RecordingD2xx::instance();
    RecordingD2xx::Handle* handle = provider.findHandle(ftHandle);
    provider.record(handle != nullptr ? call : call + QStringLiteral(" without device"));
    return handle;
}

} // namespace

extern "C" {

FT_STATUS FT_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    RecordingD2xx& provider = RecordingD2xx::instance();
    provider.record(QStringLiteral("FT_CreateDeviceInfoList"));
    *lpdwNumDevs = static_cast<DWORD>(provider.createList());
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    RecordingD2xx& provider = RecordingD2xx::instance();
    provider.record(QStringLiteral("FT_GetDeviceInfoList"));
    for (int position = 0; position < provider.listedCount(); ++position) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[position];
        node = FT_DEVICE_LIST_INFO_NODE{};
        node.LocId = provider.bridgeAt(position).locationId;
        if (provider.bridgeAt(position).heldElsewhere) {
            node.Flags = FT_FLAGS_OPENED;
            node.ID = provider.bridgeAt(position).usbIds;
            continue;
        }
        const QByteArray& description = provider.bridgeAt(position).description;
        std::memcpy(node.Description, description.constData(),
                    std::min(sizeof node.Description, static_cast<std::size_t>(description.size())));
        const QByteArray& serialNumber = provider.bridgeAt(position).serialNumber;
        std::memcpy(node.SerialNumber, serialNumber.constData(),
                    std::min(sizeof node.SerialNumber - 1, static_cast<std::size_t>(serialNumber.size())));
    }
    *lpdwNumDevs = static_cast<DWORD>(provider.listedCount());
    return FT_OK;
}

FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    RecordingD2xx& provider = RecordingD2xx::instance();
    provider.record(QStringLiteral("FT_Open(%1)").arg(deviceNumber));
    *pHandle = provider.openListed(deviceNumber);
    return *pHandle != nullptr ? FT_OK : FT_DEVICE_NOT_OPENED;
}

FT_STATUS FT_API FT_OpenEx(PVOID pArg1, DWORD Flags, FT_HANDLE* pHandle)
{
    RecordingD2xx& provider = RecordingD2xx::instance();
    *pHandle = nullptr;
    if (Flags == FT_OPEN_BY_LOCATION) {
        const auto locationId = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pArg1));
        provider.record(QStringLiteral("FT_OpenEx(location 0x%1)").arg(locationId, 0, 16));
        *pHandle = provider.openByLocation(locationId);
        return *pHandle != nullptr ? FT_OK : FT_DEVICE_NOT_OPENED;
    }
    const QByteArray serialNumber(static_cast<const char*>(pArg1));
    provider.record(QStringLiteral("FT_OpenEx(%1)").arg(QString::fromLatin1(serialNumber)));
    if (Flags != FT_OPEN_BY_SERIAL_NUMBER) {
        return FT_INVALID_PARAMETER;
    }
    *pHandle = provider.openBySerialNumber(serialNumber);
    return *pHandle != nullptr ? FT_OK : FT_DEVICE_NOT_OPENED;
}

FT_STATUS FT_API FT_Close(FT_HANDLE ftHandle)
{
    recordHandleCall(ftHandle, QStringLiteral("FT_Close"));
    return RecordingD2xx::instance().closeHandle(ftHandle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE ftHandle)
{
    return recordHandleCall(ftHandle, QStringLiteral("FT_ResetDevice")) != nullptr ? FT_OK
                                                                                   : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR uWordLength, UCHAR uStopBits,
                                           UCHAR uParity)
{
    const QString call =
        QStringLiteral("FT_SetDataCharacteristics(%1, %2, %3)").arg(uWordLength).arg(uStopBits).arg(uParity);
    return recordHandleCall(ftHandle, call) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    const QString call = QStringLiteral("FT_SetTimeouts(%1, %2)").arg(ReadTimeout).arg(WriteTimeout);
    return recordHandleCall(ftHandle, call) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    const QString call = QStringLiteral("FT_SetBaudRate(%1)").arg(BaudRate);
    return recordHandleCall(ftHandle, call) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS FT_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpdwBytesWritten)
{
    *lpdwBytesWritten = 0;
    RecordingD2xx::Handle* handle =
        recordHandleCall(ftHandle, QStringLiteral("FT_Write(%1)").arg(hexBytes(lpBuffer, dwBytesToWrite)));
    if (handle == nullptr) {
        return FT_INVALID_HANDLE;
    }
    RecordingD2xx::Bridge& bridge = RecordingD2xx::instance().bridgeOf(*handle);
    if (bridge.writeStatus != FT_OK) {
        return bridge.writeStatus;
    }
    DWORD accepted = dwBytesToWrite;
    if (!bridge.writeLimits.empty()) {
        accepted = std::min<DWORD>(accepted, bridge.writeLimits.front());
        bridge.writeLimits.pop_front();
    }
    if (bridge.endpoint != nullptr && accepted > 0) {
        bridge.endpoint->hostWrote(static_cast<const uint8_t*>(lpBuffer), accepted);
    }
    *lpdwBytesWritten = accepted;
    return FT_OK;
}

FT_STATUS FT_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpdwBytesReturned)
{
    *lpdwBytesReturned = 0;
    RecordingD2xx::Handle* handle =
        recordHandleCall(ftHandle, QStringLiteral("FT_Read(%1)").arg(dwBytesToRead));
    if (handle == nullptr) {
        return FT_INVALID_HANDLE;
    }
    auto* buffer = static_cast<uint8_t*>(lpBuffer);
    const auto fromQueue = std::min<DWORD>(dwBytesToRead, static_cast<DWORD>(handle->received.size()));
    std::memcpy(buffer, handle->received.constData(), fromQueue);
    handle->received.remove(0, static_cast<int>(fromQueue));
    DWORD returned = fromQueue;
    RecordingD2xx::Bridge& bridge = RecordingD2xx::instance().bridgeOf(*handle);
    if (bridge.endpoint != nullptr && returned < dwBytesToRead) {
        returned +=
            static_cast<DWORD>(bridge.endpoint->readForHost(buffer + returned, dwBytesToRead - returned));
    }
    *lpdwBytesReturned = returned;
    return FT_OK;
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    *dwRxBytes = 0;
    RecordingD2xx::Handle* handle = recordHandleCall(ftHandle, QStringLiteral("FT_GetQueueStatus"));
    if (handle == nullptr) {
        return FT_INVALID_HANDLE;
    }
    RecordingD2xx::Bridge& bridge = RecordingD2xx::instance().bridgeOf(*handle);
    if (bridge.endpoint != nullptr) {
        uint8_t ready[64];
        for (std::size_t count = bridge.endpoint->readForHost(ready, sizeof ready); count > 0;
             count = bridge.endpoint->readForHost(ready, sizeof ready)) {
            handle->received.append(reinterpret_cast<const char*>(ready), static_cast<int>(count));
        }
    }
    *dwRxBytes = static_cast<DWORD>(handle->received.size());
    return FT_OK;
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucTimer)
{
    const QString call = QStringLiteral("FT_SetLatencyTimer(%1)").arg(ucTimer);
    return recordHandleCall(ftHandle, call) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

} // extern "C"

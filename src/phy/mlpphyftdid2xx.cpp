#include "mlpphyftdid2xx.h"

#include "mlpphyaddress.h"
#include "mlpusblistinglock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

namespace marlune::MLP {

namespace {

// A zero byte at the break rate holds the line low for nine bit times of 38 400 baud,
// about 234 µs: long enough to count as a DMX512 break at the working rate.
constexpr uint8_t kBreakByte = 0x00;
// DMX512-A alternate start code for manufacturer packets, then the manufacturer id.
constexpr uint8_t kStartSequence[] = {0x91, 0x4D, 0x6C, 0x01};

// How many driver lists the process has built, or may have: counted under MLPUsbListingLock.
uint64_t& driverListsBuilt()
{
    static uint64_t count = 0;
    return count;
}

// With the listing lock held.
std::vector<FT_DEVICE_LIST_INFO_NODE> takeDriverList()
{
    DWORD deviceCount = 0;
    FT_CreateDeviceInfoList(&deviceCount);
    ++driverListsBuilt();
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(deviceCount);
    if (deviceCount > 0) {
        FT_GetDeviceInfoList(nodes.data(), &deviceCount);
    }
    nodes.resize(std::min<std::size_t>(deviceCount, nodes.size()));
    return nodes;
}

template <std::size_t Size>
std::string textOf(const char (&field)[Size])
{
    return std::string(field, std::find(field, field + Size, '\0'));
}

bool sameBridge(const FT_DEVICE_LIST_INFO_NODE& listed, const FT_DEVICE_LIST_INFO_NODE& now)
{
    return listed.ID == now.ID && listed.LocId == now.LocId &&
           textOf(listed.SerialNumber) == textOf(now.SerialNumber) &&
           textOf(listed.Description) == textOf(now.Description);
}

} // namespace

MLPPhyFtdiD2xx::MLPPhyFtdiD2xx() = default;

MLPPhyFtdiD2xx::~MLPPhyFtdiD2xx()
{
    if (m_handle != nullptr) {
        FT_Close(m_handle);
        m_handle = nullptr;
    }
}

void MLPPhyFtdiD2xx::open(const std::string& address)
{
    const auto index = MLPPhyAddress::ftdi().parseIndex(address);
    if (!index) {
        close();
        return;
    }
    openIndex(*index);
}

void MLPPhyFtdiD2xx::openIndex(int32_t index)
{
    if (!m_enumerated) {
        enumerate();
    }
    close();
    m_openRefused = false;
    if (index < 0 || static_cast<std::size_t>(index) >= m_listIndices.size()) {
        return;
    }
    const int32_t position = m_listIndices[static_cast<std::size_t>(index)];
    {
        const MLPUsbListingLock listing;
        const FT_DEVICE_LIST_INFO_NODE& listed = m_listed[static_cast<std::size_t>(position)];
        std::string serialNumber = textOf(listed.SerialNumber);
        if (namesOneBridge(serialNumber)) {
            // The driver may build its list anew to find the serial number.
            ++driverListsBuilt();
            m_openRefused = FT_OpenEx(serialNumber.data(), FT_OPEN_BY_SERIAL_NUMBER, &m_handle) != FT_OK;
        } else if (namesOnePlace(listed.LocId)) {
            // No serial number of its own: where it sits on the bus names it, whatever the list
            // holds now. D2XX takes the location id itself in place of a pointer.
            ++driverListsBuilt();
            m_openRefused = FT_OpenEx(reinterpret_cast<PVOID>(static_cast<uintptr_t>(listed.LocId)),
                                      FT_OPEN_BY_LOCATION, &m_handle) != FT_OK;
        } else if (positionStillHolds(static_cast<std::size_t>(position))) {
            m_openRefused = FT_Open(position, &m_handle) != FT_OK;
        } else {
            return;
        }
    }
    FT_ResetDevice(m_handle);
    // A failed step does not stop the next: each open starts the line afresh, and a device
    // that did not get it simply stays silent.
    setDataCharacteristics();
    setTimeouts();
    sendBreak();
    sendStartSequence();
    // Only for speed, so after the line set-up: a bridge that refuses it answers late, not wrongly.
    FT_SetLatencyTimer(m_handle, kLatencyTimerMs);
}

void MLPPhyFtdiD2xx::close()
{
    if (m_handle != nullptr) {
        FT_Close(m_handle);
        m_handle = nullptr;
    }
    // Bytes read from this bridge must not be handed out as if the next one had sent them.
    m_rxCount = 0;
    m_rxPos = 0;
}

MLPPhyReadResult MLPPhyFtdiD2xx::readByte()
{
    if (m_rxCount == 0) {
        m_rxPos = 0;
        // Bytes the bridge already holds are read without waiting. Only when it holds none
        // does the chunk read wait, until a whole chunk came or the read time-out passed:
        // asked for a whole chunk while fewer bytes were there, it would wait out the time-out
        // with the end of an answer in hand.
        DWORD bytesQueued = 0;
        if (FT_GetQueueStatus(m_handle, &bytesQueued) != FT_OK) {
            bytesQueued = 0;
        }
        const DWORD bytesToRead =
            bytesQueued > 0 ? std::min<DWORD>(bytesQueued, kReadChunkBytes) : kReadChunkBytes;
        DWORD bytesReturned = 0;
        // Without an open bridge the calls fail and return nothing, which reads as empty.
        FT_Read(m_handle, m_rxBuffer.data(), bytesToRead, &bytesReturned);
        m_rxCount = bytesReturned;
        if (m_rxCount == 0) {
            return MLPPhyReadResult{0, 1};
        }
    }
    const uint8_t value = m_rxBuffer[m_rxPos];
    ++m_rxPos;
    --m_rxCount;
    return MLPPhyReadResult{value, 0};
}

bool MLPPhyFtdiD2xx::write(const uint8_t* data, uint32_t length)
{
    m_lastError = FT_OK;
    if (length == 0) {
        return true;
    }
    const uint8_t* position = data;
    uint32_t remainingBytes = length;
    // A partial write is continued where it stopped, within the calls one write may take.
    for (uint32_t call = 0; call < kWriteCalls; ++call) {
        DWORD bytesWritten = 0;
        const FT_STATUS status =
            FT_Write(m_handle, const_cast<uint8_t*>(position), remainingBytes, &bytesWritten);
        if (status != FT_OK) {
            // A bridge that reports a failure (unplugged, its driver gone) takes nothing
            // more; asking again would only spend the time of another call.
            m_lastError = static_cast<int32_t>(status);
            return false;
        }
        if (bytesWritten >= remainingBytes) {
            return true;
        }
        position += bytesWritten;
        remainingBytes -= bytesWritten;
    }
    m_lastError = kWriteStalledError;
    return false;
}

int32_t MLPPhyFtdiD2xx::lastError()
{
    return m_lastError;
}

std::string MLPPhyFtdiD2xx::errorString(int32_t code)
{
    switch (code) {
    case FT_OK:
        return "FT_OK";
    case FT_INVALID_HANDLE:
        return "FT_INVALID_HANDLE";
    case FT_DEVICE_NOT_FOUND:
        return "FT_DEVICE_NOT_FOUND";
    case FT_DEVICE_NOT_OPENED:
        return "FT_DEVICE_NOT_OPENED";
    case FT_IO_ERROR:
        return "FT_IO_ERROR";
    case FT_INSUFFICIENT_RESOURCES:
        return "FT_INSUFFICIENT_RESOURCES";
    case FT_INVALID_PARAMETER:
        return "FT_INVALID_PARAMETER";
    case FT_INVALID_BAUD_RATE:
        return "FT_INVALID_BAUD_RATE";
    case kWriteStalledError:
        return "write stalled";
    default:
        break;
    }
    return "FT_STATUS " + std::to_string(code);
}

bool MLPPhyFtdiD2xx::setDataCharacteristics()
{
    return FT_SetDataCharacteristics(m_handle, kDataBits, kStopBits, kParity) == FT_OK;
}

bool MLPPhyFtdiD2xx::setTimeouts()
{
    return FT_SetTimeouts(m_handle, kReadTimeoutMs, kWriteTimeoutMs) == FT_OK;
}

bool MLPPhyFtdiD2xx::sendBreak()
{
    if (FT_SetBaudRate(m_handle, kBreakBaudRate) != FT_OK) {
        return false;
    }
    uint8_t breakByte = kBreakByte;
    DWORD bytesWritten = 0;
    if (FT_Write(m_handle, &breakByte, sizeof breakByte, &bytesWritten) != FT_OK) {
        return false;
    }
    return FT_SetBaudRate(m_handle, kWorkingBaudRate) == FT_OK;
}

bool MLPPhyFtdiD2xx::sendStartSequence()
{
    uint8_t startSequence[sizeof kStartSequence];
    std::copy(std::begin(kStartSequence), std::end(kStartSequence), startSequence);
    DWORD bytesWritten = 0;
    return FT_Write(m_handle, startSequence, sizeof startSequence, &bytesWritten) == FT_OK;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> MLPPhyFtdiD2xx::listDevices()
{
    const MLPUsbListingLock listing;
    m_listed = takeDriverList();
    m_listNumber = driverListsBuilt();
    return m_listed;
}

bool MLPPhyFtdiD2xx::positionStillHolds(std::size_t position)
{
    if (m_listNumber == driverListsBuilt()) {
        return true;
    }
    // Another list has been built since: the position holds if the list taken now has as
    // many bridges and the same one there. A bridge plugged in or out shifts the positions; a
    // bridge that another handle opened meanwhile is listed without its strings and is left
    // alone too.
    const std::vector<FT_DEVICE_LIST_INFO_NODE> now = takeDriverList();
    if (now.size() != m_listed.size() || !sameBridge(m_listed[position], now[position])) {
        return false;
    }
    m_listNumber = driverListsBuilt();
    return true;
}

bool MLPPhyFtdiD2xx::namesOneBridge(const std::string& serialNumber) const
{
    return !serialNumber.empty() &&
           std::count_if(m_listed.begin(), m_listed.end(), [&](const FT_DEVICE_LIST_INFO_NODE& node) {
               return textOf(node.SerialNumber) == serialNumber;
           }) == 1;
}

bool MLPPhyFtdiD2xx::namesOnePlace(DWORD locationId) const
{
    return locationId != 0 &&
           std::count_if(m_listed.begin(), m_listed.end(),
                         [&](const FT_DEVICE_LIST_INFO_NODE& node) { return node.LocId == locationId; }) == 1;
}

void MLPPhyFtdiD2xx::setListIndices(std::vector<int32_t> listIndices)
{
    m_listIndices = std::move(listIndices);
    m_enumerated = true;
}

} // namespace marlune::MLP

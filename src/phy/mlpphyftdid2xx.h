#pragma once

#include "d2xxapi.h"
#include "mlpphyftdii.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace marlune::MLP {

// An FTDI link over the D2XX calls: opens a bridge of the accepted list, sets up a DMX512
// line (250 000 baud 8N2, break, manufacturer start code) and carries MLP bytes over it.
// Which bridges are accepted is left to the concrete link's `enumerate`.
//
// Links on several threads share the driver's one device-information list, which every
// listing rebuilds. So a link lists under MLPUsbListingLock and opens a bridge by its serial
// number, which names it wherever it is listed now. A bridge without one (or whose serial
// number the list shows twice) is opened by its location id, where it sits on the bus. Only a
// bridge the driver gives no location either is opened by its position; that happens under
// the same lock, and only while the driver's list is the one this link took, or a new one
// with as many bridges and the same bridge at that position.
class MLPPhyFtdiD2xx : public MLPPhyFtdiI
{
public:
    static constexpr UCHAR kDataBits = FT_BITS_8;
    static constexpr UCHAR kStopBits = FT_STOP_BITS_2;
    static constexpr UCHAR kParity = FT_PARITY_NONE;
    static constexpr ULONG kReadTimeoutMs = 100;
    static constexpr ULONG kWriteTimeoutMs = 2000;
    // How long one write() may take in all. Each FT_Write call waits at most the write
    // time-out, so a write gets this many calls: a bridge that stops taking bytes ends the
    // write, and with it the update, within this time instead of holding the worker thread
    // (and the window) for one time-out per byte. A whole 65535-byte frame takes under
    // 3 s on the 250 000 baud line, so a bridge that takes bytes at all is never cut short.
    static constexpr ULONG kWriteTotalTimeoutMs = 10000;
    static constexpr uint32_t kWriteCalls = kWriteTotalTimeoutMs / kWriteTimeoutMs;
    static_assert(kWriteTotalTimeoutMs % kWriteTimeoutMs == 0, "whole write time-outs only");
    // What lastError() reports after a write the bridge took too little of in
    // kWriteTotalTimeoutMs although every call answered FT_OK; beyond D2XX's own statuses.
    static constexpr int32_t kWriteStalledError = 0x100;
    static constexpr ULONG kBreakBaudRate = 38400;
    static constexpr ULONG kWorkingBaudRate = 250000;
    static constexpr uint32_t kReadChunkBytes = 10;
    // The bridge holds back received bytes that do not fill a USB packet until its latency
    // timer runs out, 16 ms from power-up: every acknowledgement would wait up to that long,
    // more than a whole 100-byte frame takes on the wire. 2 ms is the shortest D2XX accepts.
    static constexpr UCHAR kLatencyTimerMs = 2;

    MLPPhyFtdiD2xx();
    ~MLPPhyFtdiD2xx() override;

    MLPPhyFtdiD2xx(const MLPPhyFtdiD2xx&) = delete;
    MLPPhyFtdiD2xx& operator=(const MLPPhyFtdiD2xx&) = delete;

    void open(const std::string& address) override;
    void close() override;
    MLPPhyReadResult readByte() override;
    bool write(const uint8_t* data, uint32_t length) override;
    // The D2XX status of the call that ended the last failed write, or kWriteStalledError;
    // FT_OK after a write that succeeded.
    int32_t lastError() override;
    // D2XX's name for a status ("FT_IO_ERROR"), as its documentation spells it.
    std::string errorString(int32_t code) override;

    // Opens the bridge at `index` of the accepted list. Nothing is opened when the bridge has
    // no serial number of its own and the driver's list has changed around its position since.
    void openIndex(int32_t index) override;
    // Whether the driver refused to open the bridge of the last openIndex: another program
    // holds it, since the list still has it.
    bool openRefused() const { return m_openRefused; }

protected:
    // Each answers true when every library call in it answered FT_OK.
    virtual bool setDataCharacteristics();
    virtual bool sendStartSequence();
    virtual bool sendBreak();
    virtual bool setTimeouts();

    // Takes the driver's device-information list, under the listing lock, as this link's list.
    std::vector<FT_DEVICE_LIST_INFO_NODE> listDevices();
    // Records the accepted bridges as positions in the list listDevices() returned last.
    void setListIndices(std::vector<int32_t> listIndices);

private:
    // With the listing lock held: whether the driver's list still has this link's bridge at
    // `position`, taking the list again if another has been built since this link's.
    bool positionStillHolds(std::size_t position);
    // Whether a serial number names exactly one bridge of this link's list.
    bool namesOneBridge(const std::string& serialNumber) const;
    // Whether a location id names exactly one bridge of this link's list.
    bool namesOnePlace(DWORD locationId) const;

    bool m_enumerated = false;
    std::vector<FT_DEVICE_LIST_INFO_NODE> m_listed;
    // Which of the process's driver lists m_listed matches.
    uint64_t m_listNumber = 0;
    std::vector<int32_t> m_listIndices;
    FT_HANDLE m_handle = nullptr;
    bool m_openRefused = false;
    int32_t m_lastError = FT_OK;
    uint32_t m_rxCount = 0;
    uint32_t m_rxPos = 0;
    std::array<uint8_t, kReadChunkBytes> m_rxBuffer{};
};

} // namespace marlune::MLP

#pragma once

#include "emulateddeviceoptions.h"
#include "emulatedusbdevice.h"
#include "ftdilineevent.h"

#include <deque>
#include <vector>

namespace marlune::testing {

// An FTDI FT232R USB-to-serial bridge (0403:6001) with a device on its serial line.
//
// The host sets up the line with vendor control requests; the bridge records them with
// the bytes it sends in a line log. Bytes reach the device only when they go out at the
// device's baud rate and the line is not held in break: anything else is line noise to a
// receiver. Received bytes come back on bulk IN 0x81 in 64-byte packets that start with
// two modem-status bytes; the chip sends a packet when 62 data bytes are waiting or its
// latency timer runs out, so an idle bridge answers the status bytes alone once per
// latency period.
class EmulatedFtdiBridge : public EmulatedUsbDevice
{
public:
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductId = 0x6001;

    EmulatedFtdiBridge(std::shared_ptr<DeviceEndpoint> endpoint, const FtdiBridgeOptions& options);

    std::vector<FtdiLineEvent> lineLog() const;
    void clearLineLog();
    // Packets of status bytes alone sent to the host: each is a latency period in which the
    // host was waiting for data that was not there.
    int emptyAnswerCount() const;

    // The baud rate the chip's divisor request selects; 0 for a divisor it cannot run.
    static uint32_t decodeBaudRate(uint16_t value, uint16_t index);

protected:
    std::optional<std::size_t> handleVendorRequest(const SetupPacket& setup, uint8_t* data,
                                                   Clock::time_point now) override;
    Clock::time_point acceptBulkOut(const uint8_t* data, std::size_t length, Clock::time_point now) override;
    bool fillBulkIn(BulkInTransfer& transfer, Clock::time_point now) override;
    bool serviceDevice(Clock::time_point now) override;

private:
    void setDataCharacteristics(uint16_t value);
    void logEvent(FtdiLineEvent event);
    void logData(const uint8_t* data, std::size_t length);
    Clock::duration characterTime() const;
    void receiveFromLine(Clock::time_point now);

    bool m_modelWireTime;
    bool m_logLineData;
    uint32_t m_deviceBaudRate;
    uint32_t m_baudRate;
    uint8_t m_dataBits;
    uint8_t m_parity;
    uint8_t m_stopBits;
    bool m_breakOn = false;
    uint8_t m_latencyMs;
    std::vector<FtdiLineEvent> m_lineLog;
    Clock::time_point m_transmitLineFreeAt;
    Clock::time_point m_receiveLineClock;
    std::deque<uint8_t> m_receiveBuffer;
    Clock::time_point m_lastPacketAt;
    int m_emptyAnswers = 0;
};

} // namespace marlune::testing

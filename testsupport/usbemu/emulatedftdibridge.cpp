#include "emulatedftdibridge.h"

#include "deviceendpoint.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace marlune::testing {

namespace {

constexpr uint8_t kResetRequest = 0x00;
constexpr uint8_t kModemControlRequest = 0x01;
constexpr uint8_t kFlowControlRequest = 0x02;
constexpr uint8_t kSetBaudRateRequest = 0x03;
constexpr uint8_t kSetDataRequest = 0x04;
constexpr uint8_t kGetModemStatusRequest = 0x05;
constexpr uint8_t kSetEventCharRequest = 0x06;
constexpr uint8_t kSetErrorCharRequest = 0x07;
constexpr uint8_t kSetLatencyTimerRequest = 0x09;
constexpr uint8_t kGetLatencyTimerRequest = 0x0A;
constexpr uint8_t kSetBitModeRequest = 0x0B;
constexpr uint8_t kReadPinsRequest = 0x0C;
constexpr uint8_t kReadEepromRequest = 0x90;
constexpr uint8_t kWriteEepromRequest = 0x91;
constexpr uint8_t kEraseEepromRequest = 0x92;

// Reset request values. The purge names follow the chip: 1 empties what the host sent
// and the chip has not yet put on the line, 2 what the chip received but not yet sent up.
constexpr uint16_t kResetChip = 0;
constexpr uint16_t kPurgeHostToDevice = 1;
constexpr uint16_t kPurgeDeviceToHost = 2;

constexpr uint16_t kDataBitsMask = 0x00FF;
constexpr int kParityShift = 8;
constexpr uint16_t kParityMask = 0x7;
constexpr int kStopBitsShift = 11;
constexpr uint16_t kStopBitsMask = 0x3;
constexpr uint16_t kBreakBit = 1u << 14;

// Modem status (CTS and DSR low, reserved bit set) and line status (transmitter empty).
constexpr uint8_t kModemStatus = 0x01;
constexpr uint8_t kLineStatus = 0x60;
constexpr std::size_t kStatusLength = 2;
constexpr std::size_t kPacketLength = 64;
constexpr std::size_t kPacketDataLength = kPacketLength - kStatusLength;

// FT232R buffers: 128 bytes towards the line, 256 bytes from it.
constexpr std::size_t kTransmitBufferLength = 128;
constexpr std::size_t kReceiveBufferLength = 256;

constexpr uint32_t kPowerUpBaudRate = 9600;
constexpr uint8_t kPowerUpLatencyMs = 16;
constexpr uint8_t kUnprogrammedEepromByte = 0xFF;
constexpr uint8_t kAllPinsHigh = 0xFF;

// Divisors are in eighths of the 3 MHz base clock; the 3-bit code selects the fraction.
constexpr uint32_t kBaseClockHz = 3000000;
constexpr uint32_t kEighthsForCode[8] = {0, 4, 2, 1, 3, 5, 6, 7};
constexpr uint32_t kSpecialDivisorTwoMegabaud = 1;
constexpr uint32_t kTwoMegabaud = 2000000;

UsbDescriptorSet bridgeDescriptors(const FtdiBridgeOptions& options)
{
    UsbDeviceIdentity identity;
    identity.vendorId = EmulatedFtdiBridge::kVendorId;
    identity.productId = EmulatedFtdiBridge::kProductId;
    identity.deviceRelease = 0x0600; // tells libftdi and D2XX that this is an FT232R
    identity.controlPacketSize = 8;
    identity.manufacturer = options.manufacturer;
    identity.product = options.description;
    identity.serial = options.serial;
    identity.productNamesInterface = true;
    identity.bulkInEndpoint = 0x81;
    identity.bulkOutEndpoint = 0x02;
    identity.configurationAttributes = 0xA0; // bus powered, remote wake-up
    identity.maxPowerUnits = 45;
    return UsbDescriptorSet(identity);
}

// An IN request for one byte; a host that asks for none gets none.
std::size_t answerOneByte(uint16_t requestedLength, uint8_t* data, uint8_t value)
{
    if (requestedLength < 1) {
        return 0;
    }
    data[0] = value;
    return 1;
}

} // namespace

EmulatedFtdiBridge::EmulatedFtdiBridge(std::shared_ptr<DeviceEndpoint> endpoint,
                                       const FtdiBridgeOptions& options)
    : EmulatedUsbDevice(bridgeDescriptors(options), std::move(endpoint), false),
      m_modelWireTime(options.modelWireTime), m_logLineData(options.logLineData),
      m_deviceBaudRate(options.deviceBaudRate), m_baudRate(kPowerUpBaudRate), m_dataBits(8), m_parity(0),
      m_stopBits(0), m_latencyMs(kPowerUpLatencyMs)
{
    const Clock::time_point now = Clock::now();
    m_transmitLineFreeAt = now;
    m_receiveLineClock = now;
    m_lastPacketAt = now;
}

std::vector<FtdiLineEvent> EmulatedFtdiBridge::lineLog() const
{
    std::lock_guard lock(m_mutex);
    return m_lineLog;
}

void EmulatedFtdiBridge::clearLineLog()
{
    std::lock_guard lock(m_mutex);
    m_lineLog.clear();
}

int EmulatedFtdiBridge::emptyAnswerCount() const
{
    std::lock_guard lock(m_mutex);
    return m_emptyAnswers;
}

uint32_t EmulatedFtdiBridge::decodeBaudRate(uint16_t value, uint16_t index)
{
    const uint32_t wholeDivisor = value & 0x3FFF;
    const uint32_t fractionCode = ((value >> 14) & 0x3) | ((index & 0x1) << 2);
    const uint32_t divisorEighths = (wholeDivisor << 3) | kEighthsForCode[fractionCode];
    if (divisorEighths == 0) {
        return kBaseClockHz;
    }
    if (wholeDivisor == kSpecialDivisorTwoMegabaud && fractionCode == 0) {
        return kTwoMegabaud;
    }
    if (wholeDivisor < 2) {
        return 0; // divisors between 1 and 2 are not available
    }
    return static_cast<uint32_t>(std::lround(8.0 * kBaseClockHz / divisorEighths));
}

std::optional<std::size_t> EmulatedFtdiBridge::handleVendorRequest(const SetupPacket& setup, uint8_t* data,
                                                                   Clock::time_point)
{
    switch (setup.request) {
    case kResetRequest:
        if (setup.value == kResetChip) {
            m_receiveBuffer.clear();
            dropPendingDeliveries();
            logEvent(FtdiLineEvent(FtdiLineEvent::Kind::Reset));
        } else if (setup.value == kPurgeHostToDevice) {
            dropPendingDeliveries();
            logEvent(FtdiLineEvent(FtdiLineEvent::Kind::PurgeHostToDevice));
        } else if (setup.value == kPurgeDeviceToHost) {
            m_receiveBuffer.clear();
            logEvent(FtdiLineEvent(FtdiLineEvent::Kind::PurgeDeviceToHost));
        }
        return 0;
    case kSetBaudRateRequest: {
        const uint32_t baudRate = decodeBaudRate(setup.value, setup.index);
        if (baudRate == 0) {
            return std::nullopt;
        }
        m_baudRate = baudRate;
        logEvent(FtdiLineEvent::baud(baudRate));
        return 0;
    }
    case kSetDataRequest:
        setDataCharacteristics(setup.value);
        return 0;
    case kSetLatencyTimerRequest: {
        FtdiLineEvent event(FtdiLineEvent::Kind::LatencyTimer);
        // The chip takes 0 as 1 ms.
        m_latencyMs = std::max<uint8_t>(1, static_cast<uint8_t>(setup.value & 0xFF));
        event.latencyMs = static_cast<uint8_t>(setup.value & 0xFF);
        logEvent(event);
        return 0;
    }
    case kGetLatencyTimerRequest:
        return answerOneByte(setup.length, data, m_latencyMs);
    case kGetModemStatusRequest: {
        const uint8_t status[] = {kModemStatus, kLineStatus};
        const std::size_t length = std::min<std::size_t>(setup.length, sizeof status);
        std::copy_n(status, length, data);
        return length;
    }
    case kReadPinsRequest:
        return answerOneByte(setup.length, data, kAllPinsHigh);
    case kReadEepromRequest: {
        const std::size_t length = std::min<std::size_t>(setup.length, 2);
        std::fill_n(data, length, kUnprogrammedEepromByte);
        return length;
    }
    case kModemControlRequest:
    case kFlowControlRequest:
    case kSetEventCharRequest:
    case kSetErrorCharRequest:
    case kSetBitModeRequest:
    case kWriteEepromRequest:
    case kEraseEepromRequest:
        return 0;
    default:
        return std::nullopt;
    }
}

void EmulatedFtdiBridge::setDataCharacteristics(uint16_t value)
{
    FtdiLineEvent event(FtdiLineEvent::Kind::DataCharacteristics);
    event.dataBits = static_cast<uint8_t>(value & kDataBitsMask);
    event.parity = static_cast<uint8_t>((value >> kParityShift) & kParityMask);
    event.stopBits = static_cast<uint8_t>((value >> kStopBitsShift) & kStopBitsMask);
    m_dataBits = event.dataBits;
    m_parity = event.parity;
    m_stopBits = event.stopBits;
    logEvent(event);

    const bool breakOn = (value & kBreakBit) != 0;
    if (breakOn != m_breakOn) {
        m_breakOn = breakOn;
        logEvent(FtdiLineEvent(breakOn ? FtdiLineEvent::Kind::BreakOn : FtdiLineEvent::Kind::BreakOff));
    }
}

void EmulatedFtdiBridge::logEvent(FtdiLineEvent event)
{
    m_lineLog.push_back(std::move(event));
}

void EmulatedFtdiBridge::logData(const uint8_t* data, std::size_t length)
{
    if (length == 0 || !m_logLineData) {
        return;
    }
    if (m_lineLog.empty() || m_lineLog.back().kind != FtdiLineEvent::Kind::Data ||
        m_lineLog.back().baudRate != m_baudRate) {
        m_lineLog.push_back(FtdiLineEvent::data({}, m_baudRate));
    }
    std::vector<uint8_t>& bytes = m_lineLog.back().bytes;
    bytes.insert(bytes.end(), data, data + length);
}

EmulatedUsbDevice::Clock::duration EmulatedFtdiBridge::characterTime() const
{
    // Start bit, data bits, parity bit and stop bits, counted in half bits for 1.5 stop bits.
    const unsigned stopHalfBits = m_stopBits == 0 ? 2 : m_stopBits == 1 ? 3 : 4;
    const unsigned halfBits = 2 * (1 + m_dataBits + (m_parity != 0 ? 1 : 0)) + stopHalfBits;
    const auto nanoseconds = static_cast<long long>(std::llround(halfBits * 1e9 / (2.0 * m_baudRate)));
    return std::chrono::nanoseconds(nanoseconds);
}

EmulatedUsbDevice::Clock::time_point
EmulatedFtdiBridge::acceptBulkOut(const uint8_t* data, std::size_t length, Clock::time_point now)
{
    logData(data, length);
    // Bytes at another rate, or sent while the line is held in break, are noise to the device.
    const bool deviceHearsThem = m_baudRate == m_deviceBaudRate && !m_breakOn && length > 0;
    if (!m_modelWireTime) {
        if (deviceHearsThem) {
            endpoint().hostWrote(data, length);
        }
        return now;
    }
    const Clock::duration character = characterTime();
    m_transmitLineFreeAt =
        std::max(now, m_transmitLineFreeAt) + character * static_cast<Clock::duration::rep>(length);
    if (deviceHearsThem) {
        deliverAt(m_transmitLineFreeAt, data, length);
    }
    // The URB completes once its last byte fits into the chip's transmit buffer.
    const Clock::time_point buffered =
        m_transmitLineFreeAt - character * static_cast<Clock::duration::rep>(kTransmitBufferLength);
    return std::max(now, buffered);
}

void EmulatedFtdiBridge::receiveFromLine(Clock::time_point now)
{
    std::size_t room = kReceiveBufferLength - m_receiveBuffer.size();
    const Clock::duration character = characterTime();
    if (m_modelWireTime) {
        const auto arrived = static_cast<std::size_t>(
            std::max<Clock::duration::rep>(0, (now - m_receiveLineClock) / character));
        room = std::min(room, arrived);
    }
    if (room == 0) {
        return;
    }
    std::vector<uint8_t> received(room);
    const std::size_t count = endpoint().readForHost(received.data(), room);
    if (m_modelWireTime) {
        // A line that had less to carry than it could was idle until now.
        m_receiveLineClock =
            count < room ? now : m_receiveLineClock + character * static_cast<Clock::duration::rep>(count);
    }
    // What the device sends at another rate than the bridge expects arrives as garbage.
    if (m_baudRate == m_deviceBaudRate) {
        m_receiveBuffer.insert(m_receiveBuffer.end(), received.begin(), received.begin() + count);
    }
}

bool EmulatedFtdiBridge::fillBulkIn(BulkInTransfer& transfer, Clock::time_point now)
{
    receiveFromLine(now);
    const auto latency = std::chrono::milliseconds(m_latencyMs);
    while (transfer.length - transfer.transferred >= kStatusLength) {
        const std::size_t room = transfer.length - transfer.transferred;
        const bool fullPacket = room >= kPacketLength && m_receiveBuffer.size() >= kPacketDataLength;
        if (!fullPacket && now - m_lastPacketAt < latency) {
            return false; // the chip NAKs until its latency timer runs out
        }
        uint8_t* packet = transfer.buffer + transfer.transferred;
        packet[0] = kModemStatus;
        packet[1] = kLineStatus;
        const std::size_t dataLength =
            std::min({m_receiveBuffer.size(), kPacketDataLength, room - kStatusLength});
        std::copy_n(m_receiveBuffer.begin(), dataLength, packet + kStatusLength);
        m_receiveBuffer.erase(m_receiveBuffer.begin(),
                              m_receiveBuffer.begin() + static_cast<long>(dataLength));
        transfer.transferred += kStatusLength + dataLength;
        m_lastPacketAt = now;
        if (dataLength == 0) {
            ++m_emptyAnswers;
        }
        if (kStatusLength + dataLength < kPacketLength) {
            return true; // a short packet ends the transfer
        }
        receiveFromLine(now);
    }
    return true;
}

bool EmulatedFtdiBridge::serviceDevice(Clock::time_point now)
{
    return deliverDueBytes(now);
}

} // namespace marlune::testing

#include "emulatedmakerdevice.h"

#include "deviceendpoint.h"

#include <algorithm>
#include <utility>

namespace marlune::testing {

namespace {

// Full-speed USB runs 1 ms frames; about 19 bulk packets of 64 bytes fit into one.
constexpr std::chrono::microseconds kFrameLength{1000};
constexpr int kBulkPacketsPerFrame = 19;
constexpr auto kPacketSlot =
    std::chrono::duration_cast<std::chrono::nanoseconds>(kFrameLength) / kBulkPacketsPerFrame;

UsbDescriptorSet makerDescriptors(const MakerDeviceOptions& options)
{
    UsbDeviceIdentity identity;
    identity.vendorId = EmulatedMakerDevice::kVendorId;
    identity.productId = options.productId;
    identity.deviceRelease = 0x0100;
    identity.manufacturer = options.manufacturer;
    identity.product = options.product;
    if (options.hasSerial) {
        identity.serial = options.serial;
    }
    identity.bulkInEndpoint = EmulatedMakerDevice::kBulkInEndpoint;
    identity.bulkOutEndpoint = EmulatedMakerDevice::kBulkOutEndpoint;
    return UsbDescriptorSet(identity);
}

} // namespace

EmulatedMakerDevice::EmulatedMakerDevice(std::shared_ptr<DeviceEndpoint> endpoint,
                                         const MakerDeviceOptions& options)
    : EmulatedUsbDevice(makerDescriptors(options), std::move(endpoint), options.interfaceBusy),
      m_modelWireTime(options.modelWireTime), m_packetSize(descriptors().identity().bulkPacketSize),
      m_frameOrigin(Clock::now()), m_outBusyUntil(m_frameOrigin)
{}

std::optional<std::size_t> EmulatedMakerDevice::handleVendorRequest(const SetupPacket&, uint8_t*,
                                                                    Clock::time_point)
{
    return std::nullopt; // the interface defines no vendor requests
}

EmulatedUsbDevice::Clock::time_point
EmulatedMakerDevice::acceptBulkOut(const uint8_t* data, std::size_t length, Clock::time_point now)
{
    if (!m_modelWireTime) {
        if (length > 0) {
            endpoint().hostWrote(data, length);
        }
        return now;
    }
    const std::size_t packets = std::max<std::size_t>(1, (length + m_packetSize - 1) / m_packetSize);
    m_outBusyUntil = std::max(now, m_outBusyUntil) + packets * kPacketSlot;
    // The host controller reports the transfer done at the end of the frame that carried
    // its last packet; the device has all bytes by then.
    const Clock::time_point done = endOfFrame(m_outBusyUntil);
    if (length > 0) {
        deliverAt(done, data, length);
    }
    return done;
}

bool EmulatedMakerDevice::fillBulkIn(BulkInTransfer& transfer, Clock::time_point now)
{
    while (transfer.transferred < transfer.length) {
        if (m_modelWireTime && !takeInPacketSlot(now)) {
            return false;
        }
        const std::size_t packetCapacity = std::min(m_packetSize, transfer.length - transfer.transferred);
        const std::size_t packetLength =
            endpoint().readForHost(transfer.buffer + transfer.transferred, packetCapacity);
        if (packetLength == 0) {
            if (m_modelWireTime) {
                ++m_inPacketsLeft; // a NAK carries no data: the slot stays free
            }
            return false;
        }
        transfer.transferred += packetLength;
        if (packetLength < m_packetSize) {
            return true; // a short packet ends the transfer
        }
    }
    return true;
}

bool EmulatedMakerDevice::serviceDevice(Clock::time_point now)
{
    return deliverDueBytes(now);
}

EmulatedUsbDevice::Clock::time_point EmulatedMakerDevice::endOfFrame(Clock::time_point moment) const
{
    const auto sinceOrigin = moment - m_frameOrigin;
    const auto frames = (sinceOrigin + kFrameLength - Clock::duration(1)) / kFrameLength;
    return m_frameOrigin + frames * kFrameLength;
}

bool EmulatedMakerDevice::takeInPacketSlot(Clock::time_point now)
{
    const long long frame = (now - m_frameOrigin) / kFrameLength;
    if (frame != m_inFrame) {
        m_inFrame = frame;
        m_inPacketsLeft = kBulkPacketsPerFrame;
    }
    if (m_inPacketsLeft == 0) {
        return false;
    }
    --m_inPacketsLeft;
    return true;
}

} // namespace marlune::testing

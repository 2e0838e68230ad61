#pragma once

#include "emulateddeviceoptions.h"
#include "emulatedusbdevice.h"

#include <deque>
#include <vector>

namespace marlune::testing {

// A device with the maker's own USB interface (vendor 0x16D0): interface 0 with bulk IN
// 0x81 and bulk OUT 0x01, 64-byte packets. Bulk OUT data goes to the endpoint; bulk IN
// URBs are filled packet by packet from what the endpoint has ready and end with the
// first short packet, as on the wire.
class EmulatedMakerDevice : public EmulatedUsbDevice
{
public:
    static constexpr uint16_t kVendorId = 0x16D0;
    static constexpr uint8_t kBulkInEndpoint = 0x81;
    static constexpr uint8_t kBulkOutEndpoint = 0x01;

    EmulatedMakerDevice(std::shared_ptr<DeviceEndpoint> endpoint, const MakerDeviceOptions& options);

protected:
    std::optional<std::size_t> handleVendorRequest(const SetupPacket& setup, uint8_t* data,
                                                   Clock::time_point now) override;
    Clock::time_point acceptBulkOut(const uint8_t* data, std::size_t length, Clock::time_point now) override;
    bool fillBulkIn(BulkInTransfer& transfer, Clock::time_point now) override;
    bool serviceDevice(Clock::time_point now) override;

private:
    Clock::time_point endOfFrame(Clock::time_point moment) const;
    bool takeInPacketSlot(Clock::time_point now);

    bool m_modelWireTime;
    std::size_t m_packetSize;
    Clock::time_point m_frameOrigin;
    Clock::time_point m_outBusyUntil;
    long long m_inFrame = -1;
    int m_inPacketsLeft = 0;
};

} // namespace marlune::testing

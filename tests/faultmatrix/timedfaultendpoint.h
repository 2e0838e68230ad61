#pragma once

#include "deviceendpoint.h"
#include "virtualdevice.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Stands between a VirtualDevice and the USB emulation and brings in a fault at a chosen
// frame: the plug is pulled as soon as the device has taken that frame, before its answer
// can leave; the device stops taking data at a data segment while staying attached; or the
// device changes from that frame on (late answers, another identity). Frames count from 0 over the
// device's life: every well-formed frame (requests and data segments), or data segments
// alone. Once unplugged the endpoint takes and gives nothing and reports itself detached,
// so the emulation takes the device off the bus.
class TimedFaultEndpoint : public marlune::testing::DeviceEndpoint
{
public:
    explicit TimedFaultEndpoint(std::shared_ptr<marlune::testing::VirtualDevice> device);

    void unplugOnFrame(std::size_t frame);
    void unplugOnDataSegment(std::size_t segment);
    void delayAnswersFromFrame(std::size_t frame, uint32_t delayMs);
    // The change is made just before the device takes that frame.
    void changeDeviceFromFrame(std::size_t frame,
                               std::function<void(marlune::testing::VirtualDevice&)> change);
    void stopTakingDataAtSegment(std::size_t segment);

    void hostWrote(const uint8_t* data, std::size_t length) override;
    std::size_t readForHost(uint8_t* out, std::size_t capacity) override;
    bool isAttached() const override;
    bool takesHostData() const override;

private:
    std::shared_ptr<marlune::testing::VirtualDevice> m_device;
    mutable std::mutex m_mutex;
    std::optional<std::size_t> m_unplugFrame;
    std::optional<std::size_t> m_unplugDataSegment;
    std::optional<std::size_t> m_changeFrame;
    std::function<void(marlune::testing::VirtualDevice&)> m_change;
    std::optional<std::size_t> m_stopTakingSegment;
    bool m_unplugged = false;
};

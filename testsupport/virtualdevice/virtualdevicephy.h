#pragma once

#include "deviceendpoint.h"
#include "mlpphy.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace marlune::testing {

class FakeClock;

// A byte link straight to a DeviceEndpoint, with no wire in between: write() hands the
// bytes to the device, readByte() serves what the device has ready. With a FakeClock, a
// read that finds nothing moves the clock on as a real link's read time-out would, so
// waits of seconds pass at once; without one it answers "no byte" at once. A detached
// device takes no bytes and gives none, and its link refuses every write, as a real link
// does once the device has left the bus.
class VirtualDevicePhy : public marlune::MLP::MLPPhy
{
public:
    static constexpr uint32_t kDefaultEmptyReadAdvanceMs = 10;
    static constexpr int32_t kRefusalError = 1;

    explicit VirtualDevicePhy(DeviceEndpoint& endpoint, FakeClock* clock = nullptr,
                              uint32_t emptyReadAdvanceMs = kDefaultEmptyReadAdvanceMs);

    bool write(const uint8_t* data, uint32_t length) override;

    // The link refuses the write with this number, counted from 0, and every later one;
    // lastError() then reports `error`.
    void refuseWritesFrom(std::size_t write, int32_t error = kRefusalError)
    {
        m_refusedFrom = write;
        m_refusalError = error;
    }
    int32_t lastError() override { return m_lastError; }
    marlune::MLP::MLPPhyReadResult readByte() override;

    // How often readByte() answered "no byte".
    uint64_t emptyReadCount() const { return m_emptyReads; }

private:
    static constexpr std::size_t kReadChunk = 512;

    DeviceEndpoint& m_endpoint;
    FakeClock* m_clock;
    uint32_t m_emptyReadAdvanceMs;
    std::array<uint8_t, kReadChunk> m_readBuffer{};
    std::size_t m_readPosition = 0;
    std::size_t m_readFilled = 0;
    uint64_t m_emptyReads = 0;
    std::size_t m_writes = 0;
    std::size_t m_refusedFrom = SIZE_MAX;
    int32_t m_refusalError = kRefusalError;
    int32_t m_lastError = 0;
};

} // namespace marlune::testing

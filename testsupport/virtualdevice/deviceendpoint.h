#pragma once

#include <cstddef>
#include <cstdint>

namespace marlune::testing {

// The device side of a byte link, as seen by whatever carries the bytes: an MLPPhy test
// link, a recording D2XX provider or a USB-level emulation. A transport hands every byte
// the host wrote to hostWrote() and collects what the device has to say with
// readForHost(). Implementations are thread-safe: USB emulation calls them from its own
// thread while the test thread configures the device.
class DeviceEndpoint
{
public:
    virtual ~DeviceEndpoint() = default;

    // Bytes the host sent to the device, in order.
    virtual void hostWrote(const uint8_t* data, std::size_t length) = 0;

    // Copies up to `capacity` bytes that are ready for the host now; returns how many.
    // Returns 0 when nothing is due yet (silence, or an answer still being delayed).
    virtual std::size_t readForHost(uint8_t* out, std::size_t capacity) = 0;

    // False once the device has been unplugged; a transport then fails every transfer.
    virtual bool isAttached() const { return true; }

    // False while the device, still attached, takes no data: a USB transport leaves the
    // host's OUT transfers pending (NAKed) until the host gives up on them.
    virtual bool takesHostData() const { return true; }
};

} // namespace marlune::testing

#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct libusb_device;

namespace marlune::MLP {

// Where a device sits on the bus: its bus number and the port numbers from the root hub down,
// written "1-2.3" (bus 1, port 2 of the root hub, port 3 of the hub there), as the system
// names it. Unlike a position in a list, another device plugged in or out elsewhere never
// shifts it, so it tells apart devices that carry no serial number, or the same one.
//
// D2XX names the same place by a location id, a hexadecimal digit per level: the bus (host
// controller, counted from 1) and then each port, 0x213 being "2-1.3".
class MLPUsbPortPath
{
public:
    // "1-2.3"; empty when there are no port numbers (a root hub, or the system gave none).
    static std::string text(uint8_t bus, const std::vector<uint8_t>& ports);
    // The port numbers libusb reports for a device, from the root hub down; none for a root hub.
    static std::vector<uint8_t> portsOf(libusb_device* device);
    // The port path libusb reports for a device; empty when it reports none.
    static std::string ofDevice(libusb_device* device);
    // The port path a D2XX location id names; empty for 0, which names none.
    static std::string ofLocationId(uint32_t locationId);
    // The location id of a place; 0 when it cannot be written as one (a bus or port number
    // above 15, or more levels than fit).
    static uint32_t locationId(uint8_t bus, const std::vector<uint8_t>& ports);
};

} // namespace marlune::MLP

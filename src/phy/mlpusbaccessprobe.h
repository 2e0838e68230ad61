#pragma once

#include "mlplinkkind.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlune::MLP {

// Why an attached device of ours cannot be used.
enum class MLPAccessProblem : uint8_t
{
    AccessDenied, // the system refuses this user the device (Linux without the udev rules)
    NoDriver,     // no driver the USB library can use is bound (Windows without WinUSB)
    InUse,        // another program holds the device's interface
    Other,        // any other refusal; the detail says which
};

// An attached USB device of a kind the links drive that this process cannot use.
struct MLPInaccessibleDevice
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t busNumber = 0;
    uint8_t deviceNumber = 0;
    MLPLinkKind linkKind = MLPLinkKind::Unknown;
    MLPAccessProblem problem = MLPAccessProblem::Other;
    std::string detail; // the USB library's own words for it
};

// Finds the attached devices of our identity table that the links would skip without a
// word: the ones that cannot be opened, and maker devices whose interface another program
// holds. Only opens and closes, on a USB library context of its own; no byte goes to any
// device. Run it while no link of this process holds a device, or that device shows as in
// use.
class MLPUsbAccessProbe
{
public:
    static std::vector<MLPInaccessibleDevice> findInaccessibleDevices();

    // Why the USB library cannot start (in a sandbox without its device monitor, for one);
    // empty when it starts. The links then see no device at all, which is not the same as
    // none being attached.
    static std::string usbStartProblem();
};

} // namespace marlune::MLP

#pragma once

#include "mlpdeviceinfonode.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace marlune::MLP {
class MLPPhy;
class MLPPhyMultiUsb;
} // namespace marlune::MLP

// How a request reaches one unit: a fresh link opened to it by its identity, never by a
// position another plug-in may have shifted. The USB links by default; suites put virtual
// devices behind it.
struct MLPUnitLinks
{
    // Why no link to the unit was made.
    enum class Problem
    {
        None,
        NotAttached,   // no such unit is attached now
        Held,          // it is attached, but another program holds it
        NotAccessible, // it is attached, but the system refused to open it for this user
    };

    // A link to a unit, or why there is none.
    struct Opening
    {
        std::unique_ptr<marlune::MLP::MLPPhy> link;
        // Where the unit was found: link kind, serial number, port path and how many share
        // the serial number; the address is the one the unit was named by, never counted
        // again while other units hold their links.
        MLPDeviceInfoNode where;
        Problem problem = Problem::NotAttached;
    };

    // A new link to `unit`, found by isSameUnit among the devices of its link kind attached
    // now: by its serial number where that is its own, otherwise at its port path. A unit
    // that has neither only at its address, and only while the device there is of the same
    // kind without a serial number of its own either; a bare address (no link kind known)
    // opens whatever is there.
    using OpenFunction = Opening (*)(void* context, const MLPDeviceInfoNode& unit);

    static Opening openUsb(void* context, const MLPDeviceInfoNode& unit);

    // The device at a position of the multi-link's last enumeration, named by `address`:
    // link kind, serial number, port path and how many share the serial number.
    static MLPDeviceInfoNode listedAt(const marlune::MLP::MLPPhyMultiUsb& link, int32_t index,
                                      const QString& address);

    OpenFunction open = &MLPUnitLinks::openUsb;
    void* context = nullptr;
};

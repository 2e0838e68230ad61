#pragma once

#include "mlpdeviceinfonode.h"

#include <memory>

namespace marlune::MLP {
class MLPPhy;
}

// How a request reaches one unit: a fresh link opened to it by its identity, never by a
// position another plug-in may have shifted. The USB links by default; suites put virtual
// devices behind it.
struct MLPUnitLinks
{
    // A new link to `unit`: the device of its link kind with its serial number, wherever the
    // bus lists it now; a unit without a serial number only at its address, and only while
    // the device there has the same link kind and no serial number either; a bare address
    // (no link kind known) opens whatever is there. Null when no such unit is attached or it cannot be
    // opened. `opened` receives where it was found: address, link kind and serial number.
    using OpenFunction = std::unique_ptr<marlune::MLP::MLPPhy> (*)(void* context,
                                                                   const MLPDeviceInfoNode& unit,
                                                                   MLPDeviceInfoNode& opened);

    static std::unique_ptr<marlune::MLP::MLPPhy> openUsb(void* context, const MLPDeviceInfoNode& unit,
                                                         MLPDeviceInfoNode& opened);

    OpenFunction open = &MLPUnitLinks::openUsb;
    void* context = nullptr;
};

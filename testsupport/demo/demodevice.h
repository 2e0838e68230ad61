#pragma once

#include "demodevicedescription.h"
#include "virtualdevice.h"

#include <memory>

namespace marlune::testing {

// The virtual device a demo description stands for: its identity, its answer time and its
// faults. It installs what it is sent, so that asked after an update it reports the new
// firmware, as a real one would; nobody reads its records.
std::shared_ptr<VirtualDevice> makeDemoDevice(const DemoDeviceDescription& description);

} // namespace marlune::testing

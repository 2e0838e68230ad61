#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpstatus.h"

#include <QString>

// How the command-line tool names a device and its link in sentences and tables.
namespace devicetext {

// "DEMO-5 at usb:m/0 (maker USB, serial ML0001, hardware 1.00, firmware 2.03)"
QString deviceSummary(const MLPDeviceInfoNode& device);
// A transfer status as machine-readable output and the frame trace name it.
QString statusKey(MLPStatus status);

} // namespace devicetext

#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpstatus.h"

#include <QString>

// How the command-line tool names a device and its link in sentences and tables.
namespace devicetext {

// "DEMO-5 at usb:m/0 (maker USB, serial ML0001, hardware 1.00, firmware 2.03)"; a unit whose
// serial number is not its own with where it sits: "DEMO-5 at usb:m/1 (FTDI bridge, serial
// A5028 shared by 2, port 1-2.3, hardware 1.00, firmware 2.03)"
QString deviceSummary(const MLPDeviceInfoNode& device);
// A transfer status as machine-readable output and the frame trace name it.
QString statusKey(MLPStatus status);

} // namespace devicetext

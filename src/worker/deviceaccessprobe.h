#pragma once

#include "inaccessibleusbdevice.h"

#include <QList>
#include <QString>

// Finds attached USB devices of the kinds the links drive (the maker's devices, FTDI
// bridges) that cannot be opened, or whose interface another program holds, and whether the
// FTDI driver's library is there. The links skip such devices without a word, so a user
// without access rights or drivers would otherwise see an empty list and no reason. Only
// opens and closes: no byte goes to any device. Run it while no request holds a device, on
// a thread that may wait for USB (the worker's discovery runs it).
class DeviceAccessProbe
{
public:
    static QList<InaccessibleUsbDevice> findInaccessibleDevices();

    // Why the USB library cannot start (in a sandbox without its device monitor, for one); empty
    // when it starts. The links then see no device at all, which is not the same as none
    // being attached.
    static QString usbStartProblem();

    // True where the FTDI link has no driver library (Windows without the FTDI driver): no
    // bridge can be listed then, whatever is attached.
    static bool ftdiDriverMissing();

    // The WinUSB driver package's INF that the Windows installer puts beside the program.
    static QString winUsbDriverFile();

    // Where the package installs the udev rules that grant users these devices: the
    // folder, the file name, and the two joined.
    static QString udevRulesDirectory();
    static QString udevRulesFile();
    static QString udevRulesPath();
};

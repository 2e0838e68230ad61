#pragma once

#include "inaccessibleusbdevice.h"

#include <QList>
#include <QString>

#include <cstdint>

// Finds attached USB devices of the kinds the links drive (the maker's devices, FTDI
// bridges) that cannot be opened, or whose interface another program holds. The links skip
// such devices without a word, so a user without access rights would otherwise see an
// empty list and no reason. Uses libusb directly and only opens and closes: no byte goes
// to any device. Run it while no request holds a device.
class DeviceAccessProbe
{
public:
    static QList<InaccessibleUsbDevice> findInaccessibleDevices();

    // Why the USB library cannot start (in a sandbox without its device monitor, for one); empty
    // when it starts. The links then see no device at all, which is not the same as none
    // being attached.
    static QString usbStartProblem();

    // True for the USB ids of the devices the links drive: the maker's products and the
    // accepted FTDI bridges.
    static bool isDrivenUsbId(uint16_t vendorId, uint16_t productId);

    // Where the package installs the udev rules that grant users these devices: the
    // folder, the file name, and the two joined.
    static QString udevRulesDirectory();
    static QString udevRulesFile();
    static QString udevRulesPath();
};

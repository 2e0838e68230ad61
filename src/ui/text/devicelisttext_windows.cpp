#include "devicelisttext.h"

// Windows lets every user open a USB device that has its driver: the driver is what may be
// missing.
QString DeviceListText::nothingAttached()
{
    return tr("No Marlune device found. Check the device's power and USB cable, and that its driver is "
              "installed: the FTDI driver for a bridge, WinUSB for the maker's own devices.");
}

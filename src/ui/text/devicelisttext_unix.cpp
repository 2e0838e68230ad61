#include "devicelisttext.h"

QString DeviceListText::nothingAttached()
{
    return tr("No Marlune device found. Check the device's power and USB cable, and that this user may "
              "use USB devices.");
}

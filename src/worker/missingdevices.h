#pragma once

#include "inaccessibleusbdevice.h"
#include "mlpdeviceinfonode.h"

#include <QList>

// Who the last discovery saw but could not list, and why: what a person needs to get every
// attached device into the list.
struct MissingDevices
{
    int unanswered = 0;                        // opened, but gave no device information
    QList<InaccessibleUsbDevice> inaccessible; // could not be opened at all
    int heldBridges = 0;                       // FTDI bridges of ours another program holds open
    bool ftdiDriverMissing = false;            // no FTDI bridge can be seen at all (Windows)
    // Those not answering, and the held bridges the listing saw, where it saw them: address,
    // link kind and serial number. A held bridge may also be one no listing could open at all.
    QList<MLPDeviceInfoNode> unansweredUnits;
    QList<MLPDeviceInfoNode> heldUnits;

    bool any() const
    {
        return unanswered > 0 || !inaccessible.isEmpty() || heldBridges > 0 || ftdiDriverMissing;
    }
};

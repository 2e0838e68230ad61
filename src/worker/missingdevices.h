#pragma once

#include "inaccessibleusbdevice.h"

#include <QList>

// Who the last discovery saw but could not list, and why: what a person needs to get every
// attached device into the list.
struct MissingDevices
{
    int unanswered = 0;                        // opened, but gave no device information
    QList<InaccessibleUsbDevice> inaccessible; // could not be opened at all
    int heldBridges = 0;                       // FTDI bridges of ours another program holds open
    bool ftdiDriverMissing = false;            // no FTDI bridge can be seen at all (Windows)

    bool any() const
    {
        return unanswered > 0 || !inaccessible.isEmpty() || heldBridges > 0 || ftdiDriverMissing;
    }
};

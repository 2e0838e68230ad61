#pragma once

#include "mlpdeviceinfonode.h"
#include "updatefileverdict.h"
#include "updateimage.h"

#include <QString>

// The update file the window would write to one listed unit, and the shared check's verdict
// on it for that unit.
struct UnitUpdateFile
{
    MLPDeviceInfoNode unit;
    // Null when no file is in use for the unit's model; the bytes the unit is written from.
    UpdateImage image;
    UpdateFileVerdict verdict;
    // Why the file may not be written to the unit, as a sentence; empty when it fits.
    QString reason;

    bool fits() const { return verdict.fits(); }
    QString filePath() const { return image.path(); }
};

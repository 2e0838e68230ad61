#pragma once

#include "firmwareversion.h"
#include "inaccessibleusbdevice.h"
#include "mlpdeviceinfonode.h"
#include "updatefileverdict.h"
#include "updateimage.h"

// What a run does with one attached device of ours, decided by UpdatePlanner before any byte
// goes out, with the facts behind the decision for each front end to word.
struct UnitPlan
{
    enum class Decision
    {
        Write,
        // The file fits, but the unit runs its firmware already, or a newer one (firmware says
        // which), and the run does not allow writing it again or stepping back.
        LeaveAlone,
        // There is no file for the unit's model, or it does not fit the unit: fit tells why.
        DoesNotFit,
        // Listed on the bus, but it gave no device information.
        NoAnswer,
        // Listed on the bus, but another program holds it open.
        Held,
        // This user may not open it, or no driver lets anyone (inaccessible tells which).
        NotAccessible,
    };

    Decision decision = Decision::DoesNotFit;
    // As it answered; where it did not, only its address, link kind and serial number.
    MLPDeviceInfoNode unit;
    // The file for the unit's model, as read once for the run; null where there is none.
    UpdateImage image;
    // The file checked against what the unit reported.
    UpdateFileVerdict fit;
    // The unit's firmware against the file's, where the file fits.
    marlune::FirmwareOrder firmware = marlune::FirmwareOrder::DeviceOlder;
    // With NotAccessible.
    InaccessibleUsbDevice inaccessible;

    bool writes() const { return decision == Decision::Write; }
    // Written, or left alone by its firmware only: a choice of the run can change that.
    bool fits() const { return decision == Decision::Write || decision == Decision::LeaveAlone; }
    // It could not be asked what it is: nothing about it was decided by its answer.
    bool unreached() const
    {
        return decision == Decision::NoAnswer || decision == Decision::Held ||
               decision == Decision::NotAccessible;
    }
};

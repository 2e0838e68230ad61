#pragma once

#include "missingdevices.h"
#include "mlpdeviceinfonode.h"
#include "mlpupdatefirmwarerequest.h"
#include "unitplan.h"

#include <QList>

#include <functional>

// The one rule for what a run does with each attached device of ours, for the window's Update
// All, update --all and the units a watch finds alike: write it; leave it alone for the
// firmware it runs (unless the run allows it); not write a file that does not fit it; or name
// why it could not be asked (no answer, held by another program, not accessible). The update
// request applies the firmware part again at the unit's link, just before its first byte.
// Reads no file and opens no device: it is handed each model's image and what was listed.
class UpdatePlanner
{
public:
    // The image for a unit's model; a null image when there is none.
    using ImageFor = std::function<UpdateImage(const MLPDeviceInfoNode& unit)>;

    UpdatePlanner(ImageFor imageFor, MLPUpdateFirmwareRequest::LeaveAlone leaveAlone);

    void setLeaveAlone(MLPUpdateFirmwareRequest::LeaveAlone leaveAlone) { m_leaveAlone = leaveAlone; }
    // A file no trusted key signed fits too: where the person was asked, or the command line allows it.
    void setAllowUnsigned(bool allow) { m_allowUnsigned = allow; }
    MLPUpdateFirmwareRequest::LeaveAlone leaveAlone() const { return m_leaveAlone; }

    // A unit that answered.
    UnitPlan decide(const MLPDeviceInfoNode& unit) const;
    // Every device a discovery found: those that answered, in their order, then those it
    // could not ask.
    QList<UnitPlan> plan(const QList<MLPDeviceInfoNode>& answered, const MissingDevices& missing) const;

    // Whether a unit whose firmware stands so to the file's is left alone.
    static bool leavesAlone(marlune::FirmwareOrder firmware, MLPUpdateFirmwareRequest::LeaveAlone leaveAlone);

private:
    ImageFor m_imageFor;
    MLPUpdateFirmwareRequest::LeaveAlone m_leaveAlone;
    bool m_allowUnsigned = false;
};

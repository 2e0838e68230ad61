#pragma once

#include "mlpdeviceinfonode.h"
#include "updatefileverdict.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>

// How the window words the update check's verdict and an update session's states for the
// person at the device, in the words both front ends share.
class UpdateSession;

class UpdateVerdictText
{
    Q_DECLARE_TR_FUNCTIONS(UpdateVerdictText)

public:
    // deviceFwVersion is BCD, as the device reports it; noFileText says what is missing when
    // no file is chosen.
    static QString toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                           const QString& noFileText);
    // While the file the verdict was made for is written to the unit.
    static QString writing(const UpdateFileVerdict& verdict, const MLPDeviceInfoNode& unit);
    // Once the device took the file, while the unit is asked what it runs now.
    static QString written(const UpdateSession& session);
    // The session's verdict once the unit reports the file's firmware, and what it reported.
    static QString succeeded(const UpdateSession& session);
    static QString afterwards(const UpdateSession& session);
    // The unit, why the session did not succeed (also when its firmware is not confirmed)
    // and the next step.
    static QString failed(const UpdateSession& session);
    // Where the session stands or how it ended, for a table row that names the unit already.
    static QString row(const UpdateSession& session);
    // The firmware the unit reported when asked after its update, for a table cell; empty
    // until it was asked.
    static QString rowAfter(const UpdateSession& session);
    // Why the session could not add the update to the history, as a sentence; empty when it did.
    static QString historyProblem(const UpdateSession& session);
};

#pragma once

#include "mlpupdateoutcome.h"

#include <QCoreApplication>
#include <QString>

// How the window words an update's outcome for the person at the device: what went wrong,
// where, and what to do next.
class UpdateVerdictText
{
    Q_DECLARE_TR_FUNCTIONS(UpdateVerdictText)

public:
    // Why a failed update failed, and the next step.
    static QString failure(const MLPUpdateOutcome& outcome);
};

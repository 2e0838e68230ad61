#pragma once

#include "mlpupdateoutcome.h"
#include "mlu2fileproblem.h"
#include "updatefileverdict.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>

// How the window words the update check's verdict and an update's outcome for the person
// at the device: what is wrong, with the facts behind it, and what to do next.
class UpdateVerdictText
{
    Q_DECLARE_TR_FUNCTIONS(UpdateVerdictText)

public:
    // Why an update file cannot be used.
    static QString fileProblem(const MLU2FileProblem& problem);
    // The Update button's tool tip: what it would write, or why it cannot. deviceFwVersion
    // is BCD, as the device reports it; noFileText says what is missing when no file is chosen.
    static QString toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                           const QString& noFileText);
    // Why a failed update failed, and the next step.
    static QString failure(const MLPUpdateOutcome& outcome);
};

#pragma once

#include "rigrows.h"
#include "unitplan.h"
#include "updatecounts.h"

#include <QCoreApplication>
#include <QString>

// How Update All words its run once planned: each row's unit, the question before Start, the
// line under the table while units are written or watched, and the summary of a run.
class RigRunText
{
    Q_DECLARE_TR_FUNCTIONS(RigRunText)

public:
    // The unit column: its link and serial number, or where a device that could not be
    // opened sits on the bus.
    static QString unit(const UnitPlan& plan);
    // The firmware it reported when listed; empty where it could not be asked.
    static QString before(const UnitPlan& plan);
    // Under the question before Start.
    static QString startQuestion(bool unsignedFiles);
    // While a run goes on or a watch waits; empty when neither.
    static QString status(const RigRows::Progress& progress, bool stopping, bool programEnds, bool watching,
                          int writtenSoFar);
    // "3 updated, 1 failed, 0 not started."
    static QString summary(const UpdateCounts& counts);
};

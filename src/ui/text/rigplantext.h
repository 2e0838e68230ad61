#pragma once

#include "unitplan.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

// How Update All words its plan: what it does with each unit before the run, which files go
// to how many units, and the plan above the table. The plan is UpdatePlanner's; these are
// only its words.
class RigPlanText
{
    Q_DECLARE_TR_FUNCTIONS(RigPlanText)

public:
    // A unit's row before the run. notFitting says why the file does not fit it, in the words
    // the window's check uses.
    static QString row(const UnitPlan& plan, const QString& notFitting);
    // "1 unit", "3 units".
    static QString unitCount(int count);
    // One sentence per file, for the units the run writes: the units of one model share theirs.
    static QString files(const QList<UnitPlan>& written);
    // The plan above the table: the files, or why nothing is written; that greyed units are
    // left as they are; and that units left alone for their firmware may be ticked below.
    static QString plan(const QList<UnitPlan>& units, bool leftAloneOffered);
};

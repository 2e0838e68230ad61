#pragma once

#include "unitplan.h"
#include "updatesession.h"

// How many units of a run came to what, counted once from the sessions' verdicts and from
// the plan's units that got no session, for every front end's summary alike.
struct UpdateCounts
{
    int confirmed = 0;
    // Took the whole file, but do not report its firmware afterwards.
    int unconfirmed = 0;
    // Did not take the whole file, were refused, or were not reached on their link.
    int failed = 0;
    int notStarted = 0;
    // Left alone for the firmware they run, by the plan or at their link.
    int leftAlone = 0;
    // The file does not fit them.
    int notFitting = 0;
    // Could not be asked when listed: no answer, held by another program, not accessible.
    int unreached = 0;

    // An ended session.
    void add(UpdateSession::Verdict verdict);
    // A unit the plan gave no session.
    void add(const UnitPlan& plan);
    // Sessions that were to write their unit.
    int updates() const { return confirmed + unconfirmed + failed + notStarted; }
};

#pragma once

#include "mlpupdateoutcome.h"
#include "updatecounts.h"
#include "updateplan.h"
#include "updatesession.h"

#include <QString>

#include <optional>

// What the update of one planned unit came to: its session's verdict, in the command-line
// tool's words; the single update and update --all take an ended session the same way, by of().
struct UpdateResult
{
    // The session's own verdict, judged once for every front end.
    using Verdict = UpdateSession::Verdict;

    // The result of a session that has ended, for the item it was started for.
    static UpdateResult of(const UpdatePlan::Item& item, const UpdateSession& session);
    // A unit whose session never started.
    static UpdateResult notStarted(const UpdatePlan::Item& item);
    // What a run's units came to: the results, and the listed devices the plan wrote nothing to.
    static UpdateCounts counts(const QList<UpdateResult>& results, const QList<UpdatePlan::Skipped>& skipped);

    UpdatePlan::Item item;
    Verdict verdict = Verdict::Failed;
    // Why it did not succeed, as a clause ("DEMO-A on maker USB M1 did not answer ...").
    QString reason;
    // What the person at the bench should do about it, as a sentence.
    QString nextStep;
    // The update request's own account, once it ran.
    std::optional<MLPUpdateOutcome> outcome;
    // The firmware version the unit reported when asked after the file went out; empty
    // when it did not answer.
    QString versionAfter;
    // Set when the history could not be written; the update's verdict stands regardless.
    QString historyWarning;

    bool confirmed() const { return verdict == Verdict::Confirmed; }
    // The device took the whole file, confirmed or not.
    bool written() const { return verdict == Verdict::Confirmed || verdict == Verdict::TookFileUnconfirmed; }
};

#pragma once

#include "mlpupdateoutcome.h"
#include "updateplan.h"

#include <QString>

#include <optional>

class UpdateSession;

// What the update of one planned unit came to, in the command-line tool's verdicts and
// words; the single update and update --all judge an ended session the same way, by of().
struct UpdateResult
{
    enum class Verdict
    {
        Succeeded,
        // Nothing was sent: the unit did not answer on its link.
        NoAnswer,
        // Nothing was sent: the unit is no longer attached, or another model answers on
        // its link.
        DevicesChanged,
        // The unit took the whole file, but reports another firmware afterwards or did not
        // answer within the bound for a restart.
        Unconfirmed,
        // The update was started and the device did not take all of it, or the request
        // refused it (outcome tells why).
        Failed,
        // Nothing was sent: the run was stopped before the unit's first byte, waiting for its
        // turn or still being checked.
        NotStarted,
    };

    // The result of a session that has ended, for the item it was started for.
    static UpdateResult of(const UpdatePlan::Item& item, const UpdateSession& session);
    // A unit whose session never started.
    static UpdateResult notStarted(const UpdatePlan::Item& item);

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

    bool succeeded() const { return verdict == Verdict::Succeeded; }
    // The device took the whole file, confirmed or not.
    bool written() const { return verdict == Verdict::Succeeded || verdict == Verdict::Unconfirmed; }
};

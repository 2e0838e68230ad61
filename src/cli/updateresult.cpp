#include "updateresult.h"

#include "mlpdeviceinfonode.h"
#include "updatesession.h"
#include "updatetext.h"

UpdateResult UpdateResult::of(const UpdatePlan::Item& item, const UpdateSession& session)
{
    UpdateResult result;
    result.item = item;
    // Before is what the unit reported just before its write, where it was found then.
    if (session.outcome().deviceAnswered) {
        result.item.device = session.unit();
    }
    result.reason = UpdateText::reason(session);
    result.nextStep = UpdateText::nextStep(session);
    result.outcome = session.outcome();
    result.verdict = session.verdict();
    if (session.outcome().answeredAfter) {
        result.versionAfter = MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion);
    }
    if (!session.historyProblem().isEmpty()) {
        result.historyWarning =
            QStringLiteral("The update history was not written: %1.").arg(session.historyProblem());
    }
    return result;
}

UpdateCounts UpdateResult::counts(const QList<UpdateResult>& results,
                                  const QList<UpdatePlan::Skipped>& skipped)
{
    UpdateCounts counts;
    for (const UpdateResult& result : results) {
        counts.add(result.verdict);
    }
    for (const UpdatePlan::Skipped& skip : skipped) {
        UnitPlan unit;
        unit.decision = skip.decision;
        counts.add(unit);
    }
    return counts;
}

UpdateResult UpdateResult::notStarted(const UpdatePlan::Item& item)
{
    UpdateResult result;
    result.item = item;
    result.verdict = Verdict::NotStarted;
    // In the words of a session stopped before its first byte.
    MLPUpdateOutcome stopped;
    stopped.phase = MLPUpdateOutcome::Phase::Stopped;
    result.reason = UpdateText::failure(stopped);
    result.nextStep = UpdateText::nextStep(stopped);
    return result;
}

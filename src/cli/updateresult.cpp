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
    switch (session.refusal()) {
    case UpdateSession::Refusal::NoAnswer:
    case UpdateSession::Refusal::Held:
    case UpdateSession::Refusal::NotAccessible:
        result.verdict = Verdict::NoAnswer;
        break;
    case UpdateSession::Refusal::NotAttached:
    case UpdateSession::Refusal::OtherUnit:
        result.verdict = Verdict::DevicesChanged;
        break;
    case UpdateSession::Refusal::Stopped:
        result.verdict = Verdict::NotStarted;
        break;
    case UpdateSession::Refusal::Request:
    case UpdateSession::Refusal::LeftAlone:
    case UpdateSession::Refusal::None:
        result.verdict = session.succeeded()                                    ? Verdict::Succeeded
                         : session.state() == UpdateSession::State::Unconfirmed ? Verdict::Unconfirmed
                                                                                : Verdict::Failed;
        break;
    }
    if (session.outcome().answeredAfter) {
        result.versionAfter = MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion);
    }
    if (!session.historyProblem().isEmpty()) {
        result.historyWarning =
            QStringLiteral("The update history was not written: %1.").arg(session.historyProblem());
    }
    return result;
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

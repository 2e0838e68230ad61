#include "updatecounts.h"

void UpdateCounts::add(UpdateSession::Verdict verdict)
{
    using Verdict = UpdateSession::Verdict;
    switch (verdict) {
    case Verdict::Confirmed:
        ++confirmed;
        return;
    case Verdict::TookFileUnconfirmed:
        ++unconfirmed;
        return;
    case Verdict::Failed:
    case Verdict::NotReached:
        ++failed;
        return;
    case Verdict::NotStarted:
        ++notStarted;
        return;
    case Verdict::LeftAlone:
        ++leftAlone;
        return;
    }
}

void UpdateCounts::add(const UnitPlan& plan)
{
    using Decision = UnitPlan::Decision;
    switch (plan.decision) {
    case Decision::Write:
        return;
    case Decision::LeaveAlone:
        ++leftAlone;
        return;
    case Decision::DoesNotFit:
        ++notFitting;
        return;
    case Decision::NoAnswer:
    case Decision::Held:
    case Decision::NotAccessible:
        ++unreached;
        return;
    }
}

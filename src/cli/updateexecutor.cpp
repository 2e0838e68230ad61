#include "updateexecutor.h"

#include "clidevicesession.h"
#include "mlpdeviceinfonode.h"
#include "updatesession.h"
#include "updatetext.h"

#include <QEventLoop>

UpdateExecutor::UpdateExecutor(CliDeviceSession& devices, const QString& historyPath)
    : m_devices(devices), m_historyPath(historyPath)
{}

UpdateExecutor::Result UpdateExecutor::run(const UpdatePlan::Item& item,
                                           const std::function<void(int)>& progress)
{
    UpdateSession session(m_devices.thread(), m_historyPath);
    QEventLoop loop;
    QObject::connect(&session, &UpdateSession::progress, &loop, progress);
    QObject::connect(&session, &UpdateSession::stateChanged, &loop, [&] {
        if (session.hasEnded()) {
            loop.quit();
        }
    });
    session.start(item.device, item.filePath);
    if (!session.hasEnded()) {
        loop.exec();
    }

    Result result;
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
        result.verdict = Result::Verdict::NoAnswer;
        break;
    case UpdateSession::Refusal::NotAttached:
    case UpdateSession::Refusal::OtherUnit:
        result.verdict = Result::Verdict::DevicesChanged;
        break;
    case UpdateSession::Refusal::Request:
    case UpdateSession::Refusal::Stopped:
    case UpdateSession::Refusal::LeftAlone:
    case UpdateSession::Refusal::None:
        result.verdict = session.succeeded()                                    ? Result::Verdict::Succeeded
                         : session.state() == UpdateSession::State::Unconfirmed ? Result::Verdict::Unconfirmed
                                                                                : Result::Verdict::Failed;
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

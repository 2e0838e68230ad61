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
    result.reason = UpdateText::reason(session);
    result.nextStep = UpdateText::nextStep(session);
    if (session.state() != UpdateSession::State::Refused ||
        session.refusal() == UpdateSession::Refusal::Request) {
        result.outcome = session.outcome();
    }
    switch (session.refusal()) {
    case UpdateSession::Refusal::NoAnswer:
        result.verdict = Result::Verdict::NoAnswer;
        break;
    case UpdateSession::Refusal::OtherUnit:
        result.verdict = Result::Verdict::DevicesChanged;
        break;
    case UpdateSession::Refusal::Request:
    case UpdateSession::Refusal::None:
        result.verdict = session.succeeded() ? Result::Verdict::Succeeded : Result::Verdict::Failed;
        break;
    }
    if (!session.unitAfter().model.isEmpty()) {
        result.versionAfter = MLPDeviceInfoNode::versionText(session.unitAfter().fwVersion);
    }
    if (!session.historyProblem().isEmpty()) {
        result.historyWarning =
            QStringLiteral("The update history was not written: %1.").arg(session.historyProblem());
    }
    return result;
}

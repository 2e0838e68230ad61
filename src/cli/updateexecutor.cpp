#include "updateexecutor.h"

#include "clidevicesession.h"
#include "updatesession.h"

#include <QEventLoop>

UpdateExecutor::UpdateExecutor(CliDeviceSession& devices, const QString& historyPath)
    : m_devices(devices), m_historyPath(historyPath)
{}

UpdateResult UpdateExecutor::run(const UpdatePlan::Item& item, const std::function<void(int)>& progress)
{
    UpdateSession session(m_devices.thread(), m_historyPath);
    if (item.allowUnsigned) {
        session.allowUnsigned();
    }
    QEventLoop loop;
    QObject::connect(&session, &UpdateSession::progress, &loop, progress);
    QObject::connect(&session, &UpdateSession::stateChanged, &loop, [&] {
        if (session.hasEnded()) {
            loop.quit();
        }
    });
    session.start(item.device, item.image);
    if (!session.hasEnded()) {
        loop.exec();
    }
    return UpdateResult::of(item, session);
}

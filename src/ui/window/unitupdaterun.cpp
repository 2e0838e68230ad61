#include "unitupdaterun.h"

#include "mlpworkerthread.h"
#include "updatehistory.h"
#include "updatesession.h"

void UnitUpdateRun::start(MLPWorkerThread& thread, const UnitUpdateFile& target, bool allowUnsigned)
{
    recycle();
    m_session = new UpdateSession(thread, UpdateHistory::defaultPath(), this);
    if (allowUnsigned) {
        m_session->allowUnsigned();
    }
    connect(m_session, &UpdateSession::progress, this, &UnitUpdateRun::progress);
    connect(m_session, &UpdateSession::stateChanged, this, &UnitUpdateRun::sessionStateChanged);
    m_session->start(target.unit, target.image);
}

bool UnitUpdateRun::isRunning() const
{
    return m_session && !m_session->hasEnded();
}

bool UnitUpdateRun::tellsOfSilence() const
{
    return m_session && (!m_session->hasEnded() || (m_session->state() == UpdateSession::State::Unconfirmed &&
                                                    !m_session->outcome().answeredAfter));
}

void UnitUpdateRun::recycle()
{
    if (m_session && m_session->hasEnded()) {
        // Later: a retry starts from within the ended session's last signal.
        m_session->deleteLater();
        m_session = nullptr;
    }
}

void UnitUpdateRun::sessionStateChanged()
{
    emit stateChanged();
    if (!m_session->hasEnded()) {
        if (m_session->state() == UpdateSession::State::Verifying) {
            emit written();
        }
        return;
    }
    switch (m_session->verdict()) {
    case UpdateSession::Verdict::Confirmed:
        emit done();
        return;
    case UpdateSession::Verdict::TookFileUnconfirmed:
        emit unconfirmed();
        return;
    case UpdateSession::Verdict::Failed:
    case UpdateSession::Verdict::NotReached:
    case UpdateSession::Verdict::NotStarted:
    case UpdateSession::Verdict::LeftAlone:
        break;
    }
    // The session's outcome tells why; the window's slot takes the request's kind of signal.
    emit failed(MLPWorkerRequestI::OperationFailed);
}

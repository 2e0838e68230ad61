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
    m_session->start(target.unit, target.filePath);
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
    using State = UpdateSession::State;
    const State state = m_session->state();
    if (state == State::Failed || state == State::Refused) {
        // The session's outcome tells why; the window's slot takes the request's kind of signal.
        emit failed(MLPWorkerRequestI::OperationFailed);
        return;
    }
    if (state == State::Verifying) {
        emit written();
    }
    if (state == State::Done) {
        emit done();
    } else if (state == State::Unconfirmed) {
        emit unconfirmed();
    }
}

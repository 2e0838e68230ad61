#include "unitupdaterun.h"

#include "mlpworkerthread.h"
#include "updatehistory.h"
#include "updatesession.h"

void UnitUpdateRun::start(MLPWorkerThread& thread, const UnitUpdateFile& target, bool selectFirst)
{
    recycle();
    m_written = false;
    m_session = new UpdateSession(thread, UpdateHistory::defaultPath(), this);
    connect(m_session, &UpdateSession::progress, this, &UnitUpdateRun::progress);
    connect(m_session, &UpdateSession::stateChanged, this, &UnitUpdateRun::sessionStateChanged);
    if (selectFirst) {
        m_session->start(target.unit, target.filePath);
    } else {
        m_session->startOnSelected(target.unit, target.filePath);
    }
}

bool UnitUpdateRun::isRunning() const
{
    return m_session && !m_session->hasEnded();
}

bool UnitUpdateRun::tellsOfSilence() const
{
    return m_session &&
           (!m_session->hasEnded() || (m_session->succeeded() && m_session->unitAfter().model.isEmpty()));
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
    // Done comes straight from writing when the unit was not listed to be asked again.
    if (!m_written && (state == State::Verifying || state == State::Done)) {
        m_written = true;
        emit written();
    }
    if (state == State::Done) {
        emit done();
    }
}

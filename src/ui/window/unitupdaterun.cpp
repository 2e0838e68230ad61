#include "unitupdaterun.h"

#include "mlpworkerthread.h"
#include "statusline.h"
#include "unitlist.h"
#include "updatefailurebox.h"
#include "updatehistory.h"
#include "updatesession.h"
#include "updateverdicttext.h"

#include <QWidget>

UnitUpdateRun::UnitUpdateRun(QWidget* window, StatusLine& status)
    : QObject(window), m_window(window), m_status(status)
{}

bool UnitUpdateRun::start(MLPWorkerThread& thread, const UnitUpdateFile& target)
{
    if (!m_unsignedQuestion.allows(m_window, target)) {
        return false;
    }
    recycle();
    m_target = target;
    m_session = new UpdateSession(thread, UpdateHistory::defaultPath(), this);
    if (!target.verdict.signature.trusted()) {
        m_session->allowUnsigned();
    }
    connect(m_session, &UpdateSession::progress, this, &UnitUpdateRun::progress);
    connect(m_session, &UpdateSession::stateChanged, this, &UnitUpdateRun::sessionStateChanged);
    m_session->start(target.unit, target.image);
    m_status.startWriting(UpdateVerdictText::writing(target.verdict, target.unit));
    return true;
}

bool UnitUpdateRun::offerRetry(MLPWorkerThread& thread, const QString& reason, const UnitList& units,
                               bool listSettled)
{
    // The same unit and the very bytes it failed with, whatever the window shows meanwhile.
    const UnitUpdateFile again{m_session->unit(), m_session->image(), m_target.verdict, {}};
    m_offeringRetry = true;
    const bool retry = UpdateFailureBox::exec(m_window, reason, units.lists(again.unit));
    m_offeringRetry = false;
    // The unit may have gone while the box was open; then its loss is what the line tells.
    return retry && listSettled && !isRunning() && units.lists(again.unit) && start(thread, again);
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
        m_status.setOutcome(UpdateVerdictText::succeeded(*m_session) + QLatin1Char(' ') +
                            UpdateVerdictText::afterwards(*m_session));
        return;
    case UpdateSession::Verdict::TookFileUnconfirmed:
        m_status.setOutcome(UpdateVerdictText::failed(*m_session));
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

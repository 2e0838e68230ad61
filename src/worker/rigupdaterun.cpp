#include "rigupdaterun.h"

#include "updatesession.h"

#include <QTimer>

RigUpdateRun::RigUpdateRun(MLPWorkerThread& thread, const QString& historyPath, QObject* parent)
    : QObject(parent), m_thread(thread), m_historyPath(historyPath)
{}

RigUpdateRun::~RigUpdateRun() = default;

int RigUpdateRun::add(const MLPDeviceInfoNode& unit, const UpdateImage& image)
{
    const int number = m_added++;
    m_waiting.append(Waiting{number, unit, image});
    // Started from the loop, so that the caller knows the unit's number before any of its news.
    if (!m_startPosted) {
        m_startPosted = true;
        QTimer::singleShot(0, this, [this] {
            m_startPosted = false;
            startWaiting();
        });
    }
    return number;
}

QList<int> RigUpdateRun::stop()
{
    QList<int> notStarted;
    for (const Waiting& waiting : std::as_const(m_waiting)) {
        notStarted << waiting.unit;
    }
    m_waiting.clear();
    for (const auto& running : std::as_const(m_running)) {
        running.second->stopBeforeWriting();
    }
    // Told from the loop, once the caller has dealt with the units that will not start.
    if (m_running.isEmpty() && !notStarted.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            if (!isRunning()) {
                emit finished();
            }
        });
    }
    return notStarted;
}

QList<MLPDeviceInfoNode> RigUpdateRun::unitsInRun() const
{
    QList<MLPDeviceInfoNode> units;
    for (const Waiting& waiting : m_waiting) {
        units << waiting.device;
    }
    for (const auto& running : m_running) {
        units << running.second->unit();
    }
    return units;
}

void RigUpdateRun::startWaiting()
{
    while (!m_waiting.isEmpty() && (m_maxAtOnce <= 0 || m_running.size() < m_maxAtOnce)) {
        const Waiting next = m_waiting.takeFirst();
        auto* session = new UpdateSession(m_thread, m_historyPath, this);
        session->runBesideOthers();
        if (m_allowUnsigned) {
            session->allowUnsigned();
        }
        m_running.append({next.unit, session});
        const int unit = next.unit;
        connect(session, &UpdateSession::progress, this,
                [this, unit](int percent) { emit unitProgress(unit, percent); });
        connect(session, &UpdateSession::stateChanged, this,
                [this, unit, session] { sessionStateChanged(unit, session); });
        session->start(next.device, next.image, m_leaveAlone);
    }
}

void RigUpdateRun::sessionStateChanged(int unit, UpdateSession* session)
{
    emit unitStateChanged(unit, *session);
    if (!session->hasEnded()) {
        return;
    }
    for (int index = 0; index < m_running.size(); ++index) {
        if (m_running.at(index).second == session) {
            m_running.removeAt(index);
            break;
        }
    }
    emit unitEnded(unit, *session);
    // The session is still telling its end; it goes once that is done.
    session->deleteLater();
    startWaiting();
    if (!isRunning()) {
        emit finished();
    }
}

#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpupdatefirmwarerequest.h"

#include <QList>
#include <QObject>
#include <QString>

class MLPWorkerThread;
class UpdateSession;

// A rig's units updated side by side: each unit by an UpdateSession of its own, on a thread
// and a link of its own, opened by its identity. At most maxAtOnce units are checked,
// written or asked again at a time (all by default; one for a hub that cannot carry more);
// the next waiting unit starts as soon as one ends. A unit that fails does not stop the
// others. Each unit is known by the number add() gave it, counting from 0 in the order added.
class RigUpdateRun : public QObject
{
    Q_OBJECT

public:
    RigUpdateRun(MLPWorkerThread& thread, const QString& historyPath, QObject* parent = nullptr);
    // Keep the run until finished(): a unit being written must be heard to its end.
    ~RigUpdateRun() override;

    // 0 (the default) starts every unit at once.
    void setMaxAtOnce(int count) { m_maxAtOnce = count; }
    void setLeaveAlone(MLPUpdateFirmwareRequest::LeaveAlone leaveAlone) { m_leaveAlone = leaveAlone; }
    // Every unit's session also writes a file no trusted key signed.
    void allowUnsigned() { m_allowUnsigned = true; }

    // Queues the unit; it starts from the event loop once fewer than maxAtOnce run.
    // Every unit given the same image is written from the same bytes.
    int add(const MLPDeviceInfoNode& unit, const UpdateImage& image);
    // No waiting unit starts any more, and a unit still being checked is not written; a
    // write under way runs to its end. Returns the waiting units, which will not start.
    QList<int> stop();

    // A unit waits, or is checked, written or asked again.
    bool isRunning() const { return !m_waiting.isEmpty() || !m_running.isEmpty(); }
    // The units waiting, or being checked, written or asked again, as they were given.
    QList<MLPDeviceInfoNode> unitsInRun() const;

signals:
    // Each state of the unit's session from Checking on; the session is the unit's own.
    void unitStateChanged(int unit, const UpdateSession& session);
    void unitProgress(int unit, int percent);
    // The unit's session has ended; it is deleted after this.
    void unitEnded(int unit, const UpdateSession& session);
    // No unit waits or runs any more.
    void finished();

private:
    struct Waiting
    {
        int unit;
        MLPDeviceInfoNode device;
        UpdateImage image;
    };

    void startWaiting();
    void sessionStateChanged(int unit, UpdateSession* session);

    MLPWorkerThread& m_thread;
    QString m_historyPath;
    int m_maxAtOnce = 0;
    MLPUpdateFirmwareRequest::LeaveAlone m_leaveAlone;
    bool m_allowUnsigned = false;
    int m_added = 0;
    QList<Waiting> m_waiting;
    // Children of the run, by unit; each deleted once it has told its end.
    QList<QPair<int, UpdateSession*>> m_running;
    bool m_startPosted = false;
};

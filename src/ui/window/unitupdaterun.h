#pragma once

#include "mlpworkerrequesti.h"
#include "unitupdatefile.h"

#include <QObject>

class MLPWorkerThread;
class UpdateSession;

// The window's update of one unit: one UpdateSession at a time, its states turned into the
// moments the window acts on. The last session stays readable until the next one starts.
class UnitUpdateRun : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Writes the target's file to its unit; selectFirst when the thread may be talking to
    // another unit. The request checks the file once more as it reads it for sending.
    void start(MLPWorkerThread& thread, const UnitUpdateFile& target, bool selectFirst);
    bool isRunning() const;
    // The session running or run last; null before the first and after recycle().
    const UpdateSession* session() const { return m_session; }
    // Whether a unit falling silent now is the update's to tell: it is being written, or it
    // took the file and did not answer afterwards (it may be restarting).
    bool tellsOfSilence() const;
    // Drops the last session once it has ended; a running one is never cut short.
    void recycle();

signals:
    // Every change of the session's state, before the moment it means.
    void stateChanged();
    void progress(int percent);
    // The device took the whole file.
    void written();
    // The update has ended well; the unit has been asked what it runs now, where it could be.
    void done();
    // The update ended before the device took the whole file.
    void failed(MLPWorkerRequestI::failReason reason);

private:
    void sessionStateChanged();

    UpdateSession* m_session = nullptr;
    bool m_written = false;
};

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

    // Writes the target's file to its unit, found by its identity on its own link; the
    // request checks the unit and the file once more before any byte goes out. A file no
    // trusted key signed is written only with allowUnsigned.
    void start(MLPWorkerThread& thread, const UnitUpdateFile& target, bool allowUnsigned);
    bool isRunning() const;
    // The session running or run last; null before the first and after recycle().
    const UpdateSession* session() const { return m_session; }
    // Whether a unit falling silent now is the update's to tell: it is being written, or it
    // took the file and did not answer afterwards.
    bool tellsOfSilence() const;
    // Drops the last session once it has ended; a running one is never cut short.
    void recycle();

signals:
    // Every change of the session's state, before the moment it means.
    void stateChanged();
    void progress(int percent);
    // The device took the whole file; the unit is asked what it runs now.
    void written();
    // The update has ended well: the unit reports the file's firmware.
    void done();
    // The unit took the whole file but reports another firmware, or did not answer.
    void unconfirmed();
    // The update ended before the device took the whole file.
    void failed(MLPWorkerRequestI::failReason reason);

private:
    void sessionStateChanged();

    UpdateSession* m_session = nullptr;
};

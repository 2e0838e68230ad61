#pragma once

#include "mlpworkerrequesti.h"
#include "unitupdatefile.h"
#include "unsignedfilequestion.h"

#include <QObject>
#include <QString>

class MLPWorkerThread;
class QWidget;
class StatusLine;
class UnitList;
class UpdateSession;

// The window's update of one unit: one UpdateSession at a time, its states turned into the
// moments the window acts on, and the questions asked before and after it. The last session
// stays readable until the next one starts.
class UnitUpdateRun : public QObject
{
    Q_OBJECT

public:
    // The questions are the window's. The status line tells of each start, and of what the
    // unit answered after it took the file; the window tells the rest.
    UnitUpdateRun(QWidget* window, StatusLine& status);

    // Writes the target's file to its unit, found by its identity on its own link; the
    // request checks the unit and the file once more before any byte goes out. A file no
    // trusted key signed is written only when the person says so: false when they would not.
    bool start(MLPWorkerThread& thread, const UnitUpdateFile& target);
    // After a failure told as `reason`: offers to write the same image to the same unit again
    // while `units` lists it, and does so when the person chooses Retry, unless the list is
    // being read again (`listSettled` false) or another update runs. False when it did not
    // start again.
    bool offerRetry(MLPWorkerThread& thread, const QString& reason, const UnitList& units, bool listSettled);
    // The failure box is open: the list it speaks of must stay as it is.
    bool isOfferingRetry() const { return m_offeringRetry; }
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
    // The update ended before the device took the whole file.
    void failed(MLPWorkerRequestI::failReason reason);

private:
    void sessionStateChanged();

    QWidget* m_window;
    StatusLine& m_status;
    UnsignedFileQuestion m_unsignedQuestion;
    // The file started last, with the verdict that let it start.
    UnitUpdateFile m_target;
    UpdateSession* m_session = nullptr;
    bool m_offeringRetry = false;
};

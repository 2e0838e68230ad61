#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpworkerthread.h"
#include "sleepinhibitor.h"

#include <QList>
#include <QObject>

// The command-line tool's worker thread: started on first use, stopped and joined when the
// session ends. discover() waits in a local event loop for the thread's signal, which
// reaches this thread queued; updates run as update sessions on thread(), and the machine
// does not sleep or shut down unasked while one writes.
class CliDeviceSession : public QObject
{
    Q_OBJECT

public:
    explicit CliDeviceSession(QObject* parent = nullptr);
    ~CliDeviceSession() override;

    // Every exchange of the discoveries and selections that follow, and so of the updates on
    // the selected device, is reported to trace on the worker thread.
    void setFrameTrace(MLPFrameTraceFunction trace, void* context);

    QList<MLPDeviceInfoNode> discover();
    // The running worker thread.
    MLPWorkerThread& thread();

    // Ends the thread's loop after the running request and joins it.
    void stop();

private:
    MLPWorkerThread m_thread;
    SleepInhibitor m_sleepInhibitor;
};

#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpupdateoutcome.h"
#include "mlpworkerthread.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class MLPUpdateFirmwareRequest;

// The command-line tool's use of the worker thread, in the same steps as the window:
// a discovery, the selection of one discovered device, then an update request posted to
// the thread. Each step waits in a local event loop for the thread's signal, which reaches
// this thread queued. The thread is started on first use and stopped and joined when the
// session ends.
class CliDeviceSession : public QObject
{
    Q_OBJECT

public:
    struct Selection
    {
        bool answered = false;
        // The unit that answered, as it described itself.
        MLPDeviceInfoNode device;
    };

    explicit CliDeviceSession(QObject* parent = nullptr);
    ~CliDeviceSession() override;

    // Every exchange of the discoveries and selections that follow, and so of the updates on
    // the selected device, is reported to trace on the worker thread.
    void setFrameTrace(MLPFrameTraceFunction trace, void* context);

    QList<MLPDeviceInfoNode> discover();
    // index into the list of the last discover().
    Selection select(int index);
    // Writes the file to the selected device; progress gets percents as segments are
    // acknowledged. The request's outcome, read once its final signal has arrived.
    MLPUpdateOutcome update(const QString& path, const std::function<void(int)>& progress);

    // Ends the thread's loop after the running request and joins it.
    void stop();

private:
    void ensureStarted();

    MLPWorkerThread m_thread;
    // Kept until the thread is joined, so that nothing on the worker thread can still be
    // returning from its run when it is deleted.
    std::unique_ptr<MLPUpdateFirmwareRequest> m_updateRequest;
};

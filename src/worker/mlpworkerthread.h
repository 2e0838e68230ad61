#pragma once

#include "missingdevices.h"
#include "mlpdeviceinfonode.h"
#include "mlpworkercontext.h"
#include "mlpworkerrequesti.h"
#include "unitthreadpool.h"
#include "updatesunderway.h"

#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>

class MLPConnection;
class QElapsedTimer;
class MLPPingRequest;
class MLPDiscoverRequest;
class MLPSelectDeviceRequest;
class SleepInhibitor;

namespace marlune::MLP {
class MLPPhy;
}

// The one thread on which all device traffic runs. Its loop runs one request at a time:
// a posted one when there is one, otherwise a ping of the selected device. It runs no
// event loop: the owned requests are connected to its slots directly, so the slots and
// the thread's own signals run on the worker thread and reach the window queued.
//
// Posted requests run in the order they were posted; an update posted to run beside others
// gets a thread of its own from the loop, in that order, after the loop has let go of its
// own device. The thread's own requests (discover,
// select) share one pending place: a newer post replaces an older one that has not
// started. Update requests are never replaced that way: a request that never ran would
// never signal, and the window would wait for it for ever.
class MLPWorkerThread : public QThread
{
    Q_OBJECT

public:
    explicit MLPWorkerThread(QObject* parent = nullptr);
    ~MLPWorkerThread() override;

    // Lists and asks every attached unit but those left out, which are only listed.
    void postDiscover(const QList<MLPDeviceInfoNode>& leaveOut = {});
    // Makes the unit the thread's device, found by its identity (link kind and serial number;
    // the address only where no serial number was read).
    void postSelect(const MLPDeviceInfoNode& unit);
    // The unit at that position of the last discovery's list; none past its end.
    void selectDevice(int index);
    // An update opens its unit's link itself; the thread's own device is let go first, and
    // nothing is selected afterwards until the next selection.
    void postUpdate(MLPWorkerRequestI* request);
    // As postUpdate, but the request runs on a thread of its own with a link of its own, so
    // that updates of several units run side by side. The thread's own device is let go
    // before it starts; the loop goes on with the next posted request meanwhile.
    void postUpdateBeside(MLPWorkerRequestI* request);
    // Takes a posted update back, from any thread but the ones that run it: one that has not
    // started is dropped and never runs; one running, here or beside, is waited for, its write
    // running to its end. Its owner may delete it afterwards.
    void withdraw(const MLPWorkerRequestI* request);
    QList<MLPDeviceInfoNode> discoveredDevices() const;
    // Every unit the last discovery found attached, answering or not, by its address, link
    // kind and serial number.
    QList<MLPDeviceInfoNode> attachedUnits() const;
    // All the last discovery saw but could not list, and why.
    MissingDevices missingDevices() const;

    // Starts the loop, first clearing a stop left from an earlier run. Cleared here rather
    // than in run(): a stop() made right after start() would otherwise be lost if the new
    // thread had not reached that line yet, and wait() would never return.
    void start(Priority priority = InheritPriority);
    // Every connection a request posted from now on makes reports each of its exchanges to
    // trace, called on the worker thread; null stops it.
    void setFrameTrace(MLPFrameTraceFunction trace, void* context);

    // Ends the loop after the request that is running; wait() then joins the thread.
    void stop();

    // True while an update runs, here or beside, from the check of its unit to the questions
    // asked afterwards; safe to ask from any thread.
    bool hasUpdateUnderWay() const { return m_updates.any(); }
    // Held from the start of each update to its end; no unit's first byte goes out before it
    // is held, or has given up within its bound. Null holds none; returns once the one before
    // is no longer used.
    void setSleepLock(SleepInhibitor* lock) { m_updates.setSleepLock(lock); }

signals:
    void lostConnection();
    void deviceDiscoverFinsihed();
    void deviceSelectionFinished(uint16_t fwVersion, uint16_t hwVersion);
    // Follows every deviceSelectionFinished and says whether the device answered, so that no
    // receiver has to read "did not answer" from the versions, and which unit it was: the
    // whole record it answered with, its link kind and serial number.
    void deviceSelectionAnswered(bool answered, const MLPDeviceInfoNode& device);
    // Around the updates: started as the first of them begins (the check of its unit),
    // finished as the last of those running side by side ends (after the questions asked
    // afterwards).
    void deviceWriteStarted();
    void deviceWriteFinished();

private slots:
    void pingFinished();
    void discoverFinished();
    void selectDeviceFinished();
    void pingFailed(MLPWorkerRequestI::failReason reason);
    void discoverFailed(MLPWorkerRequestI::failReason reason);
    void selectDeviceFailed(MLPWorkerRequestI::failReason reason);

protected:
    void run() override;

private:
    void pickNextRequest();
    void restAfterFailedPing(const QElapsedTimer& running);
    bool hasPendingRequest();
    void postOwnRequest(MLPWorkerRequestI* request, MLPWorkerContext* context);
    void releaseDevice();
    void startBeside(MLPWorkerRequestI* request, const MLPWorkerContext& context);
    void runCurrentRequest();

    QMutex m_mutex;
    MLPConnection* m_connection = nullptr;
    marlune::MLP::MLPPhy* m_link = nullptr;
    MLPWorkerRequestI* m_currentRequest = nullptr;
    // Set under the mutex from the current request's hand-over to the end of its run;
    // withdraw() waits on it.
    bool m_runningCurrent = false;
    QWaitCondition m_currentEnded;
    // The running request works on a copy taken at hand-over, so a post made meanwhile
    // (which rewrites the shared contexts under the mutex) cannot change it mid-run.
    MLPWorkerContext m_currentContext;
    struct PendingRequest
    {
        MLPWorkerRequestI* request;
        MLPWorkerContext* context;
        bool beside;
    };
    QList<PendingRequest> m_pendingRequests;
    // Updates here and beside; its signals are the thread's deviceWriteStarted and
    // deviceWriteFinished.
    UpdatesUnderWay m_updates;
    // Updates running beside the loop; started and reaped on the worker thread, joined by the
    // destructor once the loop has ended.
    UnitThreadPool m_unitThreads{m_updates};

    MLPPingRequest* m_pingRequest = nullptr;
    MLPDiscoverRequest* m_discoverRequest = nullptr;
    MLPSelectDeviceRequest* m_selectRequest = nullptr;

    MLPWorkerContext m_pingContext;
    MLPWorkerContext m_selectContext;
    MLPWorkerContext m_discoverContext;
    MLPWorkerContext m_updateContext;

    MLPFrameTraceFunction m_frameTrace = nullptr;
    void* m_frameTraceContext = nullptr;

    // Set by the ping's failure; read and cleared only on the worker thread.
    bool m_pingFailed = false;
    std::atomic<bool> m_stopRequested{false};
};

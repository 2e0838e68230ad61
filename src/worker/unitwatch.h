#pragma once

#include "mlpdeviceinfonode.h"

#include <QList>
#include <QObject>
#include <QTimer>

class MLPWorkerThread;
class RigUpdateRun;
class UsbHotplugWatcher;

// Watches the bus beside a rig's run and tells of every unit that appears, as it answered:
// one plugged in for the first time, or plugged in again after it was unplugged. A unit is
// told once for as long as it stays attached, so a run that writes what it is told never
// writes a unit twice unless it was unplugged in between. The units the run has waiting,
// checking, writing or asking again are neither opened nor forgotten, also while one restarts into
// its new firmware and leaves the bus for a moment. Looks again whenever the bus changes, and
// every kLookIntervalMs besides, since the news of a change is not to be had everywhere (a
// console program on Windows has no window for it); by discoveries on the worker thread, which
// the owner lends it while watching.
class UnitWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLookIntervalMs = 3000;

    UnitWatch(MLPWorkerThread& thread, const RigUpdateRun& run, QObject* parent = nullptr);
    ~UnitWatch() override;

    // `known` are the units already dealt with: told only once they have left the bus and
    // come back. Looks at once, then at every change of the bus.
    void start(const QList<MLPDeviceInfoNode>& known);
    // Tells of no unit any more; a look under way ends unheard.
    void stop();
    bool isWatching() const { return m_watching; }

signals:
    void unitsAppeared(const QList<MLPDeviceInfoNode>& units);

private:
    void look();
    void discovered();

    MLPWorkerThread& m_thread;
    const RigUpdateRun& m_run;
    UsbHotplugWatcher* m_hotplug = nullptr;
    QTimer m_lookTimer;
    QList<MLPDeviceInfoNode> m_known;
    // The run's units as the look under way began.
    QList<MLPDeviceInfoNode> m_inRunAtLook;
    bool m_watching = false;
    bool m_looking = false;
    bool m_lookAgain = false;
};

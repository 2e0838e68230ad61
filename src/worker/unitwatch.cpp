#include "unitwatch.h"

#include "mlpworkerthread.h"
#include "rigupdaterun.h"
#include "usbhotplugwatcher.h"

#include <algorithm>

namespace {

bool listsUnit(const QList<MLPDeviceInfoNode>& units, const MLPDeviceInfoNode& unit)
{
    return std::any_of(units.begin(), units.end(),
                       [&unit](const MLPDeviceInfoNode& listed) { return listed.isSameUnit(unit); });
}

} // namespace

UnitWatch::UnitWatch(MLPWorkerThread& thread, const RigUpdateRun& run, QObject* parent)
    : QObject(parent), m_thread(thread), m_run(run)
{
    m_lookTimer.setInterval(kLookIntervalMs);
    connect(&m_lookTimer, &QTimer::timeout, this, &UnitWatch::look);
}

UnitWatch::~UnitWatch() = default;

void UnitWatch::start(const QList<MLPDeviceInfoNode>& known)
{
    m_known = known;
    m_watching = true;
    if (!m_hotplug) {
        m_hotplug = new UsbHotplugWatcher(this);
        connect(m_hotplug, &UsbHotplugWatcher::devicesChanged, this, &UnitWatch::look);
        connect(&m_thread, &MLPWorkerThread::deviceDiscoverFinsihed, this, &UnitWatch::discovered);
    }
    m_lookTimer.start();
    look();
}

void UnitWatch::stop()
{
    m_lookTimer.stop();
    m_watching = false;
    m_lookAgain = false;
}

void UnitWatch::look()
{
    if (!m_watching) {
        return;
    }
    // One look at a time: a change during one is looked at once it has ended.
    if (m_looking) {
        m_lookAgain = true;
        return;
    }
    m_looking = true;
    m_inRunAtLook = m_run.unitsInRun();
    m_thread.postDiscover(m_inRunAtLook);
}

void UnitWatch::discovered()
{
    if (!m_looking) {
        return;
    }
    m_looking = false;
    if (!m_watching) {
        return;
    }
    const QList<MLPDeviceInfoNode> attached = m_thread.attachedUnits();
    const QList<MLPDeviceInfoNode> inRun = m_run.unitsInRun();
    // A unit that left the bus is forgotten, to be told again when it comes back. One being
    // updated may be away restarting, and is kept; so is one whose update ended while this
    // look ran: the look may have missed it restarting, and only a look started after its
    // update can tell that it was unplugged.
    m_known.erase(std::remove_if(m_known.begin(), m_known.end(),
                                 [&](const MLPDeviceInfoNode& unit) {
                                     return !listsUnit(attached, unit) && !listsUnit(inRun, unit) &&
                                            !listsUnit(m_inRunAtLook, unit);
                                 }),
                  m_known.end());
    QList<MLPDeviceInfoNode> appeared;
    for (const MLPDeviceInfoNode& unit : m_thread.discoveredDevices()) {
        if (!listsUnit(m_known, unit) && !listsUnit(inRun, unit)) {
            m_known << unit;
            appeared << unit;
        }
    }
    if (!appeared.isEmpty()) {
        emit unitsAppeared(appeared);
    }
    if (m_lookAgain) {
        m_lookAgain = false;
        look();
    }
}

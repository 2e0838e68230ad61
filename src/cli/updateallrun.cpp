#include "updateallrun.h"

#include "cliarguments.h"
#include "clidevicesession.h"
#include "interruptnotifier.h"
#include "rigupdaterun.h"
#include "unitwatch.h"
#include "updatehistory.h"
#include "updatereport.h"
#include "updatesession.h"

UpdateAllRun::UpdateAllRun(CliDeviceSession& devices, UpdateReport& report, const CliArguments& arguments,
                           Planner planner, QObject* parent)
    : QObject(parent), m_report(report), m_arguments(arguments), m_planner(std::move(planner)),
      m_rig(new RigUpdateRun(devices.thread(), UpdateHistory::defaultPath(), this)),
      m_watch(new UnitWatch(devices.thread(), *m_rig, this))
{
    m_rig->setMaxAtOnce(arguments.jobs());
    // The plan's rule again at each unit's link, just before its first byte: a unit may have
    // been brought to the file's firmware, or a newer one, since the listing.
    m_rig->setLeaveAlone({!arguments.allowReinstall(), !arguments.allowOlder()});
    if (arguments.allowUnsigned()) {
        m_rig->allowUnsigned();
    }
    connect(m_rig, &RigUpdateRun::unitStateChanged, this, &UpdateAllRun::unitStateChanged);
    connect(m_rig, &RigUpdateRun::unitProgress, this, [this](int unit, int percent) {
        Unit& running = m_units[unit];
        m_report.unitProgress(running.found, percent, running.shownPercent);
        running.shownPercent = percent;
    });
    connect(m_rig, &RigUpdateRun::unitEnded, this, &UpdateAllRun::unitEnded);
    connect(m_rig, &RigUpdateRun::finished, this, &UpdateAllRun::goOn);
    connect(m_watch, &UnitWatch::unitsAppeared, this, &UpdateAllRun::unitsAppeared);
}

void UpdateAllRun::run(const UpdatePlan& plan, const QList<MLPDeviceInfoNode>& listed)
{
    m_listed = listed;
    m_skipped = plan.skipped;
    InterruptNotifier interrupts;
    connect(&interrupts, &InterruptNotifier::interrupted, this, &UpdateAllRun::interrupted);
    add(plan.items);
    goOn();
    if (!m_ended) {
        m_loop.exec();
    }
}

QList<UpdateResult> UpdateAllRun::results() const
{
    QList<UpdateResult> results;
    for (const Unit& unit : m_units) {
        results << *unit.result;
    }
    return results;
}

void UpdateAllRun::add(const QList<UpdatePlan::Item>& items)
{
    for (const UpdatePlan::Item& item : items) {
        m_units.append(Unit{item, item.device, 0, std::nullopt});
        // Numbered in the order added, as the units are kept here.
        m_rig->add(item.device, item.image);
    }
}

void UpdateAllRun::unitStateChanged(int unit, const UpdateSession& session)
{
    m_units[unit].found = session.unit();
    if (session.state() != UpdateSession::State::Checking) {
        return;
    }
    // From the check on, a unit may start taking the file at any moment.
    if (m_unitsInFlight++ == 0) {
        m_guard.emplace(&InterruptNotifier::notifyFromHandler);
    }
    m_report.unitStarted(m_units[unit].item);
}

void UpdateAllRun::unitEnded(int unit, const UpdateSession& session)
{
    if (--m_unitsInFlight == 0) {
        m_guard.reset();
    }
    m_units[unit].result = UpdateResult::of(m_units[unit].item, session);
    m_report.result(*m_units[unit].result);
}

void UpdateAllRun::unitsAppeared(const QList<MLPDeviceInfoNode>& units)
{
    const UpdatePlan plan = m_planner(units);
    for (const UpdatePlan::Skipped& skip : plan.skipped) {
        m_skipped << skip;
        m_report.skipped(skip);
    }
    add(plan.items);
}

void UpdateAllRun::interrupted()
{
    if (m_stopping) {
        return;
    }
    m_stopping = true;
    m_watch->stop();
    if (m_unitsInFlight > 0) {
        m_report.endingAfterWrites();
    }
    for (int unit : m_rig->stop()) {
        m_units[unit].result = UpdateResult::notStarted(m_units[unit].item);
        m_report.result(*m_units[unit].result);
    }
    goOn();
}

void UpdateAllRun::goOn()
{
    if (m_ended || m_rig->isRunning()) {
        return;
    }
    if (m_arguments.watch() && !m_stopping) {
        if (!m_watch->isWatching()) {
            m_report.watching();
            m_watch->start(m_listed);
        }
        return;
    }
    m_watch->stop();
    m_ended = true;
    m_loop.quit();
}

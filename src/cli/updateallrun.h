#pragma once

#include "mlpdeviceinfonode.h"
#include "updateinterruptguard.h"
#include "updateplan.h"
#include "updateresult.h"

#include <QEventLoop>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class CliArguments;
class CliDeviceSession;
class RigUpdateRun;
class UnitWatch;
class UpdateReport;
class UpdateSession;

// update --all: the plan's units written side by side, each by an update session on a link of
// its own (RigUpdateRun), at most --jobs at a time; with --watch, afterwards every unit plugged
// in that the plan's rule accepts, as it appears (UnitWatch). Ctrl+C, SIGTERM and SIGHUP end
// the run and the watch: no further unit starts, and units being written run to their end,
// since the interrupt guard is held while any unit is checked, written or asked again. Each
// unit's start, progress and end is reported as it comes.
class UpdateAllRun : public QObject
{
    Q_OBJECT

public:
    // The plan for units that appeared while watching, by the rule the run's plan was made with.
    using Planner = std::function<UpdatePlan(const QList<MLPDeviceInfoNode>& units)>;

    UpdateAllRun(CliDeviceSession& devices, UpdateReport& report, const CliArguments& arguments,
                 Planner planner, QObject* parent = nullptr);

    // Returns once every unit has ended, and with --watch the watch too. `listed` are the units
    // the plan was made from: the watch writes none of them unless it is plugged in again.
    void run(const UpdatePlan& plan, const QList<MLPDeviceInfoNode>& listed);

    // One for every unit of the plan and of the watch, in the order they were added.
    QList<UpdateResult> results() const;
    // The plan's units left alone, then those the watch left alone as they came.
    QList<UpdatePlan::Skipped> skipped() const { return m_skipped; }

private:
    struct Unit
    {
        UpdatePlan::Item item;
        // The unit as its session last saw it: where it was found, once it was.
        MLPDeviceInfoNode found;
        int shownPercent = 0;
        std::optional<UpdateResult> result;
    };

    void add(const QList<UpdatePlan::Item>& items);
    void unitStateChanged(int unit, const UpdateSession& session);
    void unitEnded(int unit, const UpdateSession& session);
    void unitsAppeared(const QList<MLPDeviceInfoNode>& units);
    void interrupted();
    // Once no unit waits or runs: watches, or ends.
    void goOn();

    UpdateReport& m_report;
    const CliArguments& m_arguments;
    Planner m_planner;
    RigUpdateRun* m_rig;
    UnitWatch* m_watch;
    QList<Unit> m_units;
    QList<UpdatePlan::Skipped> m_skipped;
    QList<MLPDeviceInfoNode> m_listed;
    int m_unitsInFlight = 0;
    std::optional<UpdateInterruptGuard> m_guard;
    bool m_stopping = false;
    QEventLoop m_loop;
    bool m_ended = false;
};

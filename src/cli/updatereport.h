#pragma once

#include "updateplan.h"
#include "updateresult.h"

#include <QJsonObject>
#include <QList>

class CliArguments;
class CliOutput;

// How the update command words what it does, as text or JSON lines, as the command line asks
// (--json, --quiet, --all): the plan, each unit's start, progress and result, the units a
// watch leaves alone, and the summary of a run. With --all the units run side by side, so a
// unit's lines name it and come as sparse as its progress allows; results come as each unit
// ends, the summary in the order the units were added.
class UpdateReport
{
public:
    // Text progress of a unit of a rig: a line at every quarter.
    static constexpr int kPercentStep = 25;

    UpdateReport(CliOutput& output, const CliArguments& arguments);

    void plan(const UpdatePlan& plan);
    // A progress event of a unit (JSON).
    void progressEvent(const MLPDeviceInfoNode& device, int percent);
    // A unit of a rig starts; its progress counts from 0.
    void unitStarted(const UpdatePlan::Item& item);
    // A unit of a rig, where it was found, has come from shownPercent, the last percentage
    // reported for it, to percent.
    void unitProgress(const MLPDeviceInfoNode& device, int percent, int shownPercent);
    void result(const UpdateResult& result);
    // A unit that appeared while watching, left alone by the plan's rule.
    void skipped(const UpdatePlan::Skipped& skip);
    void watching();
    // Asked to end while units are being written.
    void endingAfterWrites();
    void summary(const QList<UpdateResult>& results, const QList<UpdatePlan::Skipped>& skipped);

private:
    CliOutput& m_output;
    const CliArguments& m_arguments;
};

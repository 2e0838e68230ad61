#pragma once

#include "missingdevices.h"

#include "cliarguments.h"
#include "updateexecutor.h"
#include "updateplan.h"
#include "updateresult.h"

#include <QList>

class CliOutput;
class UpdateReport;

// The update command of marlune-fwupdate-cli: reads each file once, discovers the devices,
// plans (UpdatePlanner), carries the plan out, one unit by an update session of its own
// (UpdateExecutor) or a rig's units side by side (UpdateAllRun), and answers the exit code;
// UpdateReport words it all as text or JSON lines.
class UpdateCommand
{
public:
    explicit UpdateCommand(CliOutput& output);

    // Answers an exit code of CliExitCode.
    int run(const CliArguments& arguments);

private:
    // `missing`: who the discovery could not list, told when no device was found.
    int refuse(const UpdatePlan& plan, const CliArguments& arguments, const MissingDevices& missing);
    UpdateResult execute(UpdateExecutor& executor, UpdateReport& report, const UpdatePlan::Item& item,
                         const CliArguments& arguments);
    static int exitCode(const QList<UpdateResult>& results, const UpdatePlan& plan,
                        const CliArguments& arguments);

    CliOutput& m_output;
};

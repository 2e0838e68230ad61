#pragma once

#include "missingdevices.h"

#include "cliarguments.h"
#include "updateexecutor.h"
#include "updateplan.h"

#include <QList>

class CliOutput;

// The update command of marlune-fwupdate-cli: reads each file once, discovers the devices,
// plans (UpdatePlanner), carries the plan out one update session per unit (UpdateExecutor)
// and words plan, progress, results and summary as text or JSON lines.
class UpdateCommand
{
public:
    explicit UpdateCommand(CliOutput& output);

    // Answers an exit code of CliExitCode.
    int run(const CliArguments& arguments);

private:
    // `missing`: who the discovery could not list, told when no device was found.
    int refuse(const UpdatePlan& plan, const CliArguments& arguments, const MissingDevices& missing);
    void printPlan(const UpdatePlan& plan, const CliArguments& arguments);
    UpdateExecutor::Result execute(UpdateExecutor& executor, const UpdatePlan::Item& item,
                                   const CliArguments& arguments);
    void printResult(const UpdateExecutor::Result& result, const CliArguments& arguments);
    void printSummary(const QList<UpdateExecutor::Result>& results, const UpdatePlan& plan,
                      const CliArguments& arguments);

    CliOutput& m_output;
};

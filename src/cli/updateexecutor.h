#pragma once

#include "updateplan.h"
#include "updateresult.h"

#include <QString>

#include <functional>

class CliDeviceSession;

// Carries out the one item of a plan for a single unit: an update session on the worker
// thread of a device session, waited for in an event loop of its own.
class UpdateExecutor
{
public:
    // Each update is added to the history at historyPath.
    UpdateExecutor(CliDeviceSession& devices, const QString& historyPath);

    // progress receives percents while the file is written.
    UpdateResult run(const UpdatePlan::Item& item, const std::function<void(int)>& progress);

private:
    CliDeviceSession& m_devices;
    QString m_historyPath;
};

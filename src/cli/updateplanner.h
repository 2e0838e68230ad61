#pragma once

#include "cliarguments.h"
#include "mlpdeviceinfonode.h"
#include "updatefileverdict.h"
#include "updateplan.h"

#include <QHash>
#include <QList>
#include <QString>

// Decides what an update command does from what is known before any byte is sent: the
// discovered devices, the command line and the built-in catalogue (model to file). Reads
// update files, never a device, so every refusal can be checked without one.
class UpdatePlanner
{
public:
    // A file named on the command line that cannot be used refuses the command before any
    // device is touched; an empty plan otherwise.
    static UpdatePlan checkNamedFile(const CliArguments& arguments);

    static UpdatePlan plan(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                           const QHash<QString, QString>& catalogue);

    // The verdict of the update check in words: empty when the file fits, else the reason.
    static QString incompatibility(const UpdateFileVerdict& verdict);
};

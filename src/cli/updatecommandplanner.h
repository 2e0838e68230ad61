#pragma once

#include "cliarguments.h"
#include "missingdevices.h"
#include "mlpdeviceinfonode.h"
#include "updateimage.h"
#include "updateplan.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Decides what an update command does from what is known before any byte is sent: the
// discovered devices, the command line, the built-in catalogue (model to file) and each file's
// image, read once by the caller. Which device to update and what makes the command refuse
// are the command line's own; what --all does with each device is UpdatePlanner's rule. Reads
// nothing itself, so every refusal can be checked without a file or a device.
class UpdateCommandPlanner
{
public:
    // The files a plan for these devices may write, each once: the one named on the command
    // line, or the built-in files of their models.
    static QStringList filesFor(const CliArguments& arguments, const QHash<QString, QString>& catalogue,
                                const QList<MLPDeviceInfoNode>& devices);

    // A file named on the command line that cannot be used refuses the command before any
    // device is touched; an empty plan otherwise.
    static UpdatePlan checkNamedFile(const CliArguments& arguments, const QHash<QString, UpdateImage>& files);

    // With --all every device is planned or skipped with its reason, those the discovery could
    // not ask (`missing`) among them. With --watch nothing to write is no refusal, for the units
    // listed at the start as for those plugged in later.
    static UpdatePlan plan(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                           const QHash<QString, QString>& catalogue, const QHash<QString, UpdateImage>& files,
                           const MissingDevices& missing = {});
};

#include "rigplantext.h"

#include "builtinupdatefiles.h"
#include "pathtext.h"
#include "updatetext.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

QString RigPlanText::row(const UnitPlan& plan, const QString& notFitting)
{
    const bool same = plan.firmware == marlune::FirmwareOrder::Same;
    switch (plan.decision) {
    case UnitPlan::Decision::Write:
        switch (plan.firmware) {
        case marlune::FirmwareOrder::Same:
            return tr("Already runs the file's firmware; written again.");
        case marlune::FirmwareOrder::DeviceNewer:
            return tr("Runs a newer firmware than the file's: a step back; written.");
        case marlune::FirmwareOrder::DeviceNotBcd:
            return tr("Reports a firmware version that is not a version number; written.");
        case marlune::FirmwareOrder::DeviceOlder:
            break;
        }
        return tr("Waiting.");
    case UnitPlan::Decision::LeaveAlone:
        return same ? tr("Already runs the file's firmware; left alone.")
                    : tr("Runs a newer firmware than the file's: a step back; left alone.");
    case UnitPlan::Decision::DoesNotFit:
        return notFitting;
    case UnitPlan::Decision::NoAnswer:
        return tr("Did not answer; check its power and cable.");
    case UnitPlan::Decision::Held:
        return tr("Held open by another program; close it to update this unit.");
    case UnitPlan::Decision::NotAccessible:
        break;
    }
    return tr("Cannot be opened by this user.");
}

QString RigPlanText::unitCount(int count)
{
    return count == 1 ? tr("1 unit") : tr("%1 units").arg(count);
}

QString RigPlanText::files(const QList<UnitPlan>& written)
{
    QStringList paths;
    QList<const UnitPlan*> first;
    QList<int> unitsPerFile;
    for (const UnitPlan& unit : written) {
        const int file = static_cast<int>(paths.indexOf(unit.image.path()));
        if (file < 0) {
            paths << unit.image.path();
            first << &unit;
            unitsPerFile << 1;
        } else {
            ++unitsPerFile[file];
        }
    }
    QStringList lines;
    for (int file = 0; file < paths.size(); ++file) {
        // The built-in files live in the program's resources, where no path outside it leads.
        const QString source = paths.at(file).startsWith(marlune::builtInUpdateFilesDirectory())
                                   ? tr("the built-in update file")
                                   : PathText::wrappable(QDir::toNativeSeparators(paths.at(file)));
        lines << tr("Writes firmware %1 from %2 to %3 of model %4.")
                         .arg(first.at(file)->fit.fileFirmwareVersionText, source,
                              unitCount(unitsPerFile.at(file)), first.at(file)->unit.model) +
                     QLatin1Char(' ') +
                     UpdateText::sentence(UpdateText::signature(first.at(file)->fit.signature));
    }
    return lines.join(QLatin1Char('\n'));
}

QString RigPlanText::plan(const QList<UnitPlan>& units, bool leftAloneOffered)
{
    QList<UnitPlan> written;
    std::copy_if(units.begin(), units.end(), std::back_inserter(written),
                 [](const UnitPlan& unit) { return unit.writes(); });
    const bool anyFits =
        std::any_of(units.begin(), units.end(), [](const UnitPlan& unit) { return unit.fits(); });
    QStringList lines;
    if (!anyFits) {
        lines << tr("The update file in use fits none of the listed units.");
    } else if (written.isEmpty()) {
        lines << tr("Every unit the file fits runs its firmware already, or a newer one.");
    } else {
        lines << files(written)
              << tr("The units are written side by side, each on its own link; one that fails does not "
                    "stop the others.");
    }
    if (std::any_of(units.begin(), units.end(), [](const UnitPlan& unit) { return !unit.fits(); })) {
        lines << tr("Greyed units are left as they are; their row says why.");
    }
    if (leftAloneOffered) {
        lines << tr("Units that already run the file's firmware, or a newer one, are left alone unless "
                    "ticked below.");
    }
    return lines.join(QLatin1Char('\n'));
}

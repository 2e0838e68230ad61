#include "rigruntext.h"

#include "deviceunittext.h"
#include "rigplantext.h"
#include "writingprogresstext.h"

QString RigRunText::unit(const UnitPlan& plan)
{
    if (plan.decision == UnitPlan::Decision::NotAccessible) {
        return tr("USB device %1:%2 on bus %3, device %4")
            .arg(plan.inaccessible.vendorId, 4, 16, QLatin1Char('0'))
            .arg(plan.inaccessible.productId, 4, 16, QLatin1Char('0'))
            .arg(int{plan.inaccessible.busNumber})
            .arg(int{plan.inaccessible.deviceNumber});
    }
    return DeviceUnitText::unitDetails(plan.unit);
}

QString RigRunText::before(const UnitPlan& plan)
{
    return plan.unreached() ? QString() : MLPDeviceInfoNode::versionText(plan.unit.fwVersion);
}

QString RigRunText::startQuestion(bool unsignedFiles)
{
    return (unsignedFiles ? tr("Nothing shows that an unsigned file is the one its maker released: write it "
                               "only if you trust where it came from.\n\n")
                          : QString()) +
           tr("Keep every unit connected and powered until the last one has finished. Start now?");
}

QString RigRunText::status(const RigRows::Progress& progress, bool stopping, bool programEnds, bool watching,
                           int writtenSoFar)
{
    if (stopping) {
        return programEnds ? WritingProgressText::programEndsAfterWrites()
                           : tr("Stopping: units whose write has begun are finished first; no further unit "
                                "is started.");
    }
    if (progress.running == 0 && progress.waiting == 0) {
        return watching ? tr("Watching: units of the models above are written as they are plugged in; %1 "
                             "written so far. Stop Watching ends it.")
                              .arg(RigPlanText::unitCount(writtenSoFar))
                        : QString();
    }
    QString text = progress.waiting == 0
                       ? tr("Updating %1 at once.").arg(RigPlanText::unitCount(progress.running))
                       : tr("Updating %1 at once; %2 waiting.")
                             .arg(RigPlanText::unitCount(progress.running))
                             .arg(progress.waiting);
    if (const QString left = WritingProgressText::timeLeft(progress.slowestMs);
        !left.isEmpty() && progress.waiting == 0) {
        text += QLatin1Char(' ') + tr("Time left: %1 (the slowest unit).").arg(left);
    }
    return text + QLatin1Char(' ') +
           tr("Keep every unit connected and powered until the last one has finished.");
}

QString RigRunText::summary(const UpdateCounts& counts)
{
    return counts.unconfirmed == 0 ? tr("%1 updated, %2 failed, %3 not started.")
                                         .arg(counts.confirmed)
                                         .arg(counts.failed)
                                         .arg(counts.notStarted)
                                   : tr("%1 updated, %2 not confirmed (power-cycle them and check them "
                                        "again), %3 failed, %4 not started.")
                                         .arg(counts.confirmed)
                                         .arg(counts.unconfirmed)
                                         .arg(counts.failed)
                                         .arg(counts.notStarted);
}

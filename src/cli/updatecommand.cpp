#include "updatecommand.h"

#include "builtinupdatefiles.h"
#include "clidevicesession.h"
#include "cliexitcode.h"
#include "clioutput.h"
#include "frametraceprinter.h"
#include "mlpdeviceinfonode.h"
#include "progressdisplay.h"
#include "runningwindow.h"
#include "updateallrun.h"
#include "updatecommandplanner.h"
#include "updatehistory.h"
#include "updateinterruptguard.h"
#include "updatereport.h"

namespace {

// A unit the window holds cannot be opened here: naming the window saves the search. By its
// serial number when the command named one, else whether the window holds any unit.
QString heldByWindowText(const QString& serial)
{
    if (!RunningWindow::holdsUnit(serial)) {
        return QString();
    }
    if (serial.isEmpty()) {
        return QStringLiteral("The Marlune Firmware Update Tool window is running and holds a unit, which "
                              "this tool cannot reach meanwhile: close the window and try again.");
    }
    return QStringLiteral("The Marlune Firmware Update Tool window holds %1: close the window, or select "
                          "another unit in it, and try again.")
        .arg(serial);
}

} // namespace

UpdateCommand::UpdateCommand(CliOutput& output) : m_output(output) {}

int UpdateCommand::run(const CliArguments& arguments)
{
    // Each file is read here, once; the plan and its refusals are made from what it holds, and
    // every unit is written from those very bytes, whatever happens to the file meanwhile.
    QHash<QString, UpdateImage> files;
    const auto readFiles = [&files](const QStringList& paths) {
        for (const QString& path : paths) {
            if (!files.contains(path)) {
                files.insert(path, UpdateImage::read(path));
            }
        }
    };
    readFiles(UpdateCommandPlanner::filesFor(arguments, {}, {}));
    UpdatePlan plan = UpdateCommandPlanner::checkNamedFile(arguments, files);
    if (plan.isRefused()) {
        return refuse(plan, arguments, MissingDevices());
    }
    if (m_output.reportUsbStartProblem()) {
        return kExitNoDevice;
    }
    FrameTracePrinter tracePrinter(m_output.err());
    CliDeviceSession session;
    if (arguments.verbose()) {
        session.setFrameTrace(&FrameTracePrinter::trace, &tracePrinter);
    }
    const QList<MLPDeviceInfoNode> devices = session.discover();
    const QHash<QString, QString> catalogue = arguments.updateFilePath().isEmpty()
                                                  ? marlune::builtInUpdateFilesByModel()
                                                  : QHash<QString, QString>();
    readFiles(UpdateCommandPlanner::filesFor(arguments, catalogue, devices));
    plan =
        UpdateCommandPlanner::plan(devices, arguments, catalogue, files, session.thread().missingDevices());
    if (plan.isRefused()) {
        session.stop();
        tracePrinter.flush();
        return refuse(plan, arguments, session.thread().missingDevices());
    }
    UpdateReport report(m_output, arguments);
    report.plan(plan);
    if (arguments.dryRun()) {
        session.stop();
        tracePrinter.flush();
        return kExitSuccess;
    }

    QList<UpdateResult> results;
    if (arguments.all()) {
        UpdateAllRun rig(session, report, arguments, [&](const QList<MLPDeviceInfoNode>& units) {
            readFiles(UpdateCommandPlanner::filesFor(arguments, catalogue, units));
            return UpdateCommandPlanner::plan(units, arguments, catalogue, files);
        });
        rig.run(plan, devices);
        session.stop();
        tracePrinter.flush();
        results = rig.results();
        report.summary(results, rig.skipped());
    } else {
        UpdateExecutor executor(session, UpdateHistory::defaultPath());
        results << execute(executor, report, plan.items.first(), arguments);
        tracePrinter.flush();
        report.result(results.first());
        session.stop();
        tracePrinter.flush();
    }
    return exitCode(results, plan, arguments);
}

int UpdateCommand::exitCode(const QList<UpdateResult>& results, const UpdatePlan& plan,
                            const CliArguments& arguments)
{
    if (arguments.all()) {
        const UpdateCounts counts = UpdateResult::counts(results, plan.skipped);
        // Each code only when nothing worse happened: a unit not written as it should have
        // been, then one that took the file but does not report it, then a listed device
        // nobody could ask.
        if (counts.failed > 0 || counts.notStarted > 0) {
            return kExitUpdateFailed;
        }
        if (counts.unconfirmed > 0) {
            return kExitUnconfirmed;
        }
        return counts.unreached > 0 ? kExitNoDevice : kExitSuccess;
    }
    switch (results.first().verdict) {
    case UpdateResult::Verdict::Confirmed:
    case UpdateResult::Verdict::LeftAlone:
        return kExitSuccess;
    case UpdateResult::Verdict::NotReached:
        return kExitNoDevice;
    case UpdateResult::Verdict::TookFileUnconfirmed:
        return kExitUnconfirmed;
    case UpdateResult::Verdict::Failed:
    case UpdateResult::Verdict::NotStarted:
        break;
    }
    return kExitUpdateFailed;
}

int UpdateCommand::refuse(const UpdatePlan& plan, const CliArguments& arguments,
                          const MissingDevices& missing)
{
    QStringList details = plan.refusalDetails;
    const QString heldByWindow =
        plan.refusalCode == kExitNoDevice ? heldByWindowText(arguments.deviceSerial()) : QString();
    if (!heldByWindow.isEmpty()) {
        details << heldByWindow;
    }
    if (arguments.json()) {
        m_output.printJsonLine(CliOutput::refusalJson(plan.refusal, details, plan.refusalCode));
    }
    if (plan.noDeviceFound) {
        const int exitCode = m_output.reportNoDevice(missing);
        if (!heldByWindow.isEmpty()) {
            m_output.err() << heldByWindow << '\n';
        }
        return exitCode;
    }
    m_output.err() << plan.refusal << '\n';
    for (const QString& detail : details) {
        m_output.err() << QStringLiteral("  ") << detail << '\n';
    }
    return plan.refusalCode;
}

UpdateResult UpdateCommand::execute(UpdateExecutor& executor, UpdateReport& report,
                                    const UpdatePlan::Item& item, const CliArguments& arguments)
{
    // From the selection on: the device may start taking the file at any moment after it.
    const UpdateInterruptGuard guard;
    if (arguments.json()) {
        int lastPercent = 0;
        // From 0, as the bar and the percent lines start.
        report.progressEvent(item.device, lastPercent);
        return executor.run(item, [&](int percent) {
            // The request reports after every segment; a line per new percentage is enough.
            if (percent != lastPercent) {
                lastPercent = percent;
                report.progressEvent(item.device, percent);
            }
        });
    }
    if (arguments.quiet()) {
        return executor.run(item, [](int) {});
    }
    ProgressDisplay display(m_output.out(), m_output.terminal(), item.updateBytes);
    display.start();
    const UpdateResult result = executor.run(item, [&display](int percent) { display.show(percent); });
    display.finish();
    return result;
}

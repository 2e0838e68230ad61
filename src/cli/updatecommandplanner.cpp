#include "updatecommandplanner.h"

#include "devicetext.h"
#include "mlpusbidentities.h"
#include "updatefilecheck.h"
#include "updateplanner.h"
#include "updatetext.h"

namespace {

UpdatePlan refused(CliExitCode code, const QString& reason, const QStringList& details = {})
{
    UpdatePlan plan;
    plan.refusalCode = code;
    plan.refusal = reason;
    plan.refusalDetails = details;
    return plan;
}

QString noBuiltInFileReason(const QString& model, const QHash<QString, QString>& catalogue)
{
    // A release may carry no built-in files at all; then only a named file can be written.
    if (catalogue.isEmpty()) {
        return QStringLiteral("No built-in update files are installed; name an update file with --file");
    }
    return QStringLiteral("No built-in update file for model %1; name one with --file").arg(model);
}

// What a file named in the plan holds; a file nobody read counts as missing.
UpdateFileVerdict fileFacts(const QHash<QString, UpdateImage>& files, const QString& path)
{
    const auto found = files.constFind(path);
    if (found != files.constEnd()) {
        return found.value().check();
    }
    UpdateFileVerdict missing;
    missing.kind = UpdateFileVerdict::Kind::FileProblem;
    missing.fileProblem.kind = MLU2FileProblem::Kind::Missing;
    return missing;
}

// A file that cannot be used, in the words of a refusal.
QString unusableFile(const QString& path, const UpdateFileVerdict& file)
{
    return QStringLiteral("Cannot use %1: %2").arg(path, UpdateText::fileProblem(file.fileProblem));
}

// Why a device gets no file; empty when it gets one.
struct FileChoice
{
    QString problem;
    // The file is sound but made for another device.
    bool mismatch = false;
};

// The file for one device, or why there is none that fits.
FileChoice chooseFile(const MLPDeviceInfoNode& device, const CliArguments& arguments,
                      const QHash<QString, QString>& catalogue, const QHash<QString, UpdateImage>& files,
                      UpdatePlan::Item& item)
{
    item.device = device;
    item.filePath =
        arguments.updateFilePath().isEmpty() ? catalogue.value(device.model) : arguments.updateFilePath();
    if (item.filePath.isEmpty()) {
        return {noBuiltInFileReason(device.model, catalogue)};
    }
    const UpdateFileVerdict file = fileFacts(files, item.filePath);
    if (!file.fileProblem.isNone()) {
        return {unusableFile(item.filePath, file)};
    }
    UpdateFileVerdict verdict = UpdateFileCheck::check(file, device.model, device.hwVersion);
    if (!arguments.allowUnsigned()) {
        verdict = UpdateFileCheck::refusingUnsigned(verdict);
    }
    if (verdict.kind == UpdateFileVerdict::Kind::Unsigned) {
        return {UpdateText::fileVerdict(verdict) + QStringLiteral(" (--allow-unsigned writes it)"), true};
    }
    if (!verdict.fits()) {
        return {UpdateText::fileVerdict(verdict), true};
    }
    item.image = files.value(item.filePath);
    item.firmwareVersion = file.fileFirmwareVersionText;
    item.updateBytes = file.fileUpdateBytes;
    item.signature = UpdateText::signature(file.signature);
    item.allowUnsigned = arguments.allowUnsigned();
    return {};
}

UpdatePlan planOne(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                   const QHash<QString, QString>& catalogue, const QHash<QString, UpdateImage>& files)
{
    int index = 0;
    const bool bySerial = !arguments.deviceSerial().isEmpty();
    if (bySerial || !arguments.deviceAddress().isEmpty()) {
        QList<int> matches;
        for (int position = 0; position < devices.size(); ++position) {
            const MLPDeviceInfoNode& device = devices[position];
            if (bySerial ? device.serial == arguments.deviceSerial()
                         : device.address == arguments.deviceAddress()) {
                matches << position;
            }
        }
        if (matches.isEmpty()) {
            return refused(kExitNoDevice,
                           (bySerial
                                ? QStringLiteral("No device with serial number %1 answers; list shows the "
                                                 "devices found.")
                                : QStringLiteral("No device answers at %1; list shows the devices found."))
                               .arg(bySerial ? arguments.deviceSerial() : arguments.deviceAddress()));
        }
        if (matches.size() > 1) {
            // A bridge and a maker device may carry the same serial text.
            QStringList summaries;
            for (int position : matches) {
                summaries << devicetext::deviceSummary(devices[position]);
            }
            return refused(kExitUsageError,
                           QStringLiteral("Serial number %1 names %2 devices; choose one by its address:")
                               .arg(arguments.deviceSerial())
                               .arg(matches.size()),
                           summaries);
        }
        index = matches.first();
    } else if (devices.size() > 1) {
        // The window picks the first device; a script must say which one it means.
        QStringList summaries;
        for (const MLPDeviceInfoNode& device : devices) {
            summaries << devicetext::deviceSummary(device);
        }
        return refused(kExitUsageError,
                       QStringLiteral("%1 devices found; choose one with --device, or update every one the "
                                      "file fits with --all:")
                           .arg(devices.size()),
                       summaries);
    }

    UpdatePlan::Item item;
    const FileChoice choice = chooseFile(devices[index], arguments, catalogue, files, item);
    if (choice.mismatch) {
        return refused(kExitFileRejected, QStringLiteral("Refusing to update %1: %2.")
                                              .arg(devicetext::deviceSummary(item.device), choice.problem));
    }
    if (!choice.problem.isEmpty()) {
        return refused(kExitFileRejected, choice.problem + QLatin1Char('.'));
    }
    UpdatePlan plan;
    plan.items << item;
    return plan;
}

QString fileFor(const MLPDeviceInfoNode& device, const CliArguments& arguments,
                const QHash<QString, QString>& catalogue)
{
    return arguments.updateFilePath().isEmpty() ? catalogue.value(device.model) : arguments.updateFilePath();
}

// Why the plan leaves a device out, in the command line's words.
QString skipReason(const UnitPlan& unit, const CliArguments& arguments,
                   const QHash<QString, QString>& catalogue)
{
    const QString running = MLPDeviceInfoNode::versionText(unit.unit.fwVersion);
    switch (unit.decision) {
    case UnitPlan::Decision::Write:
        break;
    case UnitPlan::Decision::LeaveAlone:
        return unit.firmware == marlune::FirmwareOrder::Same
                   ? QStringLiteral("already runs firmware %1 (--allow-reinstall writes it again)")
                         .arg(running)
                   : QStringLiteral("runs firmware %1, newer than the file's %2: a step back "
                                    "(--allow-older writes it)")
                         .arg(running, unit.fit.fileFirmwareVersionText);
    case UnitPlan::Decision::DoesNotFit:
        if (unit.image.isNull()) {
            return noBuiltInFileReason(unit.unit.model, catalogue);
        }
        if (!unit.fit.fileProblem.isNone()) {
            return unusableFile(fileFor(unit.unit, arguments, catalogue), unit.fit);
        }
        if (unit.fit.kind == UpdateFileVerdict::Kind::Unsigned) {
            return UpdateText::fileVerdict(unit.fit) + QStringLiteral(" (--allow-unsigned writes it)");
        }
        return UpdateText::fileVerdict(unit.fit);
    case UnitPlan::Decision::NoAnswer:
        return QStringLiteral("did not answer; nothing was sent (check its power and cable, then run again)");
    case UnitPlan::Decision::Held:
        return QStringLiteral("held open by another program (DMX software, for one); nothing was sent (close "
                              "that program, then run again)");
    case UnitPlan::Decision::NotAccessible:
        return QStringLiteral("cannot be used: %1; nothing was sent").arg(unit.inaccessible.problem);
    }
    return QString();
}

// A device the plan leaves out, as the summary lists it; one that could not be opened at all is
// known only by where it sits on the bus.
MLPDeviceInfoNode skippedDevice(const UnitPlan& unit)
{
    if (unit.decision != UnitPlan::Decision::NotAccessible) {
        return unit.unit;
    }
    MLPDeviceInfoNode device;
    device.address = QStringLiteral("usb bus %1 device %2")
                         .arg(unit.inaccessible.busNumber)
                         .arg(unit.inaccessible.deviceNumber);
    device.linkKind =
        marlune::MLP::MLPUsbIdentities::isFtdiBridge(unit.inaccessible.vendorId, unit.inaccessible.productId)
            ? marlune::MLP::MLPLinkKind::FtdiBridge
            : marlune::MLP::MLPLinkKind::MakerUsb;
    return device;
}

UpdatePlan planAll(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                   const QHash<QString, QString>& catalogue, const QHash<QString, UpdateImage>& files,
                   const MissingDevices& missing)
{
    UpdatePlanner planner(
        [&](const MLPDeviceInfoNode& device) { return files.value(fileFor(device, arguments, catalogue)); },
        {!arguments.allowReinstall(), !arguments.allowOlder()});
    planner.setAllowUnsigned(arguments.allowUnsigned());
    UpdatePlan plan;
    bool anyFits = false;
    for (const UnitPlan& unit : planner.plan(devices, missing)) {
        anyFits = anyFits || unit.fits();
        if (unit.writes()) {
            UpdatePlan::Item item;
            item.device = unit.unit;
            item.filePath = unit.image.path();
            item.image = unit.image;
            item.firmwareVersion = unit.fit.fileFirmwareVersionText;
            item.updateBytes = unit.fit.fileUpdateBytes;
            item.signature = UpdateText::signature(unit.fit.signature);
            item.allowUnsigned = arguments.allowUnsigned();
            plan.items << item;
        } else {
            plan.skipped << UpdatePlan::Skipped{skippedDevice(unit), skipReason(unit, arguments, catalogue),
                                                unit.decision};
        }
    }
    // A rig already up to date is nothing to refuse: the summary says why each unit was left.
    // Nor is a bench with nothing to write while watching: units are still to be plugged in.
    if (!anyFits && !arguments.watch()) {
        QStringList details;
        for (const UpdatePlan::Skipped& skipped : plan.skipped) {
            details << QStringLiteral("%1: %2").arg(devicetext::deviceSummary(skipped.device),
                                                    skipped.reason);
        }
        return refused(
            kExitFileRejected,
            arguments.updateFilePath().isEmpty()
                ? QStringLiteral("No listed device has a built-in update file that fits it:")
                : QStringLiteral("%1 fits none of the listed devices:").arg(arguments.updateFilePath()),
            details);
    }
    return plan;
}

} // namespace

QStringList UpdateCommandPlanner::filesFor(const CliArguments& arguments,
                                           const QHash<QString, QString>& catalogue,
                                           const QList<MLPDeviceInfoNode>& devices)
{
    if (!arguments.updateFilePath().isEmpty()) {
        return QStringList{arguments.updateFilePath()};
    }
    QStringList paths;
    for (const MLPDeviceInfoNode& device : devices) {
        const QString path = catalogue.value(device.model);
        if (!path.isEmpty() && !paths.contains(path)) {
            paths << path;
        }
    }
    return paths;
}

UpdatePlan UpdateCommandPlanner::checkNamedFile(const CliArguments& arguments,
                                                const QHash<QString, UpdateImage>& files)
{
    if (arguments.updateFilePath().isEmpty()) {
        return UpdatePlan();
    }
    const UpdateFileVerdict file = fileFacts(files, arguments.updateFilePath());
    if (!file.fileProblem.isNone()) {
        return refused(kExitFileRejected, unusableFile(arguments.updateFilePath(), file) + QLatin1Char('.'));
    }
    return UpdatePlan();
}

UpdatePlan UpdateCommandPlanner::plan(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                                      const QHash<QString, QString>& catalogue,
                                      const QHash<QString, UpdateImage>& files, const MissingDevices& missing)
{
    if (devices.isEmpty() && !arguments.watch()) {
        UpdatePlan plan = refused(kExitNoDevice, QStringLiteral("No Marlune device found."));
        plan.noDeviceFound = true;
        return plan;
    }
    return arguments.all() ? planAll(devices, arguments, catalogue, files, missing)
                           : planOne(devices, arguments, catalogue, files);
}

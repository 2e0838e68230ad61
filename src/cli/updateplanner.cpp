#include "updateplanner.h"

#include "devicetext.h"
#include "updatefilecheck.h"
#include "updatefilereport.h"

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

// Each file is read once per plan, however many devices it is checked against.
class ReportCache
{
public:
    const UpdateFileReport& report(const QString& path)
    {
        auto found = m_reports.find(path);
        if (found == m_reports.end()) {
            found = m_reports.insert(path, UpdateFileReport::inspect(path));
        }
        return found.value();
    }

private:
    QHash<QString, UpdateFileReport> m_reports;
};

// Why a device gets no file; empty when it gets one.
struct FileChoice
{
    QString problem;
    // The file is sound but made for another device.
    bool mismatch = false;
};

// The file for one device, or why there is none that fits.
FileChoice chooseFile(const MLPDeviceInfoNode& device, const CliArguments& arguments,
                      const QHash<QString, QString>& catalogue, ReportCache& reports, UpdatePlan::Item& item)
{
    item.device = device;
    item.filePath =
        arguments.updateFilePath().isEmpty() ? catalogue.value(device.model) : arguments.updateFilePath();
    if (item.filePath.isEmpty()) {
        return {noBuiltInFileReason(device.model, catalogue)};
    }
    const UpdateFileReport& report = reports.report(item.filePath);
    if (!report.isUsable()) {
        return {QStringLiteral("Cannot use %1: %2").arg(item.filePath, report.problem())};
    }
    const QString incompatible =
        UpdatePlanner::incompatibility(UpdateFileCheck::check(item.filePath, device.model, device.hwVersion));
    if (!incompatible.isEmpty()) {
        return {incompatible, true};
    }
    item.firmwareVersion = report.firmwareVersion();
    item.updateBytes = report.updateBytes();
    return {};
}

UpdatePlan planOne(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                   const QHash<QString, QString>& catalogue)
{
    int index = 0;
    if (!arguments.deviceAddress().isEmpty()) {
        index = -1;
        for (int position = 0; position < devices.size(); ++position) {
            if (devices[position].address == arguments.deviceAddress()) {
                index = position;
            }
        }
        if (index < 0) {
            return refused(kExitNoDevice,
                           QStringLiteral("No device answers at %1; list shows the devices found.")
                               .arg(arguments.deviceAddress()));
        }
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

    ReportCache reports;
    UpdatePlan::Item item;
    item.index = index;
    const FileChoice choice = chooseFile(devices[index], arguments, catalogue, reports, item);
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

UpdatePlan planAll(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                   const QHash<QString, QString>& catalogue)
{
    UpdatePlan plan;
    ReportCache reports;
    for (int index = 0; index < devices.size(); ++index) {
        UpdatePlan::Item item;
        item.index = index;
        const FileChoice choice = chooseFile(devices[index], arguments, catalogue, reports, item);
        if (choice.problem.isEmpty()) {
            plan.items << item;
        } else {
            plan.skipped << UpdatePlan::Skipped{devices[index], choice.problem};
        }
    }
    if (plan.items.isEmpty()) {
        QStringList details;
        for (const UpdatePlan::Skipped& skipped : plan.skipped) {
            details << QStringLiteral("%1: %2").arg(devicetext::deviceSummary(skipped.device),
                                                    skipped.reason);
        }
        return refused(
            kExitNoDevice,
            arguments.updateFilePath().isEmpty()
                ? QStringLiteral("No listed device has a built-in update file that fits it:")
                : QStringLiteral("%1 fits none of the listed devices:").arg(arguments.updateFilePath()),
            details);
    }
    return plan;
}

} // namespace

UpdatePlan UpdatePlanner::checkNamedFile(const CliArguments& arguments)
{
    if (arguments.updateFilePath().isEmpty()) {
        return UpdatePlan();
    }
    const UpdateFileReport report = UpdateFileReport::inspect(arguments.updateFilePath());
    if (!report.isUsable()) {
        return refused(
            kExitFileRejected,
            QStringLiteral("Cannot use %1: %2.").arg(arguments.updateFilePath(), report.problem()));
    }
    return UpdatePlan();
}

UpdatePlan UpdatePlanner::plan(const QList<MLPDeviceInfoNode>& devices, const CliArguments& arguments,
                               const QHash<QString, QString>& catalogue)
{
    if (devices.isEmpty()) {
        UpdatePlan plan = refused(kExitNoDevice, QStringLiteral("No Marlune device found."));
        plan.noDeviceFound = true;
        return plan;
    }
    return arguments.all() ? planAll(devices, arguments, catalogue) : planOne(devices, arguments, catalogue);
}

QString UpdatePlanner::incompatibility(const UpdateFileVerdict& verdict)
{
    switch (verdict.kind) {
    case UpdateFileVerdict::Kind::Fits:
        return QString();
    case UpdateFileVerdict::Kind::NoFile:
        return QStringLiteral("the update file cannot be read");
    case UpdateFileVerdict::Kind::FileProblem:
        return (verdict.fileProblem.headerIsValid() ? QStringLiteral("the update file cannot be used: %1")
                                                    : QStringLiteral("the update file cannot be read: %1"))
            .arg(UpdateFileReport::problemText(verdict.fileProblem));
    case UpdateFileVerdict::Kind::OtherModel:
        return QStringLiteral("the update file is for model %1, the device is a %2")
            .arg(verdict.fileModel, verdict.deviceModel);
    case UpdateFileVerdict::Kind::HardwareNotListed:
        return QStringLiteral("the update file fits hardware %1, the device has hardware %2")
            .arg(verdict.fileHardwareVersionsText, MLPDeviceInfoNode::versionText(verdict.deviceHwVersion));
    }
    return QString();
}

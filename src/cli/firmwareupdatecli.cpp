#include "firmwareupdatecli.h"

#include "builtinupdatefiles.h"
#include "clidevicesession.h"
#include "cliexitcode.h"
#include "deviceaccessprobe.h"
#include "deviceversiontext.h"
#include "mlpusbidentities.h"
#include "mlu2file.h"
#include "progressdisplay.h"
#include "updatefilereport.h"
#include "updateinterruptguard.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPUsbIdentities;

namespace {

constexpr int kHexadecimal = 16;

QString linkKindText(MLPLinkKind kind)
{
    switch (kind) {
    case MLPLinkKind::FtdiBridge:
        return QStringLiteral("FTDI bridge");
    case MLPLinkKind::MakerUsb:
        return QStringLiteral("maker USB");
    case MLPLinkKind::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString usbId(uint16_t vendorId, uint16_t productId)
{
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, kHexadecimal, QLatin1Char('0'))
        .arg(productId, 4, kHexadecimal, QLatin1Char('0'));
}

QJsonObject deviceJson(const MLPDeviceInfoNode& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("address"), device.address);
    object.insert(QStringLiteral("link"), QLatin1String(linkKindKey(device.linkKind)));
    object.insert(QStringLiteral("model"), device.model);
    object.insert(QStringLiteral("hardwareVersion"), deviceVersionText(device.hwVersion));
    object.insert(QStringLiteral("firmwareVersion"), deviceVersionText(device.fwVersion));
    object.insert(QStringLiteral("maxFrameLength"), device.maxFrameLength);
    return object;
}

QJsonObject inaccessibleJson(const InaccessibleUsbDevice& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("usbId"), usbId(device.vendorId, device.productId));
    object.insert(QStringLiteral("bus"), device.busNumber);
    object.insert(QStringLiteral("device"), device.deviceNumber);
    object.insert(QStringLiteral("accessDenied"), device.accessDenied);
    object.insert(QStringLiteral("problem"), device.problem);
    return object;
}

// Columns padded to their widest cell; the last column is not padded.
QStringList table(const QList<QStringList>& rows)
{
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (int column = 0; column < row.size(); ++column) {
            if (column >= widths.size()) {
                widths.append(0);
            }
            widths[column] = std::max(widths[column], static_cast<int>(row[column].size()));
        }
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column) {
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        }
        lines << line;
    }
    return lines;
}

QString deviceSummary(const MLPDeviceInfoNode& device)
{
    return QStringLiteral("%1 at %2 (%3, hardware %4, firmware %5)")
        .arg(device.model, device.address, linkKindText(device.linkKind), deviceVersionText(device.hwVersion),
             deviceVersionText(device.fwVersion));
}

} // namespace

FirmwareUpdateCli::FirmwareUpdateCli(QTextStream& out, QTextStream& err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal)
{}

int FirmwareUpdateCli::run(const QStringList& arguments)
{
    CliArguments parsed;
    switch (parsed.parse(arguments)) {
    case CliArguments::Outcome::ShowHelp:
        m_out << parsed.helpText();
        return kExitSuccess;
    case CliArguments::Outcome::ShowVersion:
        m_out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return kExitSuccess;
    case CliArguments::Outcome::UsageError:
        m_err << parsed.errorText() << '\n'
              << QStringLiteral("Run with --help for the commands and options.") << '\n';
        return kExitUsageError;
    case CliArguments::Outcome::Run:
        break;
    }

    switch (parsed.command()) {
    case CliArguments::Command::List:
        return list(parsed.json());
    case CliArguments::Command::Inspect:
        return inspect(parsed.inspectPath(), parsed.json());
    case CliArguments::Command::Builtin:
        return builtin(parsed.json());
    case CliArguments::Command::Update:
        return update(parsed);
    case CliArguments::Command::None:
        break;
    }
    return kExitUsageError;
}

QString FirmwareUpdateCli::incompatibility(const QString& path, const MLPDeviceInfoNode& device)
{
    MLU2File file(path);
    if (!file.open()) {
        return QStringLiteral("the update file cannot be read");
    }
    QString reason;
    if (file.modelName() != device.model) {
        reason = QStringLiteral("the update file is for model %1, the device is a %2")
                     .arg(file.modelName(), device.model);
    } else if (!file.isHwCompatible(device.hwVersion)) {
        reason = QStringLiteral("the update file fits hardware %1, the device has hardware %2")
                     .arg(file.compatibleHardwareVersionsText(), deviceVersionText(device.hwVersion));
    }
    file.close();
    return reason;
}

void FirmwareUpdateCli::printJson(const QJsonObject& object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void FirmwareUpdateCli::printInaccessible(const QList<InaccessibleUsbDevice>& inaccessible)
{
    bool accessDenied = false;
    for (const InaccessibleUsbDevice& device : inaccessible) {
        const bool bridge = MLPUsbIdentities::isFtdiBridge(device.vendorId, device.productId);
        m_err << QStringLiteral("USB device %1 (%2, bus %3 device %4) cannot be used: %5.")
                     .arg(usbId(device.vendorId, device.productId),
                          bridge ? QStringLiteral("an FTDI bridge") : QStringLiteral("a Marlune device"))
                     .arg(device.busNumber)
                     .arg(device.deviceNumber)
                     .arg(device.problem)
              << '\n';
        accessDenied = accessDenied || device.accessDenied;
    }
    if (accessDenied) {
        m_err << QStringLiteral(
                     "This user has no access to it. Install the udev rules %1 into %2 (the package does "
                     "this), run \"udevadm control --reload && udevadm trigger\" as root and plug the "
                     "device in again; see \"Using real devices\" in the README.")
                     .arg(DeviceAccessProbe::udevRulesFile(), DeviceAccessProbe::udevRulesDirectory())
              << '\n';
    }
}

int FirmwareUpdateCli::reportNoDevice(const QList<InaccessibleUsbDevice>& inaccessible)
{
    m_err << QStringLiteral("No Marlune device found.") << '\n';
    printInaccessible(inaccessible);
    return kExitNoDevice;
}

int FirmwareUpdateCli::list(bool json)
{
    CliDeviceSession session;
    const QList<MLPDeviceInfoNode> devices = session.discover();
    session.stop();
    // Asked only now: while the discovery ran, the worker thread had devices open.
    const QList<InaccessibleUsbDevice> inaccessible = DeviceAccessProbe::findInaccessibleDevices();

    if (json) {
        QJsonArray deviceArray;
        for (const MLPDeviceInfoNode& device : devices) {
            deviceArray.append(deviceJson(device));
        }
        QJsonArray inaccessibleArray;
        for (const InaccessibleUsbDevice& device : inaccessible) {
            inaccessibleArray.append(inaccessibleJson(device));
        }
        QJsonObject object;
        object.insert(QStringLiteral("devices"), deviceArray);
        object.insert(QStringLiteral("inaccessibleDevices"), inaccessibleArray);
        printJson(object);
        return devices.isEmpty() ? kExitNoDevice : kExitSuccess;
    }

    if (devices.isEmpty()) {
        return reportNoDevice(inaccessible);
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("ADDRESS"),  QStringLiteral("LINK"),     QStringLiteral("MODEL"),
                        QStringLiteral("HARDWARE"), QStringLiteral("FIRMWARE"), QStringLiteral("MAX FRAME")};
    for (const MLPDeviceInfoNode& device : devices) {
        rows << QStringList{device.address,
                            linkKindText(device.linkKind),
                            device.model,
                            deviceVersionText(device.hwVersion),
                            deviceVersionText(device.fwVersion),
                            QString::number(device.maxFrameLength)};
    }
    for (const QString& line : table(rows)) {
        m_out << line << '\n';
    }
    printInaccessible(inaccessible);
    return kExitSuccess;
}

int FirmwareUpdateCli::inspect(const QString& path, bool json)
{
    const UpdateFileReport report = UpdateFileReport::inspect(path);
    if (json) {
        printJson(report.toJson());
    } else {
        for (const QString& line : report.toText()) {
            m_out << line << '\n';
        }
    }
    return report.isUsable() ? kExitSuccess : kExitFileRejected;
}

int FirmwareUpdateCli::builtin(bool json)
{
    QList<UpdateFileReport> reports;
    for (const QString& path : builtInUpdateFiles()) {
        reports << UpdateFileReport::inspect(path);
    }
    if (json) {
        QJsonArray files;
        for (const UpdateFileReport& report : reports) {
            files.append(report.toJson());
        }
        QJsonObject object;
        object.insert(QStringLiteral("files"), files);
        printJson(object);
        return kExitSuccess;
    }
    if (reports.isEmpty()) {
        m_out << QStringLiteral("No built-in update files.") << '\n';
    }
    for (const UpdateFileReport& report : reports) {
        for (const QString& line : report.toText()) {
            m_out << line << '\n';
        }
    }
    return kExitSuccess;
}

int FirmwareUpdateCli::update(const CliArguments& arguments)
{
    // A file named on the command line is checked before any device is touched.
    if (!arguments.updateFilePath().isEmpty()) {
        const UpdateFileReport report = UpdateFileReport::inspect(arguments.updateFilePath());
        if (!report.isUsable()) {
            m_err << QStringLiteral("Cannot use %1: %2.").arg(arguments.updateFilePath(), report.problem())
                  << '\n';
            return kExitFileRejected;
        }
    }

    CliDeviceSession session;
    const QList<MLPDeviceInfoNode> devices = session.discover();
    if (devices.isEmpty()) {
        session.stop();
        return reportNoDevice(DeviceAccessProbe::findInaccessibleDevices());
    }

    int index = 0;
    if (!arguments.deviceAddress().isEmpty()) {
        index = -1;
        for (int position = 0; position < devices.size(); ++position) {
            if (devices[position].address == arguments.deviceAddress()) {
                index = position;
            }
        }
        if (index < 0) {
            m_err << QStringLiteral("No device answers at %1; list shows the devices found.")
                         .arg(arguments.deviceAddress())
                  << '\n';
            return kExitNoDevice;
        }
    } else if (devices.size() > 1) {
        // The window picks the first device; a script must say which one it means.
        m_err << QStringLiteral("%1 devices found; choose one with --device:").arg(devices.size()) << '\n';
        for (const MLPDeviceInfoNode& device : devices) {
            m_err << QStringLiteral("  ") << deviceSummary(device) << '\n';
        }
        return kExitUsageError;
    }
    const MLPDeviceInfoNode device = devices[index];

    const QString path = !arguments.updateFilePath().isEmpty()
                             ? arguments.updateFilePath()
                             : builtInUpdateFilesByModel().value(device.model);
    if (path.isEmpty()) {
        m_err
            << QStringLiteral("No built-in update file for model %1; name one with --file.").arg(device.model)
            << '\n';
        return kExitFileRejected;
    }
    const QString incompatible = incompatibility(path, device);
    if (!incompatible.isEmpty()) {
        m_err << QStringLiteral("Refusing to update %1: %2.").arg(deviceSummary(device), incompatible)
              << '\n';
        return kExitFileRejected;
    }
    const UpdateFileReport report = UpdateFileReport::inspect(path);
    if (!report.isUsable()) {
        m_err << QStringLiteral("Cannot use %1: %2.").arg(path, report.problem()) << '\n';
        return kExitFileRejected;
    }

    const CliDeviceSession::Selection selection = session.select(index);
    if (!selection.answered) {
        m_err << QStringLiteral("The device at %1 did not answer when selected.").arg(device.address) << '\n';
        return kExitNoDevice;
    }
    // An address is a position: a device plugged in or out since the discovery moves the
    // others, and the file was checked against the device listed there.
    if (selection.hwVersion != device.hwVersion || selection.fwVersion != device.fwVersion) {
        m_err << QStringLiteral("The device at %1 is no longer the one discovered; the devices changed. "
                                "Run the command again.")
                     .arg(device.address)
              << '\n';
        return kExitNoDevice;
    }

    m_out << QStringLiteral("Device: %1").arg(deviceSummary(device)) << '\n'
          << QStringLiteral("File:   %1 (firmware %2, %3 bytes to send)")
                 .arg(path, report.firmwareVersion())
                 .arg(report.updateBytes())
          << '\n';
    if (arguments.dryRun()) {
        m_out << QStringLiteral("Dry run: the file fits the device; nothing was sent.") << '\n';
        return kExitSuccess;
    }

    bool succeeded = false;
    {
        const UpdateInterruptGuard guard;
        ProgressDisplay display(m_out, m_terminal, report.updateBytes());
        display.start();
        succeeded = session.update(path, [&display](int percent) { display.show(percent); });
        display.finish();
    }
    session.stop();
    if (!succeeded) {
        m_err << QStringLiteral("The firmware update could not be completed. The device may hold a partial "
                                "update; run the update again.")
              << '\n';
        return kExitUpdateFailed;
    }
    m_out << QStringLiteral("Update complete.") << '\n';
    return kExitSuccess;
}

#include "clioutput.h"

#include "cliexitcode.h"
#include "deviceaccessprobe.h"
#include "devicetext.h"
#include "mlpusbidentities.h"
#include "updatetext.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

using marlune::MLP::MLPUsbIdentities;

namespace {

constexpr int kHexadecimal = 16;

QString usbId(uint16_t vendorId, uint16_t productId)
{
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, kHexadecimal, QLatin1Char('0'))
        .arg(productId, 4, kHexadecimal, QLatin1Char('0'));
}

QString phaseKey(MLPUpdateOutcome::Phase phase)
{
    switch (phase) {
    case MLPUpdateOutcome::Phase::FileCheck:
        return QStringLiteral("file-check");
    case MLPUpdateOutcome::Phase::UnitCheck:
        return QStringLiteral("unit-check");
    case MLPUpdateOutcome::Phase::Stopped:
        return QStringLiteral("stopped");
    case MLPUpdateOutcome::Phase::IdentityCheck:
        return QStringLiteral("identity-check");
    case MLPUpdateOutcome::Phase::Header:
        return QStringLiteral("header");
    case MLPUpdateOutcome::Phase::Block:
        return QStringLiteral("block");
    case MLPUpdateOutcome::Phase::Done:
        break;
    }
    return QStringLiteral("done");
}

QJsonValue unitProblemKey(MLPUpdateOutcome::UnitProblem problem)
{
    switch (problem) {
    case MLPUpdateOutcome::UnitProblem::NotAttached:
        return QStringLiteral("not-attached");
    case MLPUpdateOutcome::UnitProblem::NoAnswer:
        return QStringLiteral("no-answer");
    case MLPUpdateOutcome::UnitProblem::Held:
        return QStringLiteral("held");
    case MLPUpdateOutcome::UnitProblem::NotAccessible:
        return QStringLiteral("not-accessible");
    case MLPUpdateOutcome::UnitProblem::OtherModel:
        return QStringLiteral("other-model");
    case MLPUpdateOutcome::UnitProblem::SameFirmware:
        return QStringLiteral("same-firmware");
    case MLPUpdateOutcome::UnitProblem::NewerFirmware:
        return QStringLiteral("newer-firmware");
    case MLPUpdateOutcome::UnitProblem::None:
        break;
    }
    return QJsonValue();
}

} // namespace

CliOutput::CliOutput(QTextStream& out, QTextStream& err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal)
{}

void CliOutput::printJson(const QJsonObject& object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void CliOutput::printJsonLine(const QJsonObject& object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}

void CliOutput::printLines(const QStringList& lines)
{
    for (const QString& line : lines) {
        m_out << line << '\n';
    }
}

bool CliOutput::reportUsbStartProblem()
{
    const QString problem = DeviceAccessProbe::usbStartProblem();
    if (problem.isEmpty()) {
        return false;
    }
    m_err << QStringLiteral("USB could not be started: %1.").arg(problem) << '\n'
          << QStringLiteral("No device can be reached until it does; with LIBUSB_DEBUG=4 in the environment "
                            "the USB library tells why.")
          << '\n';
    return true;
}

void CliOutput::printMissing(const MissingDevices& missing)
{
    if (missing.unanswered > 0) {
        m_err << QStringLiteral(
                     "%1 attached device(s) did not answer and are not listed; check power and cables.")
                     .arg(missing.unanswered)
              << '\n';
    }
    bool accessDenied = false;
    bool noDriver = false;
    for (const InaccessibleUsbDevice& device : missing.inaccessible) {
        const bool bridge = MLPUsbIdentities::isFtdiBridge(device.vendorId, device.productId);
        m_err << QStringLiteral("USB device %1 (%2, bus %3 device %4) cannot be used: %5.")
                     .arg(usbId(device.vendorId, device.productId),
                          bridge ? QStringLiteral("an FTDI bridge") : QStringLiteral("a Marlune device"))
                     .arg(device.busNumber)
                     .arg(device.deviceNumber)
                     .arg(device.problem)
              << '\n';
        accessDenied = accessDenied || device.accessDenied;
        noDriver = noDriver || device.noDriver;
    }
    if (noDriver) {
        m_err << QStringLiteral("Windows has no WinUSB driver for it. Install %1 from the program's folder "
                                "(right-click, Install) and plug the device in again.")
                     .arg(DeviceAccessProbe::winUsbDriverFile())
              << '\n';
    }
    if (accessDenied) {
        m_err << QStringLiteral(
                     "This user has no access to it. Install the udev rules %1 into %2 (the package does "
                     "this), run \"udevadm control --reload && udevadm trigger\" as root and plug the "
                     "device in again; FILES in the manual page marlune-fwupdate-cli(1) tells more.")
                     .arg(DeviceAccessProbe::udevRulesFile(), DeviceAccessProbe::udevRulesDirectory())
              << '\n';
    }
    if (missing.heldBridges > 0) {
        m_err << QStringLiteral("%1 FTDI bridge(s) held open by another program (DMX software, for one) and "
                                "not listed; close that program and try again.")
                     .arg(missing.heldBridges)
              << '\n';
    }
    if (missing.ftdiDriverMissing) {
        m_err << QStringLiteral("The FTDI driver is not installed, so no device behind an FTDI bridge can be "
                                "found; install it and try again.")
              << '\n';
    }
}

int CliOutput::reportNoDevice(const MissingDevices& missing)
{
    m_err << QStringLiteral("No Marlune device found.") << '\n';
    printMissing(missing);
    return kExitNoDevice;
}

void CliOutput::insertMissingJson(const MissingDevices& missing, QJsonObject& object)
{
    QJsonArray inaccessibleArray;
    for (const InaccessibleUsbDevice& device : missing.inaccessible) {
        inaccessibleArray.append(inaccessibleJson(device));
    }
    object.insert(QStringLiteral("inaccessibleDevices"), inaccessibleArray);
    object.insert(QStringLiteral("unansweredDevices"), missing.unanswered);
    object.insert(QStringLiteral("heldBridges"), missing.heldBridges);
    object.insert(QStringLiteral("ftdiDriverMissing"), missing.ftdiDriverMissing);
}

QJsonObject CliOutput::deviceJson(const MLPDeviceInfoNode& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("address"), device.address);
    object.insert(QStringLiteral("link"), QLatin1String(linkKindKey(device.linkKind)));
    object.insert(QStringLiteral("model"), device.model);
    object.insert(QStringLiteral("serial"), device.serial);
    // Where it sits, which tells apart units that share a serial number or have none.
    object.insert(QStringLiteral("portPath"), device.portPath);
    object.insert(QStringLiteral("serialSharedBy"), device.serialShareCount);
    object.insert(QStringLiteral("hardwareVersion"), MLPDeviceInfoNode::versionText(device.hwVersion));
    object.insert(QStringLiteral("firmwareVersion"), MLPDeviceInfoNode::versionText(device.fwVersion));
    object.insert(QStringLiteral("maxFrameLength"), device.maxFrameLength);
    return object;
}

QJsonObject CliOutput::outcomeJson(const MLPUpdateOutcome& outcome)
{
    QJsonObject object;
    object.insert(QStringLiteral("phase"), phaseKey(outcome.phase));
    object.insert(QStringLiteral("unitProblem"), unitProblemKey(outcome.unitProblem));
    object.insert(QStringLiteral("block"), outcome.block >= 0 ? QJsonValue(outcome.block) : QJsonValue());
    object.insert(QStringLiteral("segment"),
                  outcome.segment > 0 ? QJsonValue(outcome.segment) : QJsonValue());
    object.insert(QStringLiteral("status"), devicetext::statusKey(outcome.status));
    object.insert(QStringLiteral("linkWriteFailed"), outcome.linkWriteFailed);
    object.insert(QStringLiteral("linkError"),
                  outcome.linkErrorName.isEmpty() ? QJsonValue() : QJsonValue(outcome.linkErrorName));
    object.insert(QStringLiteral("deviceStatus"),
                  outcome.deviceStatus ? QJsonValue(int(*outcome.deviceStatus)) : QJsonValue());
    object.insert(QStringLiteral("bytesConfirmed"), qint64(outcome.confirmedBytes));
    object.insert(QStringLiteral("bytesTotal"), qint64(outcome.totalBytes));
    object.insert(QStringLiteral("lastAcknowledgementMissing"), outcome.lastAcknowledgementMissing);
    return object;
}

QJsonObject CliOutput::refusalJson(const QString& reason, const QStringList& details, int exitCode)
{
    QJsonObject record;
    record.insert(QStringLiteral("event"), QStringLiteral("refused"));
    record.insert(QStringLiteral("reason"), reason);
    record.insert(QStringLiteral("details"), QJsonArray::fromStringList(details));
    record.insert(QStringLiteral("exitCode"), exitCode);
    return record;
}

QJsonObject CliOutput::inaccessibleJson(const InaccessibleUsbDevice& device)
{
    QJsonObject object;
    object.insert(QStringLiteral("usbId"), usbId(device.vendorId, device.productId));
    object.insert(QStringLiteral("bus"), device.busNumber);
    object.insert(QStringLiteral("device"), device.deviceNumber);
    object.insert(QStringLiteral("accessDenied"), device.accessDenied);
    object.insert(QStringLiteral("noDriver"), device.noDriver);
    object.insert(QStringLiteral("problem"), device.problem);
    return object;
}

QString CliOutput::orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QStringList CliOutput::table(const QList<QStringList>& rows)
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

QStringList CliOutput::unitCells(const MLPDeviceInfoNode& device)
{
    // A device that never answered has no model and no version to show.
    const bool answered = !device.model.isEmpty();
    return QStringList{orDash(device.address), orDash(device.model), UpdateText::linkKind(device.linkKind),
                       orDash(device.serial),
                       answered ? MLPDeviceInfoNode::versionText(device.fwVersion) : QStringLiteral("-")};
}

#include "devicelisttext.h"

#include "deviceaccessprobe.h"
#include "deviceunittext.h"

#include <QStringList>

QString DeviceListText::afterDiscovery(const QList<MLPDeviceInfoNode>& devices, const MissingDevices& missing,
                                       const std::optional<MLPDeviceInfoNode>& lost)
{
    QStringList parts;
    if (devices.isEmpty() && missing.unanswered == 0) {
        parts << noDevice(missing.inaccessible);
    } else if (!devices.isEmpty() && lost) {
        parts << tr("%1 is no longer listed.").arg(DeviceUnitText::modelAndUnit(*lost));
    }
    if (missing.unanswered == 1) {
        parts << tr("1 attached device did not answer and is not listed; check its power and cable, then "
                    "press Discover Devices.");
    } else if (missing.unanswered > 1) {
        parts << tr("%1 attached devices did not answer and are not listed; check their power and cables, "
                    "then press Discover Devices.")
                     .arg(missing.unanswered);
    }
    // With units listed the rig may still be short of some: say so, or nobody notices.
    if (!devices.isEmpty() || missing.unanswered > 0) {
        parts << notOpened(missing.inaccessible);
    }
    if (missing.heldBridges == 1) {
        parts << tr("1 FTDI bridge is held open by another program (DMX software, for one) and is not "
                    "listed; close that program, then press Discover Devices.");
    } else if (missing.heldBridges > 1) {
        parts << tr("%1 FTDI bridges are held open by another program (DMX software, for one) and are not "
                    "listed; close that program, then press Discover Devices.")
                     .arg(missing.heldBridges);
    }
    if (missing.ftdiDriverMissing) {
        parts << tr("The FTDI driver is not installed, so no device behind an FTDI bridge can be found; "
                    "install it and press Discover Devices.");
    }
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

QString DeviceListText::notOpened(const QList<InaccessibleUsbDevice>& inaccessible)
{
    int accessDenied = 0;
    int withoutDriver = 0;
    for (const InaccessibleUsbDevice& device : inaccessible) {
        accessDenied += device.accessDenied ? 1 : 0;
        withoutDriver += device.noDriver ? 1 : 0;
    }
    const int inUse = static_cast<int>(inaccessible.size()) - accessDenied - withoutDriver;
    QStringList parts;
    const QString rules = DeviceAccessProbe::udevRulesPath();
    if (accessDenied == 1) {
        parts << tr("1 more attached device cannot be opened by this user; install the udev rules\n%1\nand "
                    "plug it in again.")
                     .arg(rules);
    } else if (accessDenied > 1) {
        parts << tr("%1 more attached devices cannot be opened by this user; install the udev rules\n%2\nand "
                    "plug them in again.")
                     .arg(accessDenied)
                     .arg(rules);
    }
    const QString driver = DeviceAccessProbe::winUsbDriverFile();
    if (withoutDriver == 1) {
        parts << tr("1 more attached device has no WinUSB driver; install %1 from the program's folder and "
                    "plug it in again.")
                     .arg(driver);
    } else if (withoutDriver > 1) {
        parts
            << tr("%1 more attached devices have no WinUSB driver; install %2 from the program's folder and "
                  "plug them in again.")
                   .arg(withoutDriver)
                   .arg(driver);
    }
    if (inUse > 0) {
        parts << (inUse == 1 ? tr("1 more attached device is in use by another program.")
                             : tr("%1 more attached devices are in use by another program.").arg(inUse));
    }
    return parts.join(QLatin1Char(' '));
}

QString DeviceListText::noLongerAnswers(const MLPDeviceInfoNode& device)
{
    return tr("%1 no longer answers. Press Discover Devices to look for it again.")
        .arg(DeviceUnitText::modelAndUnit(device));
}

QString DeviceListText::noDevice(const QList<InaccessibleUsbDevice>& inaccessible)
{
    // Devices this user may not open, or that have no driver, are skipped by the links without
    // a word; the discovery looks at the bus afterwards to tell them from an empty one.
    int accessDenied = 0;
    int withoutDriver = 0;
    for (const InaccessibleUsbDevice& device : inaccessible) {
        accessDenied += device.accessDenied ? 1 : 0;
        withoutDriver += device.noDriver ? 1 : 0;
    }
    QString text;
    // The rules' path on a line of its own: it fits the window whole, where a break inside
    // its file name would misread.
    if (accessDenied == 1) {
        text = tr("No Marlune device found: 1 attached device cannot be opened by this user. "
                  "Install the udev rules\n%1\nand plug the device in again.")
                   .arg(DeviceAccessProbe::udevRulesPath());
    } else if (accessDenied > 1) {
        text = tr("No Marlune device found: %1 attached devices cannot be opened by this user. "
                  "Install the udev rules\n%2\nand plug the devices in again.")
                   .arg(QString::number(accessDenied), DeviceAccessProbe::udevRulesPath());
    } else if (withoutDriver == 1) {
        text = tr("No Marlune device found: 1 attached device has no WinUSB driver. Install %1 from the "
                  "program's folder (right-click, Install) and plug the device in again.")
                   .arg(DeviceAccessProbe::winUsbDriverFile());
    } else if (withoutDriver > 1) {
        text = tr("No Marlune device found: %1 attached devices have no WinUSB driver. Install %2 from the "
                  "program's folder (right-click, Install) and plug the devices in again.")
                   .arg(withoutDriver)
                   .arg(DeviceAccessProbe::winUsbDriverFile());
    } else {
        text = nothingAttached();
    }
    return text;
}

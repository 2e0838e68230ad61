#include "deviceaccessprobe.h"

#include "d2xxlibrary.h"
#include "mlpusbaccessprobe.h"

using marlune::MLP::MLPAccessProblem;
using marlune::MLP::MLPInaccessibleDevice;
using marlune::MLP::MLPUsbAccessProbe;

namespace {

QString problemText(const MLPInaccessibleDevice& device)
{
    switch (device.problem) {
    case MLPAccessProblem::AccessDenied:
        return QStringLiteral("access denied");
    case MLPAccessProblem::NoDriver:
        return QStringLiteral("no WinUSB driver installed");
    case MLPAccessProblem::InUse:
        return QStringLiteral("in use by another program");
    case MLPAccessProblem::Other:
        break;
    }
    return QString::fromStdString(device.detail);
}

} // namespace

QString DeviceAccessProbe::udevRulesDirectory()
{
    // udev reads rules from here and from /etc/udev/rules.d, never from below /usr/local.
    return QStringLiteral("/usr/lib/udev/rules.d");
}

QString DeviceAccessProbe::udevRulesFile()
{
    return QStringLiteral("60-marlune-fwupdate.rules");
}

QString DeviceAccessProbe::udevRulesPath()
{
    return udevRulesDirectory() + QLatin1Char('/') + udevRulesFile();
}

QString DeviceAccessProbe::winUsbDriverFile()
{
    return QStringLiteral("marlune-fwupdate-winusb.inf");
}

bool DeviceAccessProbe::ftdiDriverMissing()
{
    return !marlune::d2xx::d2xxLibraryLoaded();
}

QString DeviceAccessProbe::usbStartProblem()
{
    return QString::fromStdString(MLPUsbAccessProbe::usbStartProblem());
}

QList<InaccessibleUsbDevice> DeviceAccessProbe::findInaccessibleDevices()
{
    QList<InaccessibleUsbDevice> inaccessible;
    for (const MLPInaccessibleDevice& device : MLPUsbAccessProbe::findInaccessibleDevices()) {
        InaccessibleUsbDevice entry;
        entry.vendorId = device.vendorId;
        entry.productId = device.productId;
        entry.busNumber = device.busNumber;
        entry.deviceNumber = device.deviceNumber;
        entry.accessDenied = device.problem == MLPAccessProblem::AccessDenied;
        entry.noDriver = device.problem == MLPAccessProblem::NoDriver;
        entry.problem = problemText(device);
        inaccessible.append(entry);
    }
    return inaccessible;
}

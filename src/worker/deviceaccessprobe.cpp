#include "deviceaccessprobe.h"

#include "mlpphyml.h"
#include "mlpusbidentities.h"

#include <libusb.h>

using marlune::MLP::MLPLinkKind;
using marlune::MLP::MLPPhyMl;
using marlune::MLP::MLPUsbIdentities;

namespace {

QString libusbProblem(int error)
{
    if (error == LIBUSB_ERROR_ACCESS) {
        return QStringLiteral("access denied");
    }
    return QString::fromUtf8(libusb_strerror(error));
}

} // namespace

bool DeviceAccessProbe::isDrivenUsbId(uint16_t vendorId, uint16_t productId)
{
    return MLPUsbIdentities::linkKindOf(vendorId, productId) != MLPLinkKind::Unknown;
}

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

QString DeviceAccessProbe::usbStartProblem()
{
    libusb_context* context = nullptr;
    const int result = libusb_init(&context);
    if (result != 0) {
        return QString::fromUtf8(libusb_strerror(result));
    }
    libusb_exit(context);
    return QString();
}

QList<InaccessibleUsbDevice> DeviceAccessProbe::findInaccessibleDevices()
{
    QList<InaccessibleUsbDevice> inaccessible;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        return inaccessible;
    }
    libusb_device** attached = nullptr;
    const ssize_t attachedCount = libusb_get_device_list(context, &attached);
    for (ssize_t position = 0; position < attachedCount; ++position) {
        libusb_device* device = attached[position];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) {
            continue;
        }
        const MLPLinkKind kind = MLPUsbIdentities::linkKindOf(descriptor.idVendor, descriptor.idProduct);
        if (kind == MLPLinkKind::Unknown) {
            continue;
        }
        InaccessibleUsbDevice entry;
        entry.vendorId = descriptor.idVendor;
        entry.productId = descriptor.idProduct;
        entry.busNumber = libusb_get_bus_number(device);
        entry.deviceNumber = libusb_get_device_address(device);

        libusb_device_handle* handle = nullptr;
        const int openResult = libusb_open(device, &handle);
        if (openResult != 0) {
            entry.accessDenied = openResult == LIBUSB_ERROR_ACCESS;
            entry.problem = libusbProblem(openResult);
            inaccessible.append(entry);
            continue;
        }
        // A bridge normally has the kernel's serial driver bound, which the FTDI link detaches
        // when it opens the bridge; only the maker's interface is tried here.
        if (kind == MLPLinkKind::MakerUsb) {
            const int claimResult = libusb_claim_interface(handle, MLPPhyMl::kInterfaceNumber);
            if (claimResult == 0) {
                libusb_release_interface(handle, MLPPhyMl::kInterfaceNumber);
            } else if (claimResult == LIBUSB_ERROR_BUSY) {
                entry.problem = QStringLiteral("in use by another program");
                inaccessible.append(entry);
            }
        }
        libusb_close(handle);
    }
    if (attachedCount >= 0) {
        libusb_free_device_list(attached, 1);
    }
    libusb_exit(context);
    return inaccessible;
}

#include "mlpusbaccessprobe.h"

#include "mlpphyml.h"
#include "mlpusbidentities.h"
#include "mlpusblistinglock.h"

#include <libusb.h>

namespace marlune::MLP {

namespace {

MLPAccessProblem problemOf(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return MLPAccessProblem::AccessDenied;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return MLPAccessProblem::NoDriver;
    case LIBUSB_ERROR_BUSY:
        return MLPAccessProblem::InUse;
    default:
        return MLPAccessProblem::Other;
    }
}

MLPInaccessibleDevice entryFor(libusb_device* device, const libusb_device_descriptor& descriptor,
                               MLPLinkKind kind, int libusbError)
{
    MLPInaccessibleDevice entry;
    entry.vendorId = descriptor.idVendor;
    entry.productId = descriptor.idProduct;
    entry.busNumber = libusb_get_bus_number(device);
    entry.deviceNumber = libusb_get_device_address(device);
    entry.linkKind = kind;
    entry.problem = problemOf(libusbError);
    entry.detail = libusb_strerror(libusbError);
    return entry;
}

} // namespace

std::string MLPUsbAccessProbe::usbStartProblem()
{
    libusb_context* context = nullptr;
    const int result = libusb_init(&context);
    if (result != 0) {
        return libusb_strerror(result);
    }
    libusb_exit(context);
    return std::string();
}

std::vector<MLPInaccessibleDevice> MLPUsbAccessProbe::findInaccessibleDevices()
{
    std::vector<MLPInaccessibleDevice> inaccessible;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        return inaccessible;
    }
    const MLPUsbListingLock listing;
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
        libusb_device_handle* handle = nullptr;
        const int openResult = libusb_open(device, &handle);
        if (openResult != 0) {
            // Where a bridge has the FTDI driver of its own (Windows), the USB library finds no
            // driver it can use, and the FTDI link reaches the bridge through that driver.
            if (!(kind == MLPLinkKind::FtdiBridge && openResult == LIBUSB_ERROR_NOT_SUPPORTED)) {
                inaccessible.push_back(entryFor(device, descriptor, kind, openResult));
            }
            continue;
        }
        // A bridge normally has the kernel's serial driver bound, which the FTDI link detaches
        // when it opens the bridge; only the maker's interface is tried here.
        if (kind == MLPLinkKind::MakerUsb) {
            const int claimResult = libusb_claim_interface(handle, MLPPhyMl::kInterfaceNumber);
            if (claimResult == 0) {
                libusb_release_interface(handle, MLPPhyMl::kInterfaceNumber);
            } else if (claimResult == LIBUSB_ERROR_BUSY) {
                inaccessible.push_back(entryFor(device, descriptor, kind, claimResult));
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

} // namespace marlune::MLP

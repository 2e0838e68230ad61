#include "deviceunittext.h"

#include "updatetext.h"

QString DeviceUnitText::unit(const MLPDeviceInfoNode& device)
{
    if (device.serial.isEmpty()) {
        return tr("%1 at %2").arg(UpdateText::linkKind(device.linkKind), device.address);
    }
    return tr("%1 %2").arg(UpdateText::linkKind(device.linkKind), device.serial);
}

QString DeviceUnitText::unitDetails(const MLPDeviceInfoNode& device)
{
    if (device.serial.isEmpty()) {
        return unit(device);
    }
    return tr("%1, serial %2").arg(UpdateText::linkKind(device.linkKind), device.serial);
}

QString DeviceUnitText::modelAndUnit(const MLPDeviceInfoNode& device)
{
    return tr("%1 (%2)").arg(device.model, unitDetails(device));
}

QString DeviceUnitText::listEntry(const MLPDeviceInfoNode& device, bool modelShared)
{
    if (!modelShared) {
        return device.model;
    }
    return tr("%1 \u2014 %2").arg(device.model, unit(device));
}

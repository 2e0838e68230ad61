#include "deviceunittext.h"

#include "updatetext.h"

#include <algorithm>

QString DeviceUnitText::unit(const MLPDeviceInfoNode& device)
{
    return UpdateText::unit(device);
}

QString DeviceUnitText::unitDetails(const MLPDeviceInfoNode& device)
{
    if (!device.serialIsOwn()) {
        return unit(device);
    }
    return tr("%1, serial %2").arg(UpdateText::linkKind(device.linkKind), device.serial);
}

QString DeviceUnitText::modelAndUnit(const MLPDeviceInfoNode& device)
{
    return tr("%1 (%2)").arg(device.model, unitDetails(device));
}

QStringList DeviceUnitText::listEntries(const QList<MLPDeviceInfoNode>& devices)
{
    QStringList entries;
    for (const MLPDeviceInfoNode& device : devices) {
        const bool modelShared =
            std::count_if(devices.begin(), devices.end(),
                          [&](const MLPDeviceInfoNode& other) { return other.model == device.model; }) > 1;
        entries << (modelShared ? tr("%1 \u2014 %2").arg(device.model, unit(device)) : device.model);
    }
    return entries;
}

#pragma once

#include "inaccessibleusbdevice.h"
#include "missingdevices.h"
#include "mlpdeviceinfonode.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <optional>

// What the main window's verdict line says about the device list: why it is empty, which
// attached devices it could not list and why, which unit is gone.
class DeviceListText
{
    Q_DECLARE_TR_FUNCTIONS(DeviceListText)

public:
    // After a discovery that listed `devices` and could not list `missing`; `lost` is the
    // unit whose connection was lost.
    static QString afterDiscovery(const QList<MLPDeviceInfoNode>& devices, const MissingDevices& missing,
                                  const std::optional<MLPDeviceInfoNode>& lost);
    // The selected unit stopped answering.
    static QString noLongerAnswers(const MLPDeviceInfoNode& device);

private:
    static QString noDevice(const QList<InaccessibleUsbDevice>& inaccessible);
    // No device of ours on the bus at all: what to check, in the system's own terms
    // (devicelisttext_unix.cpp, devicelisttext_windows.cpp).
    static QString nothingAttached();
    // Devices of ours beside listed or silent ones that could not be opened; empty for none.
    static QString notOpened(const QList<InaccessibleUsbDevice>& inaccessible);
};

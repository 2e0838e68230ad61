#pragma once

#include "inaccessibleusbdevice.h"
#include "mlpdeviceinfonode.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <optional>

// What the main window's verdict line says about the device list: why it is empty, which
// attached devices did not answer, which unit is gone.
class DeviceListText
{
    Q_DECLARE_TR_FUNCTIONS(DeviceListText)

public:
    // After a discovery that listed `devices`, left out `unanswered` silent ones and found
    // `inaccessible` ones it could not open; `lost` is the unit whose connection was lost.
    static QString afterDiscovery(const QList<MLPDeviceInfoNode>& devices, int unanswered,
                                  const QList<InaccessibleUsbDevice>& inaccessible,
                                  const std::optional<MLPDeviceInfoNode>& lost);
    // The selected unit stopped answering.
    static QString noLongerAnswers(const MLPDeviceInfoNode& device);

private:
    static QString noDevice(const QList<InaccessibleUsbDevice>& inaccessible);
};

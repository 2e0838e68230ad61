#pragma once

#include "mlpdeviceinfonode.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

// How the window and its dialogs name a device unit to the user: its link and serial
// number, so that units of one model can be told apart.
class DeviceUnitText
{
    Q_DECLARE_TR_FUNCTIONS(DeviceUnitText)

public:
    // "maker USB 0042"; without a serial number of its own, where it sits: "FTDI bridge on
    // port 1-2.3" (UpdateText::unit).
    static QString unit(const MLPDeviceInfoNode& device);
    // "maker USB, serial 0042"; without a serial number of its own as unit() says it.
    static QString unitDetails(const MLPDeviceInfoNode& device);
    // "DEMO-A (maker USB, serial 0042)".
    static QString modelAndUnit(const MLPDeviceInfoNode& device);
    // The device list's entries: each the model, and the unit when another entry shares the model.
    static QStringList listEntries(const QList<MLPDeviceInfoNode>& devices);
};

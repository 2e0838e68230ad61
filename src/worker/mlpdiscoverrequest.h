#pragma once

#include "missingdevices.h"
#include "mlpdeviceinfonode.h"
#include "mlpworkerrequesti.h"

#include <QList>
#include <QMutex>

// Finds every attached device that answers with its information record, but for the units
// the context leaves out, which are only listed. Ends any
// selection: the thread's connection and link are deleted, and the pass runs on a private
// link and connection.
class MLPDiscoverRequest : public MLPWorkerRequestI
{
    Q_OBJECT

public:
    explicit MLPDiscoverRequest(QObject* parent = nullptr);

    void run(MLPWorkerContext* context) override;

    // A copy of the last discovery's result, in enumeration order. Safe to call from the
    // GUI thread while a discovery runs.
    QList<MLPDeviceInfoNode> devices() const;
    // Every unit the last discovery found attached, answering, left out or not, with its
    // address, link kind and serial number only.
    QList<MLPDeviceInfoNode> attachedUnits() const;
    // Who the last discovery saw attached but could not list, and why.
    MissingDevices missingDevices() const;

private:
    mutable QMutex m_devicesMutex;
    QList<MLPDeviceInfoNode> m_deviceList;
    QList<MLPDeviceInfoNode> m_attached;
    MissingDevices m_missing;
};

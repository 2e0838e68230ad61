#pragma once

#include "inaccessibleusbdevice.h"
#include "mlpdeviceinfonode.h"
#include "mlpworkerrequesti.h"

#include <QList>
#include <QMutex>

// Finds every attached device that answers with its information record. Ends any
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
    // How many attached devices the last discovery found but left out because they gave
    // no valid device information.
    int unansweredCount() const;
    // Attached devices of ours that the last discovery could not open at all, looked for
    // once its own links were closed.
    QList<InaccessibleUsbDevice> inaccessibleDevices() const;
    // FTDI bridges of our USB ids that another program held open, so that the last discovery
    // could not ask them; not counted as unanswered.
    int heldBridgeCount() const;

private:
    mutable QMutex m_devicesMutex;
    QList<MLPDeviceInfoNode> m_deviceList;
    int m_unansweredCount = 0;
    QList<InaccessibleUsbDevice> m_inaccessible;
    int m_heldBridgeCount = 0;
};

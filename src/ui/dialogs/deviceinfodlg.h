#pragma once

#include "mlpdeviceinfonode.h"

#include <QDialog>
#include <QString>

namespace Ui {
class DeviceInfoDlg;
}

// Shows what the selected device reported about itself when it was discovered.
class DeviceInfoDlg : public QDialog
{
    Q_OBJECT

public:
    DeviceInfoDlg(const MLPDeviceInfoNode& deviceInfoNode, QWidget* parent = nullptr);
    ~DeviceInfoDlg() override;

private:
    void addRow(const QString& property, const QString& value);

    MLPDeviceInfoNode m_deviceInfoNode;
    Ui::DeviceInfoDlg* m_ui;
};

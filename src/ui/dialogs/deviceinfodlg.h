#pragma once

#include "mlpdeviceinfonode.h"

#include <QDialog>
#include <QString>

#include <cstdint>

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

    // Devices report versions in BCD, so each byte shows as its hexadecimal digits:
    // 0x0112 reads 1.12.
    static QString deviceVersionText(uint16_t version);

private:
    void addRow(const QString& property, const QString& value);

    MLPDeviceInfoNode m_deviceInfoNode;
    Ui::DeviceInfoDlg* m_ui;
};

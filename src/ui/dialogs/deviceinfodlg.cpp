#include "deviceinfodlg.h"

#include "ui_deviceinfodlg.h"

#include <QTableWidgetItem>

DeviceInfoDlg::DeviceInfoDlg(const MLPDeviceInfoNode& deviceInfoNode, QWidget* parent)
    : QDialog(parent), deviceInfoNode(deviceInfoNode), ui(new Ui::DeviceInfoDlg)
{
    ui->setupUi(this);
    addRow(QStringLiteral("Model"), deviceInfoNode.model);
    addRow(QStringLiteral("Firmware Version"), deviceVersionText(deviceInfoNode.fwVersion));
    addRow(QStringLiteral("Hardware Version"), deviceVersionText(deviceInfoNode.hwVersion));
}

DeviceInfoDlg::~DeviceInfoDlg()
{
    delete ui;
}

QString DeviceInfoDlg::deviceVersionText(uint16_t version)
{
    const unsigned major = version >> 8;
    const unsigned minor = version & 0xFFu;
    return QStringLiteral("%1.").arg(major, 0, 16) + QString::asprintf("%02x", minor);
}

void DeviceInfoDlg::addRow(const QString& property, const QString& value)
{
    const int row = ui->deviceInfoTable->rowCount();
    ui->deviceInfoTable->insertRow(row);
    ui->deviceInfoTable->setItem(row, 0, new QTableWidgetItem(property));
    ui->deviceInfoTable->setItem(row, 1, new QTableWidgetItem(value));
}

#include "deviceinfodlg.h"

#include "deviceunittext.h"
#include "ui_deviceinfodlg.h"
#include "updatetext.h"

#include <QHeaderView>
#include <QLayout>
#include <QTableWidgetItem>

DeviceInfoDlg::DeviceInfoDlg(const MLPDeviceInfoNode& deviceInfoNode, QWidget* parent)
    : QDialog(parent), m_deviceInfoNode(deviceInfoNode), m_ui(new Ui::DeviceInfoDlg)
{
    m_ui->setupUi(this);
    addRow(QStringLiteral("Model"), deviceInfoNode.model);
    addRow(QStringLiteral("Firmware Version"), MLPDeviceInfoNode::versionText(deviceInfoNode.fwVersion));
    addRow(QStringLiteral("Hardware Version"), MLPDeviceInfoNode::versionText(deviceInfoNode.hwVersion));
    // Where the unit sits, so that two of one model can be told apart.
    addRow(QStringLiteral("Link"), UpdateText::linkKind(deviceInfoNode.linkKind));
    addRow(QStringLiteral("Address"), deviceInfoNode.address);
    addRow(QStringLiteral("Serial Number"),
           deviceInfoNode.serial.isEmpty() ? tr("not read") : deviceInfoNode.serial);
    // The form's sizes suit a small dialog font. With a larger one the columns are fitted to
    // their texts and the dialog grows until they show whole. A stretched last column never
    // gets narrower than it was when the stretch was switched on (its default width here),
    // so the stretch is switched on again after the columns are fitted.
    QTableWidget* table = m_ui->deviceInfoTable;
    QHeaderView* columns = table->horizontalHeader();
    columns->setStretchLastSection(false);
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    const int neededTableWidth = columns->length() + 2 * table->frameWidth();
    columns->setStretchLastSection(true);
    int neededTableHeight = 2 * table->frameWidth();
    for (int row = 0; row < table->rowCount(); ++row) {
        neededTableHeight += table->rowHeight(row);
    }
    table->setMinimumHeight(neededTableHeight);
    const QMargins margins = layout()->contentsMargins();
    resize(qMax(width(), neededTableWidth + margins.left() + margins.right()),
           qMax(height(), layout()->minimumSize().height()));
}

DeviceInfoDlg::~DeviceInfoDlg()
{
    delete m_ui;
}

void DeviceInfoDlg::addRow(const QString& property, const QString& value)
{
    const int row = m_ui->deviceInfoTable->rowCount();
    m_ui->deviceInfoTable->insertRow(row);
    m_ui->deviceInfoTable->setItem(row, 0, new QTableWidgetItem(property));
    m_ui->deviceInfoTable->setItem(row, 1, new QTableWidgetItem(value));
}

#include "loadedfirmwaredlg.h"

#include "mlu2file.h"
#include "ui_loadedfirmwaredlg.h"

#include <QTableWidgetItem>

LoadedFirmwareDlg::LoadedFirmwareDlg(const QString& filePath, QWidget* parent)
    : QDialog(parent), ui(new Ui::LoadedFirmwareDlg)
{
    ui->setupUi(this);
    {
        MLU2File updateFile(filePath);
        if (updateFile.open()) {
            addRow(QStringLiteral("Device Model"), updateFile.modelName());
            addRow(QStringLiteral("Compatible Hardware Versions"),
                   updateFile.compatibleHardwareVersionsText());
            addRow(QStringLiteral("Firmware Version"), updateFile.firmwareVersionText());
        } else {
            addRow(QStringLiteral("Error"), QStringLiteral("Unable to read firmware update file"));
        }
        updateFile.close();
    }
    addRow(QStringLiteral("Path"), filePath);
    // "Compatible Hardware Versions" is wider than the form's 150-pixel column.
    ui->firmwareInfoTable->resizeColumnToContents(0);
    ui->firmwareInfoTable->resizeRowsToContents();
}

LoadedFirmwareDlg::~LoadedFirmwareDlg()
{
    delete ui;
}

void LoadedFirmwareDlg::addRow(const QString& property, const QString& value)
{
    const int row = ui->firmwareInfoTable->rowCount();
    ui->firmwareInfoTable->insertRow(row);
    ui->firmwareInfoTable->setItem(row, 0, new QTableWidgetItem(property));
    ui->firmwareInfoTable->setItem(row, 1, new QTableWidgetItem(value));
}

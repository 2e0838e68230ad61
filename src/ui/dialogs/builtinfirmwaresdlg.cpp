#include "builtinfirmwaresdlg.h"

#include "builtinupdatefiles.h"
#include "mlu2file.h"
#include "ui_builtinfirmwaresdlg.h"

#include <QHeaderView>
#include <QLayout>
#include <QScrollBar>
#include <QTableWidgetItem>

namespace {

constexpr int kRowsShownWhole = 10;

} // namespace

BuiltInFirmwaresDlg::BuiltInFirmwaresDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::BuiltInFirmwaresDlg)
{
    m_ui->setupUi(this);
    const QStringList files = marlune::builtInUpdateFiles();
    for (const QString& path : files) {
        MLU2File updateFile(path);
        if (updateFile.open()) {
            addRow(updateFile.modelName(), updateFile.firmwareVersionText(),
                   updateFile.compatibleHardwareVersionsText());
        }
        updateFile.close();
    }
    // A release may carry no built-in files: then the dialog says so instead of an empty table.
    m_ui->lbl_noBuiltInFiles->setVisible(files.isEmpty());
    m_ui->builtInFirmwaresList->setVisible(!files.isEmpty());
    // The form's width suits a small dialog font. With a larger one the columns are fitted
    // to their headers and values and the dialog widens until the last header fits.
    QTableWidget* table = m_ui->builtInFirmwaresList;
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    const int neededTableWidth = table->horizontalHeader()->length() + 2 * table->frameWidth() +
                                 table->verticalScrollBar()->sizeHint().width();
    // Up to ten files show without scrolling; more scroll.
    int neededTableHeight = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
    for (int row = 0; row < qMin(table->rowCount(), kRowsShownWhole); ++row) {
        neededTableHeight += table->rowHeight(row);
    }
    table->setMinimumHeight(neededTableHeight);
    const QMargins margins = layout()->contentsMargins();
    resize(qMax(width(), neededTableWidth + margins.left() + margins.right()),
           qMax(height(), layout()->minimumSize().height()));
}

BuiltInFirmwaresDlg::~BuiltInFirmwaresDlg()
{
    delete m_ui;
}

void BuiltInFirmwaresDlg::addRow(const QString& model, const QString& firmwareVersion,
                                 const QString& hardwareVersions)
{
    const int row = m_ui->builtInFirmwaresList->rowCount();
    m_ui->builtInFirmwaresList->insertRow(row);
    m_ui->builtInFirmwaresList->setItem(row, 0, new QTableWidgetItem(model));
    m_ui->builtInFirmwaresList->setItem(row, 1, new QTableWidgetItem(firmwareVersion));
    m_ui->builtInFirmwaresList->setItem(row, 2, new QTableWidgetItem(hardwareVersions));
}

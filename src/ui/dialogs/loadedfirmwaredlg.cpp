#include "loadedfirmwaredlg.h"

#include "mlu2file.h"
#include "ui_loadedfirmwaredlg.h"
#include "updatefilecheck.h"
#include "updatetext.h"

#include <QDir>
#include <QTableWidgetItem>

LoadedFirmwareDlg::LoadedFirmwareDlg(const QString& filePath, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::LoadedFirmwareDlg)
{
    m_ui->setupUi(this);
    QString problem;
    QString signature;
    {
        MLU2File updateFile(filePath);
        const bool opened = updateFile.open();
        // The file's problem as the check finds it, so that it is told here as in the tool tip.
        const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(updateFile);
        problem = verdict.kind == UpdateFileVerdict::Kind::SignatureRefused
                      ? UpdateText::signature(verdict.signature)
                      : UpdateText::fileProblem(verdict.fileProblem);
        if (verdict.fileProblem.headerIsValid()) {
            signature = UpdateText::sentence(UpdateText::signature(verdict.signature));
        }
        if (opened) {
            addRow(QStringLiteral("Device Model"), updateFile.modelName());
            addRow(QStringLiteral("Compatible Hardware Versions"),
                   updateFile.compatibleHardwareVersionsText());
            addRow(QStringLiteral("Firmware Version"), updateFile.firmwareVersionText());
        } else {
            addRow(QStringLiteral("Error"), QStringLiteral("Unable to read firmware update file"));
        }
        updateFile.close();
    }
    addRow(QStringLiteral("Path"), QDir::toNativeSeparators(filePath));
    if (!signature.isEmpty()) {
        addRow(tr("Signature"), signature);
    }
    if (!problem.isEmpty()) {
        addRow(QStringLiteral("Problem"), UpdateText::sentence(problem));
    }
    // "Compatible Hardware Versions" is wider than the form's 150-pixel column.
    m_ui->firmwareInfoTable->resizeColumnToContents(0);
    m_ui->firmwareInfoTable->resizeRowsToContents();
}

LoadedFirmwareDlg::~LoadedFirmwareDlg()
{
    delete m_ui;
}

void LoadedFirmwareDlg::addRow(const QString& property, const QString& value)
{
    const int row = m_ui->firmwareInfoTable->rowCount();
    m_ui->firmwareInfoTable->insertRow(row);
    m_ui->firmwareInfoTable->setItem(row, 0, new QTableWidgetItem(property));
    m_ui->firmwareInfoTable->setItem(row, 1, new QTableWidgetItem(value));
}

#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class BuiltInFirmwaresDlg;
}

// Lists the update files built into the program with what their headers say, one row per
// file with a readable header, in file-name order; or says that none are installed.
class BuiltInFirmwaresDlg : public QDialog
{
    Q_OBJECT

public:
    explicit BuiltInFirmwaresDlg(QWidget* parent = nullptr);
    ~BuiltInFirmwaresDlg() override;

private:
    void addRow(const QString& model, const QString& firmwareVersion, const QString& hardwareVersions);

    Ui::BuiltInFirmwaresDlg* m_ui;
};

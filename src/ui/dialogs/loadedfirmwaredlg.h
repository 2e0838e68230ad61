#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class LoadedFirmwareDlg;
}

// Shows the header of the update file the user loaded from disk, or that it cannot be read,
// and its path.
class LoadedFirmwareDlg : public QDialog
{
    Q_OBJECT

public:
    explicit LoadedFirmwareDlg(const QString& filePath, QWidget* parent = nullptr);
    ~LoadedFirmwareDlg() override;

private:
    void addRow(const QString& property, const QString& value);

    Ui::LoadedFirmwareDlg* m_ui;
};

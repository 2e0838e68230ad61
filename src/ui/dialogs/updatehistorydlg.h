#pragma once

#include "updatehistory.h"
#include "updatehistoryentry.h"

#include <QDialog>
#include <QList>

namespace Ui {
class UpdateHistoryDlg;
}

// The update history of this computer as a table, newest first: when, which unit, the
// firmware before, written and after, the verdict with its reason, and the file with its
// SHA-256. "Export CSV…" writes the same entries for a spreadsheet.
class UpdateHistoryDlg : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateHistoryDlg(const UpdateHistory& history, QWidget* parent = nullptr);
    ~UpdateHistoryDlg() override;

private:
    void addRow(const UpdateHistoryEntry& entry);
    void fitToTable();
    void exportCsv();

    Ui::UpdateHistoryDlg* m_ui;
    QList<UpdateHistoryEntry> m_entries;
};

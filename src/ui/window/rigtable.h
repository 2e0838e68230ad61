#pragma once

#include <QString>

class QProgressBar;
class QTableWidget;
class QWidget;

// The table of a rig's units: one row per unit with its model, link and serial number, the
// firmware before, a progress bar, the time left, the verdict with its reason and the
// firmware after. Rows take the lines their verdicts need; up to kRowsShownWhole show without
// scrolling, the dialog growing for them.
class RigTable
{
public:
    enum Column
    {
        kModelColumn,
        kUnitColumn,
        kBeforeColumn,
        kProgressColumn,
        kTimeLeftColumn,
        kVerdictColumn,
        kAfterColumn,
    };

    static constexpr int kRowsShownWhole = 6;

    explicit RigTable(QTableWidget& table);

    // A new row at the end; greyed rows (a unit the file does not fit, or a device that could
    // not be asked) take no clicks.
    int addRow(bool greyed);
    int rowCount() const;
    // The row as its unit is given to a run again: a fresh bar, nothing after it yet.
    void restartRow(int row, const QString& verdict);
    void setCell(int row, Column column, const QString& text);
    void setRowToolTip(int row, const QString& toolTip);
    // The row's bar, made on first use; removeProgress() takes it away again.
    QProgressBar* progressBar(int row);
    void removeProgress(int row);

    void fitRows();
    // Short columns take what their texts need and the verdict wraps at the width of a short
    // sentence; returns the width the whole table wants.
    int fitColumns();
    // The dialog around the table takes the table's width, never more than the screen's, and
    // the height its rows need.
    void fitDialog(QWidget& dialog);

private:
    QTableWidget& m_table;
};

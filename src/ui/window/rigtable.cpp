#include "rigtable.h"

#include "writingprogresstext.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLayout>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A failure's reason wraps in the verdict column at lines of about this many characters.
constexpr int kVerdictCharacters = 44;
constexpr int kProgressCharacters = 14;
// Around the bar in its cell, so that it does not touch the grid.
constexpr int kProgressMargin = 3;
// "about 55 seconds": the widest time left, so that the column never grows while it counts.
constexpr qint64 kWidestTimeLeftMs = 55000;

} // namespace

RigTable::RigTable(QTableWidget& table) : m_table(table) {}

int RigTable::addRow(bool greyed)
{
    const int row = m_table.rowCount();
    m_table.insertRow(row);
    for (int column = 0; column < m_table.columnCount(); ++column) {
        auto* item = new QTableWidgetItem;
        // Greyed: the file does not fit the unit, and nothing is done to it.
        item->setFlags(greyed ? Qt::NoItemFlags : Qt::ItemIsEnabled);
        m_table.setItem(row, column, item);
    }
    return row;
}

int RigTable::rowCount() const
{
    return m_table.rowCount();
}

void RigTable::restartRow(int row, const QString& verdict)
{
    // A fresh bar from the start: the row's earlier one may tell a failed run.
    removeProgress(row);
    progressBar(row);
    setCell(row, kTimeLeftColumn, QString());
    setCell(row, kVerdictColumn, verdict);
    setCell(row, kAfterColumn, QString());
    setRowToolTip(row, QString());
}

void RigTable::setCell(int row, Column column, const QString& text)
{
    m_table.item(row, column)->setText(text);
}

void RigTable::setRowToolTip(int row, const QString& toolTip)
{
    for (int column = 0; column < m_table.columnCount(); ++column) {
        m_table.item(row, column)->setToolTip(toolTip);
    }
}

QProgressBar* RigTable::progressBar(int row)
{
    if (QWidget* cell = m_table.cellWidget(row, kProgressColumn)) {
        return cell->findChild<QProgressBar*>();
    }
    // In a cell of its own height, so that the bar keeps its own however tall the row grows.
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(kProgressMargin, kProgressMargin, kProgressMargin, kProgressMargin);
    auto* bar = new QProgressBar(cell);
    bar->setValue(0);
    layout->addWidget(bar, 0, Qt::AlignVCenter);
    m_table.setCellWidget(row, kProgressColumn, cell);
    return bar;
}

void RigTable::removeProgress(int row)
{
    m_table.removeCellWidget(row, kProgressColumn);
}

void RigTable::fitRows()
{
    const int barRowHeight = QProgressBar().sizeHint().height() + 2 * kProgressMargin;
    for (int row = 0; row < m_table.rowCount(); ++row) {
        m_table.resizeRowToContents(row);
        m_table.setRowHeight(row, std::max(m_table.rowHeight(row), barRowHeight));
    }
    int tableHeight = m_table.horizontalHeader()->sizeHint().height() + 2 * m_table.frameWidth();
    for (int row = 0; row < std::min(m_table.rowCount(), kRowsShownWhole); ++row) {
        tableHeight += m_table.rowHeight(row);
    }
    m_table.setMinimumHeight(tableHeight);
}

int RigTable::fitColumns()
{
    const QFontMetrics metrics(m_table.font());
    const int cellPadding = 2 * metrics.averageCharWidth();
    m_table.resizeColumnsToContents();
    m_table.setColumnWidth(kProgressColumn,
                           std::max(m_table.horizontalHeader()->sectionSizeHint(kProgressColumn),
                                    kProgressCharacters * metrics.averageCharWidth()));
    m_table.setColumnWidth(
        kTimeLeftColumn,
        std::max(m_table.horizontalHeader()->sectionSizeHint(kTimeLeftColumn),
                 metrics.horizontalAdvance(WritingProgressText::timeLeft(kWidestTimeLeftMs)) + cellPadding));
    m_table.setColumnWidth(kVerdictColumn, kVerdictCharacters * metrics.averageCharWidth() + cellPadding);
    m_table.setColumnWidth(kAfterColumn, std::max(m_table.horizontalHeader()->sectionSizeHint(kAfterColumn),
                                                  metrics.horizontalAdvance(
                                                      QCoreApplication::translate("RigTable", "No answer")) +
                                                      cellPadding));
    fitRows();
    int tableWidth = 2 * m_table.frameWidth() + m_table.verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < m_table.columnCount(); ++column) {
        tableWidth += m_table.columnWidth(column);
    }
    return tableWidth;
}

void RigTable::fitDialog(QWidget& dialog)
{
    const int tableWidth = fitColumns();
    const QMargins margins = dialog.layout()->contentsMargins();
    const QRect screen = dialog.screen() ? dialog.screen()->availableGeometry() : QRect();
    const int widthWanted = std::max(dialog.width(), tableWidth + margins.left() + margins.right());
    // As tall as the rows need, with no empty band under them; longer verdicts grow it later.
    dialog.resize(screen.isValid() ? std::min(widthWanted, screen.width()) : widthWanted,
                  dialog.layout()->minimumSize().height());
}

#include "updatealldlg.h"

#include "builtinupdatefiles.h"
#include "deviceunittext.h"
#include "firmwareversion.h"
#include "labelheightfit.h"
#include "mlpdeviceinfonode.h"
#include "pathtext.h"
#include "ui_updatealldlg.h"
#include "updateverdicttext.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

enum Column
{
    kModelColumn,
    kUnitColumn,
    kBeforeColumn,
    kProgressColumn,
    kVerdictColumn,
    kAfterColumn,
};

constexpr int kRowsShownWhole = 6;
// A failure's reason wraps in the verdict column at lines of about this many characters.
constexpr int kVerdictCharacters = 44;
constexpr int kProgressCharacters = 14;
// Around the bar in its cell, so that it does not touch the grid.
constexpr int kProgressMargin = 3;

QString leftAloneText(bool sameFirmware)
{
    return sameFirmware ? UpdateAllDlg::tr("Already runs the file's firmware; left alone.")
                        : UpdateAllDlg::tr("Runs a newer firmware than the file's: a step back; left alone.");
}

QString unitCount(int count)
{
    return count == 1 ? UpdateAllDlg::tr("1 unit") : UpdateAllDlg::tr("%1 units").arg(count);
}

} // namespace

UpdateAllDlg::UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units,
                           const QString& historyPath, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::UpdateAllDlg), m_thread(thread), m_historyPath(historyPath)
{
    m_ui->setupUi(this);
    for (const UnitUpdateFile& unit : units) {
        if (unit.fits()) {
            addRow(unit);
        }
    }
    m_fittingCount = m_rows.size();
    for (const UnitUpdateFile& unit : units) {
        if (!unit.fits()) {
            addRow(unit);
        }
    }
    offerLeftAlone();
    m_ui->lbl_plan->setText(planText());
    new LabelHeightFit(m_ui->lbl_plan);
    m_statusFit = new LabelHeightFit(m_ui->lbl_status);
    m_ui->lbl_status->hide();
    m_ui->bttn_stop->hide();
    m_ui->bttn_retryFailed->hide();
    m_ui->bttn_start->setEnabled(m_fittingCount > 0);
    fitToTable();
}

UpdateAllDlg::~UpdateAllDlg()
{
    delete m_ui;
}

void UpdateAllDlg::reject()
{
    if (isRunning()) {
        return;
    }
    QDialog::reject();
}

void UpdateAllDlg::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void UpdateAllDlg::addRow(const UnitUpdateFile& unit)
{
    const int row = m_ui->unitsTable->rowCount();
    m_ui->unitsTable->insertRow(row);
    RowState state = RowState::Waiting;
    if (unit.fits()) {
        switch (marlune::compareFirmware(unit.verdict.fileFirmwareVersion, unit.unit.fwVersion)) {
        case marlune::FirmwareOrder::Same:
            state = RowState::SameFirmware;
            break;
        case marlune::FirmwareOrder::DeviceNewer:
            state = RowState::NewerFirmware;
            break;
        case marlune::FirmwareOrder::DeviceOlder:
            break;
        }
    }
    m_rows.append(Row{unit, state});
    setCell(row, kModelColumn, unit.unit.model);
    setCell(row, kUnitColumn, DeviceUnitText::unitDetails(unit.unit));
    setCell(row, kBeforeColumn, MLPDeviceInfoNode::versionText(unit.unit.fwVersion));
    setCell(row, kProgressColumn, QString());
    setCell(row, kVerdictColumn,
            !unit.fits()                       ? unit.reason
            : state == RowState::SameFirmware  ? leftAloneText(true)
            : state == RowState::NewerFirmware ? leftAloneText(false)
                                               : tr("Waiting."));
    setCell(row, kAfterColumn, QString());
}

// One sentence per file: the units of one model share theirs.
QString UpdateAllDlg::filesText() const
{
    QStringList files;
    QList<int> firstRows;
    QList<int> unitsPerFile;
    for (int row = 0; row < m_fittingCount; ++row) {
        if (!takesPart(m_rows.at(row).state)) {
            continue;
        }
        const int file = files.indexOf(m_rows.at(row).unit.filePath);
        if (file < 0) {
            files << m_rows.at(row).unit.filePath;
            firstRows << row;
            unitsPerFile << 1;
        } else {
            ++unitsPerFile[file];
        }
    }
    QStringList lines;
    for (int file = 0; file < files.size(); ++file) {
        const UnitUpdateFile& first = m_rows.at(firstRows.at(file)).unit;
        // The built-in files live in the program's resources, where no path outside it leads.
        const QString source = files.at(file).startsWith(marlune::builtInUpdateFilesDirectory())
                                   ? tr("the built-in update file")
                                   : PathText::wrappable(QDir::toNativeSeparators(files.at(file)));
        lines << tr("Writes firmware %1 from %2 to %3 of model %4.")
                     .arg(first.verdict.fileFirmwareVersionText, source, unitCount(unitsPerFile.at(file)),
                          first.unit.model);
    }
    return lines.join(QLatin1Char('\n'));
}

QString UpdateAllDlg::planText() const
{
    QStringList lines;
    if (m_fittingCount == 0) {
        lines << tr("The update file in use fits none of the listed units.");
    } else if (const QString files = filesText(); files.isEmpty()) {
        lines << tr("Every unit the file fits runs its firmware already, or a newer one.");
    } else {
        lines << files
              << tr("The units are written one after another; one that fails does not stop the others.");
    }
    if (m_fittingCount < m_rows.size()) {
        lines << tr("Greyed units are left as they are; their row says why.");
    }
    if (m_alsoSameFirmware || m_alsoNewerFirmware) {
        lines << tr("Units that already run the file's firmware, or a newer one, are left alone unless "
                    "ticked below.");
    }
    return lines.join(QLatin1Char('\n'));
}

void UpdateAllDlg::on_bttn_start_clicked()
{
    QMessageBox box(QMessageBox::Question, windowTitle(), filesText(), QMessageBox::Yes | QMessageBox::Cancel,
                    this);
    box.setInformativeText(
        tr("Keep every unit connected and powered until the last one has finished. Start now?"));
    box.button(QMessageBox::Yes)->setText(tr("Start"));
    if (box.exec() != QMessageBox::Yes) {
        return;
    }
    QList<int> rows;
    for (int row = 0; row < m_fittingCount; ++row) {
        // The first run takes every unit; one after Stop, those it did not start.
        if (takesPart(m_rows.at(row).state)) {
            rows << row;
        }
    }
    m_ui->bttn_start->hide();
    run(rows);
}

void UpdateAllDlg::stopAfterRunningUnit()
{
    if (isRunning() && !m_stopRequested) {
        on_bttn_stop_clicked();
    }
}

void UpdateAllDlg::on_bttn_stop_clicked()
{
    m_stopRequested = true;
    m_ui->bttn_stop->setEnabled(false);
    // A unit still being checked is not written; a write under way runs to its end.
    m_session->stopBeforeWriting();
    setStatus(tr("Stopping: %1 is finished first if its write has begun; no further unit is started.")
                  .arg(DeviceUnitText::modelAndUnit(m_rows.at(m_runningRow).unit.unit)));
}

bool UpdateAllDlg::takesPart(RowState state) const
{
    switch (state) {
    case RowState::Waiting:
    case RowState::NotStarted:
        return true;
    case RowState::SameFirmware:
        return m_alsoSameFirmware && m_alsoSameFirmware->isChecked();
    case RowState::NewerFirmware:
        return m_alsoNewerFirmware && m_alsoNewerFirmware->isChecked();
    case RowState::Running:
    case RowState::Updated:
    case RowState::Unconfirmed:
    case RowState::Failed:
        break;
    }
    return false;
}

void UpdateAllDlg::offerLeftAlone()
{
    QStringList versions;
    bool newer = false;
    for (int row = 0; row < m_fittingCount; ++row) {
        if (m_rows.at(row).state == RowState::SameFirmware &&
            !versions.contains(m_rows.at(row).unit.verdict.fileFirmwareVersionText)) {
            versions << m_rows.at(row).unit.verdict.fileFirmwareVersionText;
        }
        newer = newer || m_rows.at(row).state == RowState::NewerFirmware;
    }
    auto* layout = qobject_cast<QBoxLayout*>(this->layout());
    const int below = layout->indexOf(m_ui->unitsTable) + 1;
    if (newer) {
        m_alsoNewerFirmware = new QCheckBox(tr("Also units with a newer firmware (a step back)"), this);
        layout->insertWidget(below, m_alsoNewerFirmware);
        connect(m_alsoNewerFirmware, &QCheckBox::toggled, this,
                [this] { m_ui->lbl_plan->setText(planText()); });
    }
    if (!versions.isEmpty()) {
        m_alsoSameFirmware =
            new QCheckBox(versions.size() == 1 ? tr("Also units already at %1").arg(versions.first())
                                               : tr("Also units already at their file's firmware"),
                          this);
        layout->insertWidget(below, m_alsoSameFirmware);
        connect(m_alsoSameFirmware, &QCheckBox::toggled, this,
                [this] { m_ui->lbl_plan->setText(planText()); });
    }
}

void UpdateAllDlg::on_bttn_retryFailed_clicked()
{
    QList<int> rows;
    for (int row = 0; row < m_fittingCount; ++row) {
        if (m_rows.at(row).state == RowState::Failed) {
            rows << row;
        }
    }
    run(rows);
}

void UpdateAllDlg::run(const QList<int>& rows)
{
    m_queue = rows;
    m_runSize = rows.size();
    m_stopRequested = false;
    // The choice is made once: the rows already say which units it took.
    for (QCheckBox* also : {m_alsoSameFirmware, m_alsoNewerFirmware}) {
        if (also) {
            also->setEnabled(false);
        }
    }
    for (const int row : rows) {
        m_rows[row].state = RowState::Waiting;
        m_ui->unitsTable->removeCellWidget(row, kProgressColumn);
        setCell(row, kVerdictColumn, tr("Waiting."));
        setCell(row, kAfterColumn, QString());
        setRowToolTip(row, QString());
    }
    m_ui->bttn_retryFailed->hide();
    m_ui->bttn_stop->setEnabled(true);
    m_ui->bttn_stop->show();
    m_ui->bttn_close->setEnabled(false);
    m_ui->lbl_status->show();
    fitRows();
    startNext();
}

void UpdateAllDlg::startNext()
{
    if (m_stopRequested) {
        for (const int row : std::as_const(m_queue)) {
            m_rows[row].state = RowState::NotStarted;
            setCell(row, kVerdictColumn, tr("Not started."));
        }
        m_queue.clear();
    }
    if (m_queue.isEmpty()) {
        finishRun();
        return;
    }
    m_runningRow = m_queue.takeFirst();
    Row& row = m_rows[m_runningRow];
    row.state = RowState::Running;
    QProgressBar* bar = progressBar(m_runningRow);
    // A rig of more units than the table shows whole: the one being written stays in sight.
    m_ui->unitsTable->scrollToItem(m_ui->unitsTable->item(m_runningRow, kModelColumn));
    m_session = new UpdateSession(m_thread, m_historyPath, this);
    connect(m_session, &UpdateSession::progress, bar, &QProgressBar::setValue);
    connect(m_session, &UpdateSession::stateChanged, this, &UpdateAllDlg::sessionStateChanged);
    setStatus(tr("Updating unit %1 of %2: %3. Keep every unit connected and powered until "
                 "the last one has finished.")
                  .arg(m_runSize - m_queue.size())
                  .arg(m_runSize)
                  .arg(DeviceUnitText::modelAndUnit(row.unit.unit)));
    // The unit's own answer decides again at its link: the list may be older than an update
    // made since.
    m_session->start(row.unit.unit, row.unit.filePath,
                     {!(m_alsoSameFirmware && m_alsoSameFirmware->isChecked()),
                      !(m_alsoNewerFirmware && m_alsoNewerFirmware->isChecked())});
}

void UpdateAllDlg::sessionStateChanged()
{
    UpdateSession* session = m_session;
    const int row = m_runningRow;
    setCell(row, kVerdictColumn, UpdateVerdictText::row(*session));
    if (session->state() == UpdateSession::State::Writing) {
        // What the unit reported just before its write, not what the list said earlier.
        setCell(row, kBeforeColumn, MLPDeviceInfoNode::versionText(session->unit().fwVersion));
    }
    if (!session->hasEnded()) {
        return;
    }
    if (session->refusal() == UpdateSession::Refusal::Stopped) {
        m_rows[row].state = RowState::NotStarted;
        setCell(row, kVerdictColumn, tr("Not started."));
    } else if (session->refusal() == UpdateSession::Refusal::LeftAlone) {
        m_rows[row].state = session->outcome().unitProblem == MLPUpdateOutcome::UnitProblem::SameFirmware
                                ? RowState::SameFirmware
                                : RowState::NewerFirmware;
        setCell(row, kBeforeColumn, MLPDeviceInfoNode::versionText(session->outcome().unitFound.fwVersion));
    } else {
        m_rows[row].state = session->succeeded()                                    ? RowState::Updated
                            : session->state() == UpdateSession::State::Unconfirmed ? RowState::Unconfirmed
                                                                                    : RowState::Failed;
    }
    setCell(row, kAfterColumn, UpdateVerdictText::rowAfter(*session));
    setRowToolTip(row, session->succeeded() ? UpdateVerdictText::succeeded(*session) + QLatin1Char(' ') +
                                                  UpdateVerdictText::afterwards(*session)
                                            : UpdateVerdictText::failed(*session));
    if (const QString problem = UpdateVerdictText::historyProblem(*session); !problem.isEmpty()) {
        m_historyProblem = problem;
    }
    // The session is still telling its end; it goes once that is done.
    session->deleteLater();
    m_session = nullptr;
    m_runningRow = -1;
    fitRows();
    startNext();
}

void UpdateAllDlg::finishRun()
{
    int updated = 0;
    int unconfirmed = 0;
    int failed = 0;
    int notStarted = 0;
    for (const Row& row : std::as_const(m_rows)) {
        updated += row.state == RowState::Updated ? 1 : 0;
        unconfirmed += row.state == RowState::Unconfirmed ? 1 : 0;
        failed += row.state == RowState::Failed ? 1 : 0;
        notStarted += row.state == RowState::NotStarted ? 1 : 0;
    }
    QString summary =
        unconfirmed == 0
            ? tr("%1 updated, %2 failed, %3 not started.").arg(updated).arg(failed).arg(notStarted)
            : tr("%1 updated, %2 not confirmed (power-cycle them and check them "
                 "again), %3 failed, %4 not started.")
                  .arg(updated)
                  .arg(unconfirmed)
                  .arg(failed)
                  .arg(notStarted);
    if (!m_historyProblem.isEmpty()) {
        summary += QLatin1Char(' ') + m_historyProblem;
    }
    m_summary = summary;
    setStatus(summary);
    m_ui->bttn_stop->hide();
    m_ui->bttn_start->setText(tr("Continue"));
    m_ui->bttn_start->setVisible(notStarted > 0);
    m_ui->bttn_retryFailed->show();
    m_ui->bttn_retryFailed->setEnabled(failed > 0);
    m_ui->bttn_close->setEnabled(true);
    m_ui->bttn_close->setDefault(true);
    emit runFinished();
}

void UpdateAllDlg::setStatus(const QString& text)
{
    m_ui->lbl_status->setText(text);
    m_statusFit->fit();
}

void UpdateAllDlg::setCell(int row, int column, const QString& text)
{
    QTableWidgetItem* item = m_ui->unitsTable->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        // Greyed: the file does not fit the unit, and nothing is done to it.
        item->setFlags(m_rows.at(row).unit.fits() ? Qt::ItemIsEnabled : Qt::NoItemFlags);
        m_ui->unitsTable->setItem(row, column, item);
    }
    item->setText(text);
}

void UpdateAllDlg::setRowToolTip(int row, const QString& toolTip)
{
    for (int column = 0; column < m_ui->unitsTable->columnCount(); ++column) {
        m_ui->unitsTable->item(row, column)->setToolTip(toolTip);
    }
}

QProgressBar* UpdateAllDlg::progressBar(int row)
{
    if (QWidget* cell = m_ui->unitsTable->cellWidget(row, kProgressColumn)) {
        return cell->findChild<QProgressBar*>();
    }
    // In a cell of its own height, so that the bar keeps its own however tall the row grows.
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(kProgressMargin, kProgressMargin, kProgressMargin, kProgressMargin);
    auto* bar = new QProgressBar(cell);
    bar->setValue(0);
    layout->addWidget(bar, 0, Qt::AlignVCenter);
    m_ui->unitsTable->setCellWidget(row, kProgressColumn, cell);
    return bar;
}

// Rows take the lines their verdicts need and hold a progress bar from the start; up to
// kRowsShownWhole of them show without scrolling, the dialog growing for them.
void UpdateAllDlg::fitRows()
{
    QTableWidget* table = m_ui->unitsTable;
    const int barRowHeight = QProgressBar().sizeHint().height() + 2 * kProgressMargin;
    for (int row = 0; row < table->rowCount(); ++row) {
        table->resizeRowToContents(row);
        table->setRowHeight(row, std::max(table->rowHeight(row), barRowHeight));
    }
    int tableHeight = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
    for (int row = 0; row < std::min(table->rowCount(), kRowsShownWhole); ++row) {
        tableHeight += table->rowHeight(row);
    }
    table->setMinimumHeight(tableHeight);
}

// Short columns take what their texts need, the verdict wraps at the width of a short
// sentence, and the dialog never outgrows the screen.
void UpdateAllDlg::fitToTable()
{
    QTableWidget* table = m_ui->unitsTable;
    const QFontMetrics metrics(table->font());
    const int cellPadding = 2 * metrics.averageCharWidth();
    table->resizeColumnsToContents();
    table->setColumnWidth(kProgressColumn,
                          std::max(table->horizontalHeader()->sectionSizeHint(kProgressColumn),
                                   kProgressCharacters * metrics.averageCharWidth()));
    table->setColumnWidth(kVerdictColumn, kVerdictCharacters * metrics.averageCharWidth() + cellPadding);
    table->setColumnWidth(kAfterColumn, std::max(table->horizontalHeader()->sectionSizeHint(kAfterColumn),
                                                 metrics.horizontalAdvance(tr("No answer")) + cellPadding));
    fitRows();

    int tableWidth = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < table->columnCount(); ++column) {
        tableWidth += table->columnWidth(column);
    }
    const QMargins margins = layout()->contentsMargins();
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    const int widthWanted = std::max(width(), tableWidth + margins.left() + margins.right());
    // As tall as the rows need, with no empty band under them; longer verdicts grow it later.
    resize(screen.isValid() ? std::min(widthWanted, screen.width()) : widthWanted,
           layout()->minimumSize().height());
}

bool UpdateAllDlg::isWorthOffering(const QList<UnitUpdateFile>& units)
{
    return std::count_if(units.begin(), units.end(),
                         [](const UnitUpdateFile& unit) { return unit.fits(); }) >= 2;
}

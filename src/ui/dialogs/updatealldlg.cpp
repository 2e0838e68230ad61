#include "updatealldlg.h"

#include "deviceunittext.h"
#include "historycsvexport.h"
#include "labelheightfit.h"
#include "leftalonechoice.h"
#include "mlpdeviceinfonode.h"
#include "rigplantext.h"
#include "rigtable.h"
#include "rigupdaterun.h"
#include "ui_updatealldlg.h"
#include "unitwatch.h"
#include "updatecounts.h"
#include "updatesession.h"
#include "updatetext.h"
#include "updateverdicttext.h"
#include "writingprogresstext.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

constexpr int kFullPercent = 100;

} // namespace

UpdateAllDlg::UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units,
                           const QString& historyPath, QWidget* parent, bool offerWatching)
    : QDialog(parent), m_ui(new Ui::UpdateAllDlg), m_thread(thread),
      // Nothing ticked yet: units at the file's firmware or a newer one are left alone.
      m_planner([this](const MLPDeviceInfoNode& unit) { return m_images.value(unit.model); }, {true, true})
{
    // A file no trusted key signed is asked about once Start is pressed.
    m_planner.setAllowUnsigned(true);
    // Each model's file as the window read it: every unit of the model, also one that appears
    // while watching, is planned and written from those bytes.
    for (const UnitUpdateFile& unit : units) {
        if (!m_images.contains(unit.unit.model)) {
            m_images.insert(unit.unit.model, unit.image);
        }
    }
    m_ui->setupUi(this);
    m_table = std::make_unique<RigTable>(*m_ui->unitsTable);
    m_run = new RigUpdateRun(thread, historyPath, this);
    connect(m_run, &RigUpdateRun::unitStateChanged, this, &UpdateAllDlg::unitStateChanged);
    connect(m_run, &RigUpdateRun::unitProgress, this, &UpdateAllDlg::unitProgress);
    connect(m_run, &RigUpdateRun::unitEnded, this, &UpdateAllDlg::unitEnded);
    connect(m_run, &RigUpdateRun::finished, this, &UpdateAllDlg::runEnded);
    m_watch = new UnitWatch(thread, *m_run, this);
    connect(m_watch, &UnitWatch::unitsAppeared, this, &UpdateAllDlg::unitsAppeared);
    for (const UnitUpdateFile& unit : units) {
        if (unit.fits()) {
            addRow(unit.unit, unit.reason);
        }
    }
    m_fittingCount = m_rows.size();
    for (const UnitUpdateFile& unit : units) {
        if (!unit.fits()) {
            addRow(unit.unit, unit.reason);
        }
    }
    offerLeftAlone();
    m_ui->lbl_plan->setText(planText());
    new LabelHeightFit(m_ui->lbl_plan);
    m_statusFit = new LabelHeightFit(m_ui->lbl_status);
    m_ui->spin_atOnce->setMaximum(std::max(m_fittingCount, 1));
    // Some styles (Windows' among them) size the box too tight for "all" beside its arrows.
    m_ui->spin_atOnce->setMinimumWidth(m_ui->spin_atOnce->sizeHint().width() +
                                       2 * m_ui->spin_atOnce->fontMetrics().averageCharWidth());
    connect(m_ui->chk_oneAtATime, &QCheckBox::toggled, m_ui->spin_atOnce, &QWidget::setDisabled);
    m_ui->chk_keepWatching->setVisible(offerWatching);
    m_ui->lbl_status->hide();
    m_ui->bttn_stop->hide();
    m_ui->bttn_retryFailed->hide();
    m_ui->bttn_exportRun->hide();
    m_ui->bttn_start->setEnabled(m_fittingCount > 0);
    fitToTable();
}

UpdateAllDlg::~UpdateAllDlg()
{
    delete m_ui;
}

bool UpdateAllDlg::isRunning() const
{
    return m_run->isRunning();
}

void UpdateAllDlg::reject()
{
    if (isRunning()) {
        return;
    }
    m_watch->stop();
    QDialog::reject();
}

void UpdateAllDlg::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        event->ignore();
        return;
    }
    m_watch->stop();
    QDialog::closeEvent(event);
}

UpdateAllDlg::RowState UpdateAllDlg::stateOf(const UnitPlan& plan)
{
    if (!plan.fits()) {
        return RowState::Greyed;
    }
    if (plan.writes()) {
        return RowState::Waiting;
    }
    return plan.firmware == marlune::FirmwareOrder::Same ? RowState::SameFirmware : RowState::NewerFirmware;
}

void UpdateAllDlg::addRow(const MLPDeviceInfoNode& unit, const QString& notFitting)
{
    Row added;
    added.plan = m_planner.decide(unit);
    added.state = stateOf(added.plan);
    added.notFitting = notFitting.isEmpty() && !added.plan.fits()
                           ? UpdateVerdictText::toolTip(added.plan.fit, unit.fwVersion, QString())
                           : notFitting;
    const int row = m_table->addRow(!added.plan.fits());
    m_rows.append(added);
    m_table->setCell(row, RigTable::kModelColumn, unit.model);
    m_table->setCell(row, RigTable::kUnitColumn, DeviceUnitText::unitDetails(unit));
    m_table->setCell(row, RigTable::kBeforeColumn, MLPDeviceInfoNode::versionText(unit.fwVersion));
    m_table->setCell(row, RigTable::kVerdictColumn, RigPlanText::row(added.plan, added.notFitting));
}

// The boxes have changed before the first run: each unit the file fits is planned again, and
// its row says what the run now does with it.
void UpdateAllDlg::planAgain()
{
    m_planner.setLeaveAlone(m_leftAlone->leaveAlone());
    for (int row = 0; row < m_rows.size(); ++row) {
        Row& planned = m_rows[row];
        if (!planned.plan.fits()) {
            continue;
        }
        planned.plan = m_planner.decide(planned.plan.unit);
        planned.state = stateOf(planned.plan);
        m_table->setCell(row, RigTable::kVerdictColumn, RigPlanText::row(planned.plan, planned.notFitting));
    }
    m_table->fitRows();
    m_ui->lbl_plan->setText(planText());
}

QList<UnitPlan> UpdateAllDlg::plans(bool takingPartOnly) const
{
    QList<UnitPlan> plans;
    for (const Row& row : m_rows) {
        if (!takingPartOnly || takesPart(row.state)) {
            plans << row.plan;
        }
    }
    return plans;
}

QString UpdateAllDlg::filesText() const
{
    return RigPlanText::files(plans(true));
}

QString UpdateAllDlg::planText() const
{
    return RigPlanText::plan(plans(false), m_leftAlone->offered());
}

void UpdateAllDlg::on_bttn_start_clicked()
{
    // A file no trusted key signed is asked about here, once, with Cancel as the default.
    bool unsignedFiles = false;
    for (const Row& row : qAsConst(m_rows)) {
        unsignedFiles = unsignedFiles || (takesPart(row.state) && !row.plan.fit.signature.trusted());
    }
    QMessageBox box(unsignedFiles ? QMessageBox::Warning : QMessageBox::Question, windowTitle(), filesText(),
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setInformativeText(
        (unsignedFiles
             ? tr("Nothing shows that an unsigned file is the one its maker released: write it only if "
                  "you trust where it came from.\n\n")
             : QString()) +
        tr("Keep every unit connected and powered until the last one has finished. Start now?"));
    box.button(QMessageBox::Yes)->setText(tr("Start"));
    if (unsignedFiles) {
        box.setDefaultButton(QMessageBox::Cancel);
    }
    if (box.exec() != QMessageBox::Yes) {
        return;
    }
    if (unsignedFiles) {
        m_run->allowUnsigned();
    }
    QList<int> rows;
    for (int row = 0; row < m_rows.size(); ++row) {
        // The first run takes every unit; one after Stop, those it did not start.
        if (takesPart(m_rows.at(row).state)) {
            rows << row;
        }
    }
    m_ui->bttn_start->hide();
    run(rows);
}

void UpdateAllDlg::stopForProgramEnd()
{
    m_programEnds = true;
    if (isRunning() && !m_stopRequested) {
        on_bttn_stop_clicked();
    } else if (m_watch->isWatching()) {
        m_watch->stop();
        finishRun();
    } else {
        // Stopped already: the line now says that the program ends too.
        showRunStatus();
    }
}

void UpdateAllDlg::on_bttn_stop_clicked()
{
    m_stopRequested = true;
    m_watch->stop();
    m_ui->bttn_stop->setEnabled(false);
    // Watching with nothing to write: the run has ended already, and no end will be told.
    if (!isRunning()) {
        finishRun();
        return;
    }
    // Units still being checked are not written; writes under way run to their end. The
    // run tells its end once they have.
    for (const int unit : m_run->stop()) {
        const int row = m_rowOfRunUnit.value(unit);
        m_rows[row].state = RowState::NotStarted;
        m_rows[row].verdict = UpdateSession::Verdict::NotStarted;
        m_rows[row].inRun = false;
        m_table->setCell(row, RigTable::kVerdictColumn, tr("Not started."));
    }
    showRunStatus();
}

bool UpdateAllDlg::takesPart(RowState state) const
{
    switch (state) {
    case RowState::Waiting:
    case RowState::NotStarted:
        return true;
    case RowState::SameFirmware:
    case RowState::NewerFirmware:
    case RowState::Running:
    case RowState::Greyed:
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
        const UnitPlan& plan = m_rows.at(row).plan;
        if (plan.firmware == marlune::FirmwareOrder::Same &&
            !versions.contains(plan.fit.fileFirmwareVersionText)) {
            versions << plan.fit.fileFirmwareVersionText;
        }
        newer = newer || plan.firmware == marlune::FirmwareOrder::DeviceNewer;
    }
    auto* layout = qobject_cast<QBoxLayout*>(this->layout());
    m_leftAlone = new LeftAloneChoice(*this, *layout, layout->indexOf(m_ui->unitsTable) + 1, versions, newer);
    connect(m_leftAlone, &LeftAloneChoice::changed, this, &UpdateAllDlg::planAgain);
}

void UpdateAllDlg::on_bttn_retryFailed_clicked()
{
    QList<int> rows;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).state == RowState::Failed) {
            rows << row;
        }
    }
    run(rows);
}

void UpdateAllDlg::on_bttn_exportRun_clicked()
{
    const QString exported =
        HistoryCsvExport::save(this, tr("Export This Run"), QStringLiteral("marlune-update-run.csv"),
                               tr("This run's updates could not be written to %1: %2"), m_runEntries);
    if (!exported.isEmpty()) {
        setStatus(m_summary + QLatin1Char(' ') + exported);
    }
}

void UpdateAllDlg::run(const QList<int>& rows)
{
    m_stopRequested = false;
    // The choices are made once: the rows already say which units they took.
    m_leftAlone->fix();
    for (QWidget* choice :
         std::initializer_list<QWidget*>{m_ui->spin_atOnce, m_ui->chk_oneAtATime, m_ui->chk_keepWatching}) {
        choice->setEnabled(false);
    }
    m_run->setMaxAtOnce(m_ui->chk_oneAtATime->isChecked() ? 1 : m_ui->spin_atOnce->value());
    // The unit's own answer decides again at its link: the list may be older than an update
    // made since.
    m_run->setLeaveAlone(m_leftAlone->leaveAlone());
    for (const int row : rows) {
        m_rows[row].state = RowState::Waiting;
        m_rows[row].inRun = true;
        m_rows[row].verdict.reset();
        m_rows[row].estimator.reset();
        m_rows[row].remainingMs.reset();
        // A fresh bar from the start: the row's earlier one may tell a failed run.
        m_table->removeProgress(row);
        m_table->progressBar(row);
        m_table->setCell(row, RigTable::kTimeLeftColumn, QString());
        m_table->setCell(row, RigTable::kVerdictColumn, tr("Waiting."));
        m_table->setCell(row, RigTable::kAfterColumn, QString());
        m_table->setRowToolTip(row, QString());
        m_rowOfRunUnit.insert(m_run->add(m_rows.at(row).plan.unit, m_rows.at(row).plan.image), row);
    }
    m_ui->bttn_retryFailed->hide();
    m_ui->bttn_exportRun->hide();
    m_ui->bttn_stop->setText(tr("Stop"));
    m_ui->bttn_stop->setEnabled(true);
    m_ui->bttn_stop->show();
    m_ui->bttn_close->setEnabled(false);
    m_ui->lbl_status->show();
    m_table->fitRows();
    showRunStatus();
}

void UpdateAllDlg::unitStateChanged(int unit, const UpdateSession& session)
{
    const int row = m_rowOfRunUnit.value(unit);
    Row& shown = m_rows[row];
    shown.state = RowState::Running;
    m_table->setCell(row, RigTable::kVerdictColumn, UpdateVerdictText::row(session));
    if (session.state() == UpdateSession::State::Writing) {
        // What the unit reported just before its write, not what the list said earlier.
        m_table->setCell(row, RigTable::kBeforeColumn,
                         MLPDeviceInfoNode::versionText(session.unit().fwVersion));
        shown.writing.start();
        shown.estimator.emplace(kFullPercent);
    } else if (session.state() == UpdateSession::State::Verifying) {
        shown.remainingMs.reset();
        m_table->setCell(row, RigTable::kTimeLeftColumn, QString());
    }
    m_table->fitRows();
}

void UpdateAllDlg::unitProgress(int unit, int percent)
{
    const int row = m_rowOfRunUnit.value(unit);
    Row& shown = m_rows[row];
    m_table->progressBar(row)->setValue(percent);
    if (shown.estimator) {
        shown.estimator->addSample(shown.writing.elapsed(), percent);
        shown.remainingMs = shown.estimator->remainingMs();
        m_table->setCell(row, RigTable::kTimeLeftColumn, WritingProgressText::timeLeft(shown.remainingMs));
    }
    showRunStatus();
}

void UpdateAllDlg::unitEnded(int unit, const UpdateSession& session)
{
    const int row = m_rowOfRunUnit.take(unit);
    Row& shown = m_rows[row];
    shown.inRun = false;
    shown.remainingMs.reset();
    m_table->setCell(row, RigTable::kTimeLeftColumn, QString());
    shown.verdict = session.verdict();
    switch (session.verdict()) {
    case UpdateSession::Verdict::NotStarted:
        // Stop came before its first byte, which the session's one atomic step decided.
        shown.state = RowState::NotStarted;
        m_table->setCell(row, RigTable::kVerdictColumn, tr("Stopped before writing; not started."));
        break;
    case UpdateSession::Verdict::LeftAlone:
        shown.state = session.outcome().unitProblem == MLPUpdateOutcome::UnitProblem::SameFirmware
                          ? RowState::SameFirmware
                          : RowState::NewerFirmware;
        m_table->setCell(row, RigTable::kBeforeColumn,
                         MLPDeviceInfoNode::versionText(session.outcome().unitFound.fwVersion));
        break;
    case UpdateSession::Verdict::Confirmed:
        shown.state = RowState::Updated;
        break;
    case UpdateSession::Verdict::TookFileUnconfirmed:
        shown.state = RowState::Unconfirmed;
        break;
    case UpdateSession::Verdict::Failed:
    case UpdateSession::Verdict::NotReached:
        shown.state = RowState::Failed;
        break;
    }
    m_table->setCell(row, RigTable::kAfterColumn, UpdateVerdictText::rowAfter(session));
    m_table->setRowToolTip(row, session.confirmed()
                                    ? UpdateVerdictText::succeeded(session) + QLatin1Char(' ') +
                                          UpdateVerdictText::afterwards(session)
                                    : UpdateVerdictText::failed(session));
    if (const QString problem = UpdateVerdictText::historyProblem(session); !problem.isEmpty()) {
        m_historyProblem = problem;
    }
    if (session.historyEntry().time.isValid()) {
        m_runEntries << session.historyEntry();
    }
    m_table->fitRows();
    showRunStatus();
}

// Nothing waits or runs any more: the run is over, or watching begins or goes on.
void UpdateAllDlg::runEnded()
{
    if (m_ui->chk_keepWatching->isChecked() && !m_stopRequested) {
        startWatching();
        return;
    }
    finishRun();
}

void UpdateAllDlg::startWatching()
{
    if (!m_watch->isWatching()) {
        QList<MLPDeviceInfoNode> known;
        for (const Row& row : std::as_const(m_rows)) {
            known << row.plan.unit;
        }
        m_watch->start(known);
    }
    m_ui->bttn_stop->setText(tr("Stop Watching"));
    m_ui->bttn_close->setEnabled(true);
    m_ui->bttn_exportRun->setVisible(true);
    m_ui->bttn_exportRun->setEnabled(!m_runEntries.isEmpty());
    showRunStatus();
}

// A unit of a model the run writes is written as it appears, unless the file does not fit it
// or it is to be left alone for the firmware it runs; units of other models are not the
// run's business and are not shown.
void UpdateAllDlg::unitsAppeared(const QList<MLPDeviceInfoNode>& units)
{
    QSet<QString> models;
    for (int row = 0; row < m_fittingCount; ++row) {
        models.insert(m_rows.at(row).plan.unit.model);
    }
    QList<int> rows;
    for (const MLPDeviceInfoNode& unit : units) {
        if (!models.contains(unit.model)) {
            continue;
        }
        addRow(unit);
        if (takesPart(m_rows.last().state)) {
            rows << m_rows.size() - 1;
        }
    }
    if (rows.isEmpty()) {
        m_table->fitRows();
        return;
    }
    const bool watching = m_watch->isWatching();
    run(rows);
    // Still watching: Stop ends the watch as well.
    if (watching) {
        m_ui->bttn_stop->setText(tr("Stop Watching"));
    }
    m_ui->unitsTable->scrollToBottom();
}

void UpdateAllDlg::finishRun()
{
    UpdateCounts counts;
    for (const Row& row : std::as_const(m_rows)) {
        if (row.verdict) {
            counts.add(*row.verdict);
        }
    }
    QString summary = counts.unconfirmed == 0
                          ? tr("%1 updated, %2 failed, %3 not started.")
                                .arg(counts.confirmed)
                                .arg(counts.failed)
                                .arg(counts.notStarted)
                          : tr("%1 updated, %2 not confirmed (power-cycle them and check them "
                               "again), %3 failed, %4 not started.")
                                .arg(counts.confirmed)
                                .arg(counts.unconfirmed)
                                .arg(counts.failed)
                                .arg(counts.notStarted);
    if (!m_historyProblem.isEmpty()) {
        summary += QLatin1Char(' ') + m_historyProblem;
    }
    m_summary = summary;
    setStatus(summary);
    m_ui->bttn_stop->hide();
    m_ui->bttn_start->setText(tr("Continue"));
    m_ui->bttn_start->setVisible(counts.notStarted > 0);
    m_ui->bttn_retryFailed->show();
    m_ui->bttn_retryFailed->setEnabled(counts.failed > 0);
    m_ui->bttn_exportRun->show();
    m_ui->bttn_exportRun->setEnabled(!m_runEntries.isEmpty());
    m_ui->bttn_close->setEnabled(true);
    m_ui->bttn_close->setDefault(true);
    emit runFinished();
}

// How many units are written and wait, and the run's time left: the slowest unit's.
void UpdateAllDlg::showRunStatus()
{
    int running = 0;
    int waiting = 0;
    std::optional<qint64> slowestMs;
    // Known only while every unit being written has a steady estimate of its own.
    bool allEstimated = true;
    for (const Row& row : std::as_const(m_rows)) {
        running += row.state == RowState::Running ? 1 : 0;
        waiting += row.inRun && row.state == RowState::Waiting ? 1 : 0;
        if (row.remainingMs) {
            slowestMs = std::max(slowestMs.value_or(0), *row.remainingMs);
        } else if (row.state == RowState::Running && row.estimator) {
            allEstimated = false;
        }
    }
    if (!allEstimated) {
        slowestMs.reset();
    }
    if (m_stopRequested && isRunning()) {
        setStatus(m_programEnds
                      ? WritingProgressText::programEndsAfterWrites()
                      : tr("Stopping: units whose write has begun are finished first; no further unit "
                           "is started."));
        return;
    }
    if (running == 0 && waiting == 0) {
        if (m_watch->isWatching()) {
            setStatus(tr("Watching: units of the models above are written as they are plugged in; %1 "
                         "written so far. Stop Watching ends it.")
                          .arg(RigPlanText::unitCount(static_cast<int>(m_runEntries.size()))));
        }
        return;
    }
    QString text =
        waiting == 0
            ? tr("Updating %1 at once.").arg(RigPlanText::unitCount(running))
            : tr("Updating %1 at once; %2 waiting.").arg(RigPlanText::unitCount(running)).arg(waiting);
    if (const QString left = WritingProgressText::timeLeft(slowestMs); !left.isEmpty() && waiting == 0) {
        text += QLatin1Char(' ') + tr("Time left: %1 (the slowest unit).").arg(left);
    }
    setStatus(text + QLatin1Char(' ') +
              tr("Keep every unit connected and powered until the last one has finished."));
}

void UpdateAllDlg::setStatus(const QString& text)
{
    m_ui->lbl_status->setText(text);
    m_statusFit->fit();
}

// The dialog takes the table's width and never outgrows the screen.
void UpdateAllDlg::fitToTable()
{
    const int tableWidth = m_table->fitColumns();
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

#include "updatealldlg.h"

#include "deviceunittext.h"
#include "historycsvexport.h"
#include "labelheightfit.h"
#include "leftalonechoice.h"
#include "mlpdeviceinfonode.h"
#include "rigplantext.h"
#include "rigrows.h"
#include "rigruntext.h"
#include "rigstartquestion.h"
#include "rigtable.h"
#include "ui_updatealldlg.h"
#include "updatesession.h"
#include "updateverdicttext.h"
#include "writingprogresstext.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

UpdateAllDlg::UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units,
                           const QString& historyPath, QWidget* parent, bool offerWatching,
                           const MissingDevices& missing)
    : QDialog(parent), m_ui(new Ui::UpdateAllDlg)
{
    // Each model's file as the window read it: every unit of the model, also one that appears
    // while watching, is planned and written from those bytes.
    QHash<QString, UpdateImage> images;
    for (const UnitUpdateFile& unit : units) {
        if (!images.contains(unit.unit.model)) {
            images.insert(unit.unit.model, unit.image);
        }
    }
    m_ui->setupUi(this);
    m_table = std::make_unique<RigTable>(*m_ui->unitsTable);
    m_rows = new RigRows(thread, images, historyPath, this);
    connect(m_rows, &RigRows::rowStateChanged, this, &UpdateAllDlg::rowStateChanged);
    connect(m_rows, &RigRows::rowProgress, this, &UpdateAllDlg::rowProgress);
    connect(m_rows, &RigRows::rowEnded, this, &UpdateAllDlg::rowEnded);
    connect(m_rows, &RigRows::rowsAppeared, this, &UpdateAllDlg::rowsAppeared);
    connect(m_rows, &RigRows::runEnded, this, &UpdateAllDlg::runEnded);
    // The units the file fits first, in the caller's order, then those it does not fit, then
    // the devices that could not be asked.
    int fittingCount = 0;
    for (const bool fitting : {true, false}) {
        for (const UnitUpdateFile& unit : units) {
            if (unit.fits() == fitting) {
                m_notFitting << unit.reason;
                showRow(m_rows->add(unit.unit));
            }
        }
        if (fitting) {
            fittingCount = static_cast<int>(m_rows->rows().size());
        }
    }
    m_rows->addUnreached(missing);
    for (int row = static_cast<int>(m_notFitting.size()); row < m_rows->rows().size(); ++row) {
        m_notFitting << QString();
        showRow(row);
    }
    offerLeftAlone();
    m_ui->lbl_plan->setText(RigPlanText::plan(m_rows->plans(false), m_leftAlone->offered()));
    new LabelHeightFit(m_ui->lbl_plan);
    m_statusFit = new LabelHeightFit(m_ui->lbl_status);
    m_ui->spin_atOnce->setMaximum(std::max(fittingCount, 1));
    // Some styles (Windows' among them) size the box too tight for "all" beside its arrows.
    m_ui->spin_atOnce->setMinimumWidth(m_ui->spin_atOnce->sizeHint().width() +
                                       2 * m_ui->spin_atOnce->fontMetrics().averageCharWidth());
    connect(m_ui->chk_oneAtATime, &QCheckBox::toggled, m_ui->spin_atOnce, &QWidget::setDisabled);
    m_ui->chk_keepWatching->setVisible(offerWatching);
    m_ui->lbl_status->hide();
    m_ui->bttn_stop->hide();
    m_ui->bttn_retryFailed->hide();
    m_ui->bttn_exportRun->hide();
    m_ui->bttn_start->setEnabled(fittingCount > 0);
    m_table->fitDialog(*this);
}

UpdateAllDlg::~UpdateAllDlg()
{
    delete m_ui;
}

bool UpdateAllDlg::isRunning() const
{
    return m_rows->isRunning();
}

void UpdateAllDlg::reject()
{
    if (isRunning()) {
        return;
    }
    m_rows->stopWatching();
    QDialog::reject();
}

void UpdateAllDlg::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        event->ignore();
        return;
    }
    m_rows->stopWatching();
    QDialog::closeEvent(event);
}

// A new row, or one planned again: the unit and what the run does with it.
void UpdateAllDlg::showRow(int row)
{
    const UnitPlan& plan = m_rows->row(row).plan;
    if (row == m_table->rowCount()) {
        m_table->addRow(!plan.fits());
        m_table->setCell(row, RigTable::kModelColumn, plan.unit.model);
        m_table->setCell(row, RigTable::kUnitColumn, RigRunText::unit(plan));
        m_table->setCell(row, RigTable::kBeforeColumn, RigRunText::before(plan));
    }
    QString notFitting = m_notFitting.at(row);
    if (notFitting.isEmpty() && plan.decision == UnitPlan::Decision::DoesNotFit) {
        notFitting = UpdateVerdictText::toolTip(plan.fit, plan.unit.fwVersion, QString());
    }
    m_table->setCell(row, RigTable::kVerdictColumn, RigPlanText::row(plan, notFitting));
}

// The boxes have changed before the first run: each unit the file fits is planned again, and
// its row says what the run now does with it.
void UpdateAllDlg::planAgain()
{
    m_rows->setLeaveAlone(m_leftAlone->leaveAlone());
    for (int row = 0; row < m_rows->rows().size(); ++row) {
        if (m_rows->row(row).plan.fits()) {
            showRow(row);
        }
    }
    m_table->fitRows();
    m_ui->lbl_plan->setText(RigPlanText::plan(m_rows->plans(false), m_leftAlone->offered()));
}

void UpdateAllDlg::on_bttn_start_clicked()
{
    // A file no trusted key signed is asked about here, once, with Cancel as the default.
    const bool unsignedFiles = m_rows->anyUnsignedTakingPart();
    if (!RigStartQuestion::ask(this, RigPlanText::files(m_rows->plans(true)), unsignedFiles)) {
        return;
    }
    if (unsignedFiles) {
        m_rows->allowUnsigned();
    }
    m_ui->bttn_start->hide();
    // The first run takes every unit; one after Stop, those it did not start.
    run(m_rows->takingPart());
}

void UpdateAllDlg::stopForProgramEnd()
{
    m_programEnds = true;
    if (isRunning() && !m_rows->stopRequested()) {
        on_bttn_stop_clicked();
    } else if (m_rows->isWatching()) {
        m_rows->stopWatching();
        finishRun();
    } else {
        // Stopped already: the line now says that the program ends too.
        showRunStatus();
    }
}

void UpdateAllDlg::on_bttn_stop_clicked()
{
    const bool running = isRunning();
    const QList<int> notStarted = m_rows->stop();
    m_ui->bttn_stop->setEnabled(false);
    // Watching with nothing to write: the run has ended already, and no end will be told.
    if (!running) {
        finishRun();
        return;
    }
    // Writes under way run to their end; the run tells its end once they have.
    for (const int row : notStarted) {
        m_table->setCell(row, RigTable::kVerdictColumn, tr("Not started."));
    }
    showRunStatus();
}

void UpdateAllDlg::offerLeftAlone()
{
    auto* layout = qobject_cast<QBoxLayout*>(this->layout());
    m_leftAlone = new LeftAloneChoice(*this, *layout, layout->indexOf(m_ui->unitsTable) + 1,
                                      m_rows->sameFirmwareVersions(), m_rows->anyNewerFirmware());
    connect(m_leftAlone, &LeftAloneChoice::changed, this, &UpdateAllDlg::planAgain);
}

void UpdateAllDlg::on_bttn_retryFailed_clicked()
{
    run(m_rows->failed());
}

void UpdateAllDlg::on_bttn_exportRun_clicked()
{
    const QString exported =
        HistoryCsvExport::save(this, tr("Export This Run"), QStringLiteral("marlune-update-run.csv"),
                               tr("This run's updates could not be written to %1: %2"), m_rows->entries());
    if (!exported.isEmpty()) {
        setStatus(m_summary + QLatin1Char(' ') + exported);
    }
}

void UpdateAllDlg::run(const QList<int>& rows)
{
    // The choices are made once: the rows already say which units they took.
    m_leftAlone->fix();
    for (QWidget* choice :
         std::initializer_list<QWidget*>{m_ui->spin_atOnce, m_ui->chk_oneAtATime, m_ui->chk_keepWatching}) {
        choice->setEnabled(false);
    }
    for (const int row : rows) {
        m_table->restartRow(row, tr("Waiting."));
    }
    m_rows->run(rows, m_ui->chk_oneAtATime->isChecked() ? 1 : m_ui->spin_atOnce->value());
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

void UpdateAllDlg::rowStateChanged(int row, const UpdateSession& session)
{
    m_table->setCell(row, RigTable::kVerdictColumn, UpdateVerdictText::row(session));
    if (session.state() == UpdateSession::State::Writing) {
        // What the unit reported just before its write, not what the list said earlier.
        m_table->setCell(row, RigTable::kBeforeColumn,
                         MLPDeviceInfoNode::versionText(session.unit().fwVersion));
    } else if (session.state() == UpdateSession::State::Verifying) {
        m_table->setCell(row, RigTable::kTimeLeftColumn, QString());
    }
    m_table->fitRows();
}

void UpdateAllDlg::rowProgress(int row, int percent)
{
    m_table->progressBar(row)->setValue(percent);
    if (m_rows->row(row).estimator) {
        m_table->setCell(row, RigTable::kTimeLeftColumn,
                         WritingProgressText::timeLeft(m_rows->row(row).remainingMs));
    }
    showRunStatus();
}

void UpdateAllDlg::rowEnded(int row, const UpdateSession& session)
{
    m_table->setCell(row, RigTable::kTimeLeftColumn, QString());
    if (session.verdict() == UpdateSession::Verdict::NotStarted) {
        m_table->setCell(row, RigTable::kVerdictColumn, tr("Stopped before writing; not started."));
    } else if (session.verdict() == UpdateSession::Verdict::LeftAlone) {
        m_table->setCell(row, RigTable::kBeforeColumn,
                         MLPDeviceInfoNode::versionText(session.outcome().unitFound.fwVersion));
    }
    m_table->setCell(row, RigTable::kAfterColumn, UpdateVerdictText::rowAfter(session));
    m_table->setRowToolTip(row, session.confirmed()
                                    ? UpdateVerdictText::succeeded(session) + QLatin1Char(' ') +
                                          UpdateVerdictText::afterwards(session)
                                    : UpdateVerdictText::failed(session));
    if (const QString problem = UpdateVerdictText::historyProblem(session); !problem.isEmpty()) {
        m_historyProblem = problem;
    }
    m_table->fitRows();
    showRunStatus();
}

// Nothing waits or runs any more: the run is over, or watching begins or goes on.
void UpdateAllDlg::runEnded()
{
    if (m_ui->chk_keepWatching->isChecked() && !m_rows->stopRequested()) {
        startWatching();
        return;
    }
    finishRun();
}

void UpdateAllDlg::startWatching()
{
    m_rows->startWatching();
    m_ui->bttn_stop->setText(tr("Stop Watching"));
    m_ui->bttn_close->setEnabled(true);
    m_ui->bttn_exportRun->setVisible(true);
    m_ui->bttn_exportRun->setEnabled(!m_rows->entries().isEmpty());
    showRunStatus();
}

void UpdateAllDlg::rowsAppeared(int firstRow, const QList<int>& toRun)
{
    for (int row = firstRow; row < m_rows->rows().size(); ++row) {
        m_notFitting << QString();
        showRow(row);
    }
    if (toRun.isEmpty()) {
        m_table->fitRows();
        return;
    }
    const bool watching = m_rows->isWatching();
    run(toRun);
    // Still watching: Stop ends the watch as well.
    if (watching) {
        m_ui->bttn_stop->setText(tr("Stop Watching"));
    }
    m_ui->unitsTable->scrollToBottom();
}

void UpdateAllDlg::finishRun()
{
    const UpdateCounts counts = m_rows->counts();
    m_summary = RigRunText::summary(counts);
    if (!m_historyProblem.isEmpty()) {
        m_summary += QLatin1Char(' ') + m_historyProblem;
    }
    setStatus(m_summary);
    m_ui->bttn_stop->hide();
    m_ui->bttn_start->setText(tr("Continue"));
    m_ui->bttn_start->setVisible(counts.notStarted > 0);
    m_ui->bttn_retryFailed->show();
    m_ui->bttn_retryFailed->setEnabled(counts.failed > 0);
    m_ui->bttn_exportRun->show();
    m_ui->bttn_exportRun->setEnabled(!m_rows->entries().isEmpty());
    m_ui->bttn_close->setEnabled(true);
    m_ui->bttn_close->setDefault(true);
    emit runFinished();
}

void UpdateAllDlg::showRunStatus()
{
    // Written means took the whole file: a failed unit has a history entry too.
    const UpdateCounts counts = m_rows->counts();
    const QString text =
        RigRunText::status(m_rows->progress(), m_rows->stopRequested() && isRunning(), m_programEnds,
                           m_rows->isWatching(), counts.confirmed + counts.unconfirmed);
    if (!text.isEmpty()) {
        setStatus(text);
    }
}

void UpdateAllDlg::setStatus(const QString& text)
{
    m_ui->lbl_status->setText(text);
    m_statusFit->fit();
}

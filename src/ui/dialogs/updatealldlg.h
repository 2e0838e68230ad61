#pragma once

#include "transfertimeestimator.h"
#include "unitplan.h"
#include "unitupdatefile.h"
#include "updatehistoryentry.h"
#include "updateplanner.h"
#include "updatesession.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class LabelHeightFit;
class LeftAloneChoice;
class MLPWorkerThread;
class QCloseEvent;
class RigTable;
class RigUpdateRun;
class UnitWatch;

namespace Ui {
class UpdateAllDlg;
}

// Updates every listed unit that its file fits, side by side, each by an UpdateSession on a
// link of its own (or as many at once as the person allows, or one at a time), as a table of
// the units with their progress, time left and verdicts. It opens with the plan; Start runs
// it, a failure does not stop the others, Stop lets the units being written finish and
// starts no further one (Continue starts those later), and "Retry failed" runs the failed
// units again. Units the file does not fit are listed greyed with the reason and left alone;
// so are units that already run the file's firmware or a newer one, unless ticked. With
// "Keep watching" ticked, units of the same models plugged in after the run are written as
// they appear, each in a row of its own, until Stop Watching. "Export this run…" saves the
// run's updates in the history's columns.
class UpdateAllDlg : public QDialog
{
    Q_OBJECT

public:
    // Worth offering when the file in use fits two or more of the units.
    static bool isWorthOffering(const QList<UnitUpdateFile>& units);

    // Runs modally; the caller keeps the thread and makes its own window busy meanwhile. The
    // thread's own device is let go before the first unit opens. Each model's units are written
    // from the image their first unit brings, also those that appear while watching, which is
    // offered only when asked.
    UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units, const QString& historyPath,
                 QWidget* parent = nullptr, bool offerWatching = false);
    ~UpdateAllDlg() override;

    // Whether a unit waits, or is being checked or written right now (close/Escape refused then).
    bool isRunning() const;
    // How the last run ended ("3 updated, 1 failed, 0 not started."); empty before any.
    QString summary() const { return m_summary; }
    // As Stop: the units being written finish, no further one starts, and watching ends; the
    // status line says that the program ends then.
    void stopForProgramEnd();

signals:
    // A run has ended, with its watching: no unit is written or checked any more.
    void runFinished();

public slots:
    // Escape rejects a dialog without a close event; while running that is refused too.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_bttn_start_clicked();
    void on_bttn_stop_clicked();
    void on_bttn_retryFailed_clicked();
    void on_bttn_exportRun_clicked();

private:
    enum class RowState
    {
        Waiting,
        Running,
        Updated,
        // Took the whole file but does not report its firmware afterwards.
        Unconfirmed,
        // Runs the file's firmware already, or a newer one: left alone unless asked.
        SameFirmware,
        NewerFirmware,
        Failed,
        NotStarted,
        // The file does not fit it.
        Greyed,
    };
    struct Row
    {
        // What the run does with the unit, as planned before its run.
        UnitPlan plan;
        // Why the file does not fit it, in the window's words.
        QString notFitting;
        RowState state = RowState::Waiting;
        // How its last session ended, or that the run did not start it; none while it waits or runs.
        std::optional<UpdateSession::Verdict> verdict;
        // Given to the run and not ended yet.
        bool inRun = false;
        // Since its first byte, for its time left.
        QElapsedTimer writing;
        std::optional<TransferTimeEstimator> estimator;
        std::optional<qint64> remainingMs;
    };

    static RowState stateOf(const UnitPlan& plan);
    void addRow(const MLPDeviceInfoNode& unit, const QString& notFitting = {});
    // The choice to write the units left alone by the firmware they run, where there are any.
    void offerLeftAlone();
    void planAgain();
    bool takesPart(RowState state) const;
    QList<UnitPlan> plans(bool takingPartOnly) const;
    QString filesText() const;
    QString planText() const;
    void run(const QList<int>& rows);
    void unitStateChanged(int unit, const UpdateSession& session);
    void unitProgress(int unit, int percent);
    void unitEnded(int unit, const UpdateSession& session);
    void runEnded();
    void startWatching();
    void unitsAppeared(const QList<MLPDeviceInfoNode>& units);
    void finishRun();
    void showRunStatus();
    void setStatus(const QString& text);
    void fitToTable();

    Ui::UpdateAllDlg* m_ui;
    MLPWorkerThread& m_thread;
    QHash<QString, UpdateImage> m_images;
    UpdatePlanner m_planner;
    std::unique_ptr<RigTable> m_table;
    // The table's rows in its order: the units the file fits first, in the caller's order,
    // then those it does not fit, then those that appeared while watching.
    QList<Row> m_rows;
    int m_fittingCount = 0;
    RigUpdateRun* m_run = nullptr;
    UnitWatch* m_watch = nullptr;
    // The table row of each unit the run was given.
    QHash<int, int> m_rowOfRunUnit;
    bool m_stopRequested = false;
    // The program ends once the run has: the status line says so until then.
    bool m_programEnds = false;
    // The line under the table: who is being updated, then the summary.
    LabelHeightFit* m_statusFit = nullptr;
    // "Also units already at 1.03", "Also units with a newer firmware", where offered.
    LeftAloneChoice* m_leftAlone = nullptr;
    // The updates of this dialog's runs, as the history has them, in the order they ended.
    QList<UpdateHistoryEntry> m_runEntries;
    // The last reason a session gave for not adding its update to the history.
    QString m_historyProblem;
    QString m_summary;
};

#pragma once

#include "missingdevices.h"
#include "unitupdatefile.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class LabelHeightFit;
class LeftAloneChoice;
class MLPWorkerThread;
class QCloseEvent;
class RigRows;
class RigTable;
class UpdateSession;

namespace Ui {
class UpdateAllDlg;
}

// Updates every listed unit that its file fits, side by side, each by an UpdateSession on a
// link of its own (or as many at once as the person allows, or one at a time), as a table of
// the units with their progress, time left and verdicts. It opens with the plan; Start runs
// it, a failure does not stop the others, Stop lets the units being written finish and
// starts no further one (Continue starts those later), and "Retry failed" runs the failed
// units again. Units the file does not fit, and attached devices that could not be asked what
// they are, are listed greyed with the reason and left alone; so are units that already run
// the file's firmware or a newer one, unless ticked. With "Keep watching" ticked, units of the
// same models plugged in after the run are written as they appear, each in a row of its own,
// until Stop Watching. "Export this run…" saves the run's updates in the history's columns.
// What the run does is RigRows'; the dialog shows it and words it.
class UpdateAllDlg : public QDialog
{
    Q_OBJECT

public:
    // Runs modally; the caller keeps the thread and makes its own window busy meanwhile. The
    // thread's own device is let go before the first unit opens. Each model's units are written
    // from the image their first unit brings, also those that appear while watching, which is
    // offered only when asked. `missing` are the devices the listing saw but could not ask.
    UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units, const QString& historyPath,
                 QWidget* parent = nullptr, bool offerWatching = false, const MissingDevices& missing = {});
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
    void showRow(int row);
    // The choice to write the units left alone by the firmware they run, where there are any.
    void offerLeftAlone();
    void planAgain();
    void run(const QList<int>& rows);
    void rowStateChanged(int row, const UpdateSession& session);
    void rowProgress(int row, int percent);
    void rowEnded(int row, const UpdateSession& session);
    void rowsAppeared(int firstRow, const QList<int>& toRun);
    void runEnded();
    void startWatching();
    void finishRun();
    void showRunStatus();
    void setStatus(const QString& text);

    Ui::UpdateAllDlg* m_ui;
    RigRows* m_rows = nullptr;
    std::unique_ptr<RigTable> m_table;
    // Why the file does not fit each row's unit, in the window's words; empty where it fits.
    QStringList m_notFitting;
    // The program ends once the run has: the status line says so until then.
    bool m_programEnds = false;
    // The line under the table: who is being updated, then the summary.
    LabelHeightFit* m_statusFit = nullptr;
    // "Also units already at 1.03", "Also units with a newer firmware", where offered.
    LeftAloneChoice* m_leftAlone = nullptr;
    // The last reason a session gave for not adding its update to the history.
    QString m_historyProblem;
    QString m_summary;
};

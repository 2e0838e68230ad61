#pragma once

#include "unitupdatefile.h"
#include "updatesession.h"

#include <QDialog>
#include <QList>
#include <QString>

class LabelHeightFit;
class QCheckBox;
class MLPWorkerThread;
class QCloseEvent;
class QProgressBar;

namespace Ui {
class UpdateAllDlg;
}

// Updates every listed unit that its file fits, one after another, each by an UpdateSession
// of its own, as a table of the units with their progress and verdicts. It opens with the
// plan; Start runs it, a failure does not stop it, Stop lets the unit being written finish
// and starts no further one (Continue starts those later), and "Retry failed" runs the
// failed units again. Units the file
// does not fit are listed greyed with the reason and left alone.
class UpdateAllDlg : public QDialog
{
    Q_OBJECT

public:
    // Worth offering when the file in use fits two or more of the units.
    static bool isWorthOffering(const QList<UnitUpdateFile>& units);

    // Runs modally; the caller keeps the thread and makes its own window busy meanwhile.
    UpdateAllDlg(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units, const QString& historyPath,
                 QWidget* parent = nullptr);
    ~UpdateAllDlg() override;

    // Whether a unit is being written or checked right now (close/Escape refused then).
    bool isRunning() const { return m_session != nullptr; }
    // How the last run ended ("3 updated, 1 failed, 0 not started."); empty before any.
    QString summary() const { return m_summary; }
    // As Stop: the unit being written finishes, no further one starts.
    void stopAfterRunningUnit();

signals:
    // A run has ended: no unit is written or checked any more.
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
    };
    struct Row
    {
        UnitUpdateFile unit;
        RowState state = RowState::Waiting;
    };

    void addRow(const UnitUpdateFile& unit);
    // Check boxes for the units left alone by the firmware they run, where there are any.
    void offerLeftAlone();
    bool takesPart(RowState state) const;
    QString filesText() const;
    QString planText() const;
    void run(const QList<int>& rows);
    void startNext();
    void sessionStateChanged();
    void finishRun();
    void setStatus(const QString& text);
    void setCell(int row, int column, const QString& text);
    void setRowToolTip(int row, const QString& toolTip);
    QProgressBar* progressBar(int row);
    void fitRows();
    void fitToTable();

    Ui::UpdateAllDlg* m_ui;
    MLPWorkerThread& m_thread;
    QString m_historyPath;
    // The table's rows in its order: the units the file fits first, in the caller's order.
    QList<Row> m_rows;
    int m_fittingCount = 0;
    // The rows this run has still to start.
    QList<int> m_queue;
    int m_runSize = 0;
    int m_runningRow = -1;
    // The running update; a child of the dialog, deleted once it has ended.
    UpdateSession* m_session = nullptr;
    bool m_stopRequested = false;
    // The line under the table: who is being updated, then the summary.
    LabelHeightFit* m_statusFit = nullptr;
    // "Also units already at 1.03", "Also units with a newer firmware"; null where none is.
    QCheckBox* m_alsoSameFirmware = nullptr;
    QCheckBox* m_alsoNewerFirmware = nullptr;
    // The last reason a session gave for not adding its update to the history.
    QString m_historyProblem;
    QString m_summary;
};

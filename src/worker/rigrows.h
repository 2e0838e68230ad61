#pragma once

#include "missingdevices.h"
#include "mlpupdatefirmwarerequest.h"
#include "transfertimeestimator.h"
#include "unitplan.h"
#include "updatecounts.h"
#include "updatehistoryentry.h"
#include "updateimage.h"
#include "updateplanner.h"
#include "updatesession.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class MLPWorkerThread;
class RigUpdateRun;
class UnitWatch;

// A rig's units as rows, from the plan to each one's verdict: what the run does with every
// attached device of ours, which rows a Start, Continue or "Retry failed" takes, Stop, the
// units a watch adds, the time left of each write and the counts of the run. A front end
// shows the rows and words them; it decides nothing of the run itself.
class RigRows : public QObject
{
    Q_OBJECT

public:
    enum class State
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
        // The file does not fit it, or it could not be asked what it is.
        Greyed,
    };

    struct Row
    {
        // What the run does with the unit, as planned before its run.
        UnitPlan plan;
        State state = State::Waiting;
        // How its last session ended, or that the run did not start it; none while it waits or runs.
        std::optional<UpdateSession::Verdict> verdict;
        // Given to the run and not ended yet.
        bool inRun = false;
        // Since its first byte, for its time left.
        QElapsedTimer writing;
        std::optional<TransferTimeEstimator> estimator;
        std::optional<qint64> remainingMs;
    };

    // What the run is doing now, for the line under the rows.
    struct Progress
    {
        int running = 0;
        int waiting = 0;
        // The slowest unit's time left, known only while every unit written has a steady estimate.
        std::optional<qint64> slowestMs;
    };

    // Each model's units are written from `images` (one image per model, read once for the
    // run), also those a watch adds. Nothing is left alone for its firmware until told.
    RigRows(MLPWorkerThread& thread, const QHash<QString, UpdateImage>& images, const QString& historyPath,
            QObject* parent = nullptr);

    // A unit that answered, planned; its row number.
    int add(const MLPDeviceInfoNode& unit);
    // A row for each attached device the listing could not ask what it is.
    void addUnreached(const MissingDevices& missing);
    // Plans every row the file fits again; before the first run only.
    void setLeaveAlone(MLPUpdateFirmwareRequest::LeaveAlone leaveAlone);
    MLPUpdateFirmwareRequest::LeaveAlone leaveAlone() const { return m_planner.leaveAlone(); }

    const QList<Row>& rows() const { return m_rows; }
    const Row& row(int row) const { return m_rows.at(row); }
    // The plans of every row, or of those a run would take.
    QList<UnitPlan> plans(bool takingPartOnly) const;
    // Rows a Start or Continue takes: those waiting and those not started.
    QList<int> takingPart() const;
    QList<int> failed() const;
    bool anyUnsignedTakingPart() const;
    // The file versions that units the file fits run already, each once, and whether a unit
    // runs a newer firmware than its file: what the run may be allowed to write besides.
    QStringList sameFirmwareVersions() const;
    bool anyNewerFirmware() const;

    // Every unit's session also writes a file no trusted key signed.
    void allowUnsigned();
    // Gives the rows to the run; at most maxAtOnce are checked or written at a time (0: all).
    void run(const QList<int>& rows, int maxAtOnce);
    // No further row starts and one being checked is not written; returns the rows that
    // will not start now. Watching ends too.
    QList<int> stop();
    bool isRunning() const;
    bool stopRequested() const { return m_stopRequested; }

    // Watches for units of the models the run writes once the run ends, until stop().
    void startWatching();
    void stopWatching();
    bool isWatching() const;

    Progress progress() const;
    UpdateCounts counts() const;
    // The updates of the runs, as the history has them, in the order they ended.
    const QList<UpdateHistoryEntry>& entries() const { return m_entries; }

signals:
    void rowStateChanged(int row, const UpdateSession& session);
    void rowProgress(int row, int percent);
    // The row's session has ended; its state and verdict are set.
    void rowEnded(int row, const UpdateSession& session);
    // Units a watch found have been added as rows; `toRun` of them are to be written.
    void rowsAppeared(int firstRow, const QList<int>& toRun);
    // No unit waits or runs any more.
    void runEnded();

private:
    static State stateOf(const UnitPlan& plan);
    void unitStateChanged(int unit, const UpdateSession& session);
    void unitProgress(int unit, int percent);
    void unitEnded(int unit, const UpdateSession& session);
    void unitsAppeared(const QList<MLPDeviceInfoNode>& units);

    QHash<QString, UpdateImage> m_images;
    UpdatePlanner m_planner;
    RigUpdateRun* m_run;
    UnitWatch* m_watch;
    QList<Row> m_rows;
    // The row of each unit the run was given.
    QHash<int, int> m_rowOfRunUnit;
    bool m_stopRequested = false;
    QList<UpdateHistoryEntry> m_entries;
};

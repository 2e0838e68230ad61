#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpupdateoutcome.h"
#include "updatehistoryentry.h"

#include <QObject>
#include <QString>

class MLPWorkerThread;

// One update of one unit, run the same way under every front end: one
// MLPUpdateFirmwareRequest finds the unit by its identity, checks it, writes the file and
// asks the unit what it runs now, all on the unit's own link; the session turns its steps
// into states, judges whether the unit took the file and adds the update to the history.
// Its states are what a front end shows; its facts (the unit, the request's outcome, the
// unit afterwards) are what it words. One session serves one update; several units take
// one session each, and run side by side when each runs beside the others.
class UpdateSession : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Idle,        // not started yet
        Checking,    // the unit is looked for on its link and asked who it is
        Writing,     // the device is being written; progress() follows it
        Verifying,   // the device took the file; the unit is asked what it runs now, and
                     // looked for again while it restarts
        Refused,     // ended before any byte was sent: refusal() tells why
        Done,        // the unit took the file and reports the file's firmware
        Unconfirmed, // the unit took the whole file but reports another firmware, or did not
                     // answer within the bound for a restart
        Failed,      // the device did not take the whole file: outcome() tells where and why
    };
    Q_ENUM(State)

    enum class Refusal
    {
        None,
        // No device of the unit's link kind and identity is attached.
        NotAttached,
        // The unit is attached, but another program holds it.
        Held,
        // The unit is attached, but the system refused to open it for this user.
        NotAccessible,
        // The unit did not answer on its link.
        NoAnswer,
        // Another model answers on the unit's link.
        OtherUnit,
        // The file cannot be used, or does not fit what the unit reported: outcome() tells.
        Request,
        // stopBeforeWriting() came before the first byte.
        Stopped,
        // The unit runs the file's firmware already, or a newer one, and was to be left alone.
        LeftAlone,
    };

    // What an ended session came to, judged here once for every front end and every count.
    enum class Verdict
    {
        // The unit took the whole file and reports the file's firmware afterwards.
        Confirmed,
        // The unit took the whole file, but reports another firmware afterwards or did not
        // answer within the bound for a restart.
        TookFileUnconfirmed,
        // The update was started and the device did not take all of it, or the file or what
        // the unit reported refused it (outcome() tells why).
        Failed,
        // Nothing was sent: the unit did not answer on its link, is no longer attached, or
        // another model answers on its link.
        NotReached,
        // Nothing was sent: stopped before the unit's first byte.
        NotStarted,
        // Nothing was sent: asked just before, the unit ran the file's firmware or a newer one,
        // and was to be left alone.
        LeftAlone,
    };
    Q_ENUM(Verdict)

    // Appends to the update history at historyPath.
    UpdateSession(MLPWorkerThread& thread, const QString& historyPath, QObject* parent = nullptr);
    // Whatever ends the program, a request still running is not pulled from under its thread:
    // one not begun is stopped, one writing runs to its end, and the session waits for it and
    // records it in the history, telling no one.
    ~UpdateSession() override;

    // The update runs on a thread and link of its own, beside other sessions doing the same,
    // instead of in the worker thread's queue. Set before start().
    void runBesideOthers() { m_beside = true; }
    // A file no trusted key signed is written too. Set before start().
    void allowUnsigned() { m_allowUnsigned = true; }
    // Writes the image to the unit, wherever it is attached now, unless what the unit reports
    // just before is to be left alone.
    void start(const MLPDeviceInfoNode& unit, const UpdateImage& image,
               MLPUpdateFirmwareRequest::LeaveAlone leaveAlone = {});
    // Ends the session before any byte is written, when none has been yet; a write under
    // way runs to its end. Returns whether the stop came first; outcome().stop says so too once
    // the session has ended.
    bool stopBeforeWriting();

    // Writing is the state in which stopping would leave the device half-written.
    State state() const { return m_state; }
    bool hasEnded() const;
    // The unit took the file and reports the file's firmware afterwards.
    bool confirmed() const { return m_state == State::Done; }
    // Once the session has ended.
    Verdict verdict() const;

    // The unit as the session last saw it: as given, then as it answered just before the
    // update, with the firmware it ran then.
    MLPDeviceInfoNode unit() const { return m_unit; }
    QString filePath() const { return m_image.path(); }
    // The bytes written, as read once for the run.
    UpdateImage image() const { return m_image; }
    Refusal refusal() const { return m_refusal; }
    // The request's own account; complete once the session has ended.
    MLPUpdateOutcome outcome() const { return m_outcome; }
    // The unit as it answered after the update; empty model when it did not answer.
    MLPDeviceInfoNode unitAfter() const { return m_outcome.unitAfter; }
    // The firmware version the file brings, as its header reads; known once the session has ended.
    QString fileFirmwareVersion() const { return m_outcome.fileCheck.fileFirmwareVersionText; }
    // What the session added to the history (or tried to), for a report of a run; an empty
    // time while it runs, and for a unit stopped or left alone before its first byte.
    UpdateHistoryEntry historyEntry() const { return m_historyEntry; }
    // Why the history could not be written; empty when it was. Never costs the update.
    QString historyProblem() const { return m_historyProblem; }

signals:
    void stateChanged(UpdateSession::State state);
    void progress(int percent);

private slots:
    void unitChecked(const MLPDeviceInfoNode& unit);
    void verifying();
    void requestEnded();

private:
    void setState(State state);
    // Takes the ended request's outcome and deletes it; returns the state it ends the session in.
    State takeOutcome();
    void end(State state);
    State judgeWrittenUnit() const;
    static Refusal refusalFor(MLPUpdateOutcome::UnitProblem problem);
    void recordInHistory();
    QString historyFileName() const;

    MLPWorkerThread& m_thread;
    QString m_historyPath;
    State m_state = State::Idle;
    MLPDeviceInfoNode m_unit;
    UpdateImage m_image;
    Refusal m_refusal = Refusal::None;
    bool m_beside = false;
    bool m_allowUnsigned = false;
    MLPUpdateOutcome m_outcome;
    QString m_historyProblem;
    UpdateHistoryEntry m_historyEntry;
    // A child of the session, deleted when its final signal arrives.
    MLPUpdateFirmwareRequest* m_request = nullptr;
};

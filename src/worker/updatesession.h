#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpupdateoutcome.h"

#include <QObject>
#include <QString>

class MLPUpdateFirmwareRequest;
class MLPWorkerThread;

// One update of one unit, run the same way under every front end: it makes sure the worker
// thread talks to that unit, writes the file through an MLPUpdateFirmwareRequest, asks the
// unit afterwards what it runs now and adds the update to the history. Its states are what
// a front end shows; its facts (the unit, the request's outcome, the version afterwards) are
// what it words. One session serves one update; several units take one session each, one
// after another, on the same worker thread.
class UpdateSession : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Idle,      // not started yet
        Checking,  // the unit is being selected, to be sure it is the one meant
        Writing,   // the request runs: the device is being written; progress() follows it
        Verifying, // the device took the file; the unit is asked what it runs now, where the
                   // last discovery listed it or, when another answers there, where a new one finds it
        Refused,   // ended before any byte was sent: refusal() tells why
        Done,      // the update succeeded
        Failed,    // the device did not take the whole file: outcome() tells where and why
    };
    Q_ENUM(State)

    enum class Refusal
    {
        None,
        // The unit did not answer its selection.
        NoAnswer,
        // Another unit (or none) answered where the unit was listed: the devices changed.
        OtherUnit,
        // The request sent nothing: outcome() tells why (the file, no connection, or a
        // device the file does not fit).
        Request,
    };

    // Appends to the update history at historyPath.
    UpdateSession(MLPWorkerThread& thread, const QString& historyPath, QObject* parent = nullptr);
    ~UpdateSession() override;

    // Selects the unit first and writes only when the selection reports that same unit.
    void start(const MLPDeviceInfoNode& unit, const QString& filePath);
    // For a caller whose own selection has just reported this unit: the thread already talks
    // to it, so the file is posted at once.
    void startOnSelected(const MLPDeviceInfoNode& unit, const QString& filePath);

    // Writing is the state in which stopping would leave the device half-written.
    State state() const { return m_state; }
    bool hasEnded() const;
    bool succeeded() const { return m_state == State::Done; }

    // The unit as the session last saw it: as given, then as its selection reported it.
    MLPDeviceInfoNode unit() const { return m_unit; }
    QString filePath() const { return m_filePath; }
    Refusal refusal() const { return m_refusal; }
    // The request's own account; complete once Writing has ended.
    MLPUpdateOutcome outcome() const { return m_outcome; }
    // The unit as it answered when asked after a successful update; empty model when it was
    // not asked or did not answer (it may be restarting).
    MLPDeviceInfoNode unitAfter() const { return m_unitAfter; }
    // The firmware version the file brings, as its header reads.
    QString fileFirmwareVersion() const { return m_outcome.fileCheck.fileFirmwareVersionText; }
    // Why the history could not be written; empty when it was. Never costs the update.
    QString historyProblem() const { return m_historyProblem; }

signals:
    void stateChanged(UpdateSession::State state);
    void progress(int percent);

private slots:
    void selectionAnswered(bool answered, const MLPDeviceInfoNode& device);
    void rediscovered();
    void requestSucceeded();
    void requestFailed();

private:
    void setState(State state);
    void write();
    void verify();
    void askWhereListed();
    void ask(const QString& address);
    void end(State state);
    void recordInHistory();
    QString historyFileName() const;

    MLPWorkerThread& m_thread;
    QString m_historyPath;
    State m_state = State::Idle;
    MLPDeviceInfoNode m_unit;
    QString m_filePath;
    // Where the unit was last selected, to tell the answer to this session's own selection.
    QString m_askedAddress;
    // Verifying looked for the unit again with a discovery; it is not looked for twice.
    bool m_rediscovered = false;
    // What the worker thread's answers are awaited for; others are not this session's.
    bool m_awaitingSelection = false;
    bool m_awaitingDiscovery = false;
    Refusal m_refusal = Refusal::None;
    MLPUpdateOutcome m_outcome;
    MLPDeviceInfoNode m_unitAfter;
    QString m_historyProblem;
    // A child of the session, deleted when its final signal arrives.
    MLPUpdateFirmwareRequest* m_request = nullptr;
};

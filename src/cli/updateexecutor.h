#pragma once

#include "mlpupdateoutcome.h"
#include "updateplan.h"

#include <QString>

#include <functional>
#include <optional>

class CliDeviceSession;
class UpdateHistory;

// Carries out the items of an update plan on the worker thread of a session, one at a time:
// selects the planned device, makes sure it is still the device the plan was made for,
// writes its file and records the update in the history.
class UpdateExecutor
{
public:
    struct Result
    {
        enum class Verdict
        {
            Succeeded,
            // Nothing was sent: the device did not answer its selection.
            NoAnswer,
            // Nothing was sent: another device (or none) now sits at the planned address.
            DevicesChanged,
            // The update was started and the device did not take all of it.
            Failed,
        };

        UpdatePlan::Item item;
        Verdict verdict = Verdict::Failed;
        // Why it did not succeed, as a clause ("the device at usb:m/0 did not answer ...").
        QString reason;
        // What the person at the bench should do about it, as a sentence.
        QString nextStep;
        // The update request's own account, once it ran.
        std::optional<MLPUpdateOutcome> outcome;
        // The firmware version the device reported when asked after a successful update;
        // empty when it did not answer (it may be restarting) or another device answered.
        QString versionAfter;
        // Set when the history could not be written; the update's verdict stands regardless.
        QString historyWarning;

        bool succeeded() const { return verdict == Verdict::Succeeded; }
    };

    UpdateExecutor(CliDeviceSession& session, const UpdateHistory& history);

    // Where and why a failed update stopped, and what it got through, as a clause.
    static QString failureReason(const MLPUpdateOutcome& outcome);

    // progress receives percents while the file is written.
    Result run(const UpdatePlan::Item& item, const std::function<void(int)>& progress);

private:
    void record(Result& result) const;

    CliDeviceSession& m_session;
    const UpdateHistory& m_history;
};

#pragma once

#include "mlpupdateoutcome.h"
#include "updateplan.h"

#include <QString>

#include <functional>
#include <optional>

class CliDeviceSession;

// Carries out the items of an update plan, one update session per item on the worker thread
// of a device session, one after another, and puts what each came to into words.
class UpdateExecutor
{
public:
    struct Result
    {
        enum class Verdict
        {
            Succeeded,
            // Nothing was sent: the unit did not answer on its link.
            NoAnswer,
            // Nothing was sent: the unit is no longer attached, or another model answers on
            // its link.
            DevicesChanged,
            // The unit took the whole file, but reports another firmware afterwards or did not
            // answer within the bound for a restart.
            Unconfirmed,
            // The update was started and the device did not take all of it, or the request
            // refused it (outcome tells why).
            Failed,
        };

        UpdatePlan::Item item;
        Verdict verdict = Verdict::Failed;
        // Why it did not succeed, as a clause ("DEMO-A on maker USB M1 did not answer ...").
        QString reason;
        // What the person at the bench should do about it, as a sentence.
        QString nextStep;
        // The update request's own account, once it ran.
        std::optional<MLPUpdateOutcome> outcome;
        // The firmware version the unit reported when asked after the file went out; empty
        // when it did not answer.
        QString versionAfter;
        // Set when the history could not be written; the update's verdict stands regardless.
        QString historyWarning;

        bool succeeded() const { return verdict == Verdict::Succeeded; }
        // The device took the whole file, confirmed or not.
        bool written() const { return verdict == Verdict::Succeeded || verdict == Verdict::Unconfirmed; }
    };

    // Each update is added to the history at historyPath.
    UpdateExecutor(CliDeviceSession& devices, const QString& historyPath);

    // progress receives percents while the file is written.
    Result run(const UpdatePlan::Item& item, const std::function<void(int)>& progress);

private:
    CliDeviceSession& m_devices;
    QString m_historyPath;
};

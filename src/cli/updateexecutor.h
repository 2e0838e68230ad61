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
            // Nothing was sent: the device did not answer its selection.
            NoAnswer,
            // Nothing was sent: another device (or none) now sits at the planned address.
            DevicesChanged,
            // The update was started and the device did not take all of it, or the request
            // refused it (outcome tells why).
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
        // The firmware version the unit reported when asked after a successful update;
        // empty when it did not answer (it may be restarting) or another unit answered.
        QString versionAfter;
        // Set when the history could not be written; the update's verdict stands regardless.
        QString historyWarning;

        bool succeeded() const { return verdict == Verdict::Succeeded; }
    };

    // Each update is added to the history at historyPath.
    UpdateExecutor(CliDeviceSession& devices, const QString& historyPath);

    // progress receives percents while the file is written.
    Result run(const UpdatePlan::Item& item, const std::function<void(int)>& progress);

private:
    CliDeviceSession& m_devices;
    QString m_historyPath;
};

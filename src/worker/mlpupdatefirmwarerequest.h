#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpprogressobserveri.h"
#include "mlpunitlinks.h"
#include "mlpupdateoutcome.h"
#include "mlpworkerrequesti.h"
#include "updateimage.h"

#include <QString>

#include <atomic>
#include <memory>

class MLU2File;
class MLPConnection;
struct MLPClock;
struct MLPWorkerContext;
struct MLPWriteResult;

namespace marlune::MLP {
class MLPPhy;
}

// Writes one update file to one unit, all on one link of its own: finds the unit by its
// identity (the context's MLPUnitLinks), checks that it answers as the unit meant and that
// the file fits it, sends the file's header with command UpdateHeader and each block with
// command UpdateBlock and the block index, all as acknowledged segments, then asks the unit
// what it runs now, on the same link or, when the unit restarts, on the one it comes back
// on. Nothing another request selects can fall between these steps. Reports progress in
// percent of header plus blocks after every segment.
//
// The owner deletes the request as soon as its final signal arrives. workDone() and
// failed() are therefore emitted on the request's own thread, not on the thread that runs
// it: the emission is handed over as the very last thing run() does with this object. The
// other signals are emitted on the running thread, in the order of the steps. What the
// update came to is read with outcome() once the final signal has arrived.
class MLPUpdateFirmwareRequest : public MLPWorkerRequestI, public marlune::MLP::MLPProgressObserverI
{
    Q_OBJECT

public:
    // How long a unit that went silent after taking the whole file is looked for again, by
    // its identity, before the update ends without its answer: a unit restarting into new
    // firmware may leave the bus for a few seconds.
    static constexpr uint32_t kUnitReturnBoundMs = 15000;
    // How often it is looked for meanwhile.
    static constexpr uint32_t kUnitLookupIntervalMs = 500;

    // Units the file is not written to, by the firmware they report just before: none by
    // default, as a person who picks one unit means it; a run over a rig leaves alone those
    // at the file's firmware or a newer one unless asked.
    struct LeaveAlone
    {
        bool sameFirmware = false;
        bool newerFirmware = false;
    };

    // Writes the image's bytes, read once for the whole run: every unit gets the same ones.
    MLPUpdateFirmwareRequest(const MLPDeviceInfoNode& unit, const UpdateImage& image,
                             QObject* parent = nullptr);

    void setLeaveAlone(LeaveAlone leaveAlone) { m_leaveAlone = leaveAlone; }
    // A file no trusted key signed is written too: the person was asked, or gave
    // --allow-unsigned. A signature that does not hold is refused all the same.
    void allowUnsigned() { m_allowUnsigned = true; }

    void run(MLPWorkerContext* context) override;
    bool writesToDevice() const override { return true; }
    // From any thread: the update ends before its first byte when that has not gone out yet;
    // a write under way runs to its end, as stopping it would leave the device half-written.
    // Starting the write and stopping are one atomic step: true when the stop came first, and
    // nothing will be sent.
    bool stopBeforeWriting();

    // Complete once workDone() or failed() has arrived, or once the request was withdrawn
    // after it had run; not to be read while run() runs.
    MLPUpdateOutcome outcome() const { return m_outcome; }
    bool hasRun() const { return m_ran; }

    void bytesReceived(int total) override;
    void bytesSent(int total) override;

signals:
    void progress(int percent);
    // The unit answered on its link as the unit meant and the file fits it: the first byte
    // goes out next. `unit` is as it answered, with the firmware it runs before the update.
    void unitChecked(const MLPDeviceInfoNode& unit);
    // The device took the whole file; it is asked what it runs now.
    void verifying();

private:
    struct UnitLink;

    void writeToUnit(MLPWorkerContext& context, const MLU2File& file);
    bool readUnit(UnitLink& unit, MLPDeviceInfoNode& answered);
    bool checkUnit(UnitLink& unit);
    bool beginWriting();
    void transfer(MLPConnection* connection, const MLU2File& file);
    bool transferDone(const MLPWriteResult& written, bool mayLackLastAck);
    void askAfterUpdate(MLPWorkerContext& context, UnitLink& unit);
    bool answeredAfter(const MLPDeviceInfoNode& answered, bool onWrittenLink);
    static MLPUpdateOutcome::UnitProblem unitProblemOf(MLPUnitLinks::Problem problem);
    void finish(bool tookFile);
    Q_INVOKABLE void emitOutcome(bool tookFile);

    MLPDeviceInfoNode m_unit;
    qint64 m_doneBytes = 0;
    qint64 m_currentTransferLength = 0;
    qint64 m_totalBytes = 0;
    UpdateImage m_image;
    MLPUpdateOutcome m_outcome;
    // Where the stop and the first byte meet: whichever moves it from Checking first wins.
    enum class Step
    {
        Checking,
        Stopped,
        Writing,
    };
    std::atomic<Step> m_step{Step::Checking};
    std::atomic<bool> m_stopAsked{false};
    bool m_ran = false;
    LeaveAlone m_leaveAlone;
    bool m_allowUnsigned = false;
};

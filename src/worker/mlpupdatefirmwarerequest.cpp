#include "mlpupdatefirmwarerequest.h"

#include "firmwareversion.h"
#include "mlpcommand.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpphy.h"
#include "mlpworkercontext.h"
#include "mlu2file.h"
#include "updatefilecheck.h"
#include "updateplanner.h"

#include <cmath>

namespace {

constexpr uint32_t kHeaderLength = 256;
constexpr uint32_t kUpdateReceiveCapacity = 50000;

} // namespace

// The unit's own link while the request runs. The connection goes before its link.
struct MLPUpdateFirmwareRequest::UnitLink
{
    std::unique_ptr<marlune::MLP::MLPPhy> link;
    std::unique_ptr<MLPConnection> connection;
    // Where the unit was found: its identity, under the address it was named by.
    MLPDeviceInfoNode opened;
    // Why the last open made no link.
    MLPUnitLinks::Problem problem = MLPUnitLinks::Problem::None;

    bool open(MLPWorkerContext& context, const MLPDeviceInfoNode& unit)
    {
        close();
        MLPUnitLinks::Opening opening = context.units.open(context.units.context, unit);
        opened = opening.where;
        // Named as the caller named it: counting positions again while other units hold
        // their links would give it another unit's address.
        opened.address = unit.address;
        problem = opening.problem;
        link = std::move(opening.link);
        if (!link) {
            return false;
        }
        connection = std::make_unique<MLPConnection>(link.get(), kUpdateReceiveCapacity);
        connection->setClock(context.clock);
        // Named by its serial number: several units may be traced at once.
        connection->setFrameTrace(context.frameTrace, context.frameTraceContext,
                                  (unit.serial.isEmpty() ? unit.address : unit.serial).toStdString());
        return true;
    }

    void close()
    {
        connection.reset();
        link.reset();
    }
};

MLPUpdateFirmwareRequest::MLPUpdateFirmwareRequest(const MLPDeviceInfoNode& unit, const UpdateImage& image,
                                                   QObject* parent)
    : MLPWorkerRequestI(parent), m_unit(unit), m_image(image)
{}

void MLPUpdateFirmwareRequest::run(MLPWorkerContext* context)
{
    m_outcome = MLPUpdateOutcome();
    m_outcome.unit = m_unit;
    // A unit opens once: the thread's own link to it goes first. The thread's owner selects
    // the unit it shows again afterwards.
    context->releaseThreadDevice();

    // A truncated or damaged file would leave the device half-written; it is refused before
    // any byte goes out. The image was read, checked and its signature checked once for the
    // whole run, on the very bytes sent below.
    m_outcome.fileCheck = m_image.check();
    if (!m_allowUnsigned) {
        m_outcome.fileCheck = UpdateFileCheck::refusingUnsigned(m_outcome.fileCheck);
    }
    if (m_outcome.fileCheck.fits()) {
        m_outcome.sentSha256 = m_image.sentSha256();
        writeToUnit(*context, m_image.file());
    }

    if (m_step == Step::Stopped) {
        m_outcome.stop = MLPUpdateOutcome::StopAnswer::BeforeWriting;
    } else if (m_step == Step::Writing && m_stopAsked) {
        m_outcome.stop = MLPUpdateOutcome::StopAnswer::AfterWritingBegan;
    }
    m_ran = true;
    finish(m_outcome.tookFile());
}

void MLPUpdateFirmwareRequest::writeToUnit(MLPWorkerContext& context, const MLU2File& file)
{
    m_outcome.phase = MLPUpdateOutcome::Phase::UnitCheck;
    UnitLink unit;
    if (!unit.open(context, m_unit)) {
        m_outcome.unitProblem = unitProblemOf(unit.problem);
        return;
    }
    m_outcome.unitFound = unit.opened;
    if (!checkUnit(unit)) {
        return;
    }
    if (!beginWriting()) {
        m_outcome.phase = MLPUpdateOutcome::Phase::Stopped;
        return;
    }
    emit unitChecked(m_outcome.unitFound);

    unit.connection->addObserver(this);
    transfer(unit.connection.get(), file);
    // Unregistered before anything else is asked: no segment can report progress any more.
    unit.connection->removeObserver(this);
    if (m_outcome.tookFile()) {
        emit verifying();
        askAfterUpdate(context, unit);
    }
}

bool MLPUpdateFirmwareRequest::stopBeforeWriting()
{
    m_stopAsked = true;
    Step checking = Step::Checking;
    return m_step.compare_exchange_strong(checking, Step::Stopped) || checking == Step::Stopped;
}

// The other side of stopBeforeWriting(): false when the stop came first.
bool MLPUpdateFirmwareRequest::beginWriting()
{
    Step checking = Step::Checking;
    return m_step.compare_exchange_strong(checking, Step::Writing);
}

// Asks the unit for its device information; also makes the connection use the device's
// current maximum frame length.
bool MLPUpdateFirmwareRequest::readUnit(UnitLink& unit, MLPDeviceInfoNode& answered)
{
    const MLPReadResult answer = unit.connection->requestDeviceInfo();
    if (answer.status != MLPStatus::Ok || !answer.data ||
        answer.length != MLPDeviceInfoRecord::kPayloadLength) {
        return false;
    }
    answered =
        MLPDeviceInfoNode::fromRecord(MLPDeviceInfoRecord::fromPayload(answer.data.get()), unit.opened);
    return true;
}

// The unit's link is the one meant, by its identity; what answers on it must be the model
// meant (a bridge keeps its serial number when the fixture behind it is swapped), and the
// file must fit what it reports.
bool MLPUpdateFirmwareRequest::checkUnit(UnitLink& unit)
{
    MLPDeviceInfoNode answered;
    if (!readUnit(unit, answered)) {
        m_outcome.unitProblem = MLPUpdateOutcome::UnitProblem::NoAnswer;
        return false;
    }
    m_outcome.unitFound = answered;
    m_outcome.deviceAnswered = true;
    m_outcome.deviceFwVersion = answered.fwVersion;
    if (!m_unit.model.isEmpty() && answered.model != m_unit.model) {
        m_outcome.unitProblem = MLPUpdateOutcome::UnitProblem::OtherModel;
        return false;
    }
    m_outcome.fileCheck = UpdateFileCheck::check(m_outcome.fileCheck, answered.model, answered.hwVersion);
    if (!m_outcome.fileCheck.fits()) {
        m_outcome.phase = MLPUpdateOutcome::Phase::IdentityCheck;
        return false;
    }
    // The plan's rule again, by what it reports now: a list read earlier may not know of an
    // update since.
    const marlune::FirmwareOrder firmware =
        marlune::compareFirmware(m_outcome.fileCheck.fileFirmwareVersion, answered.fwVersion);
    if (UpdatePlanner::leavesAlone(firmware, m_leaveAlone)) {
        m_outcome.unitProblem = firmware == marlune::FirmwareOrder::Same
                                    ? MLPUpdateOutcome::UnitProblem::SameFirmware
                                    : MLPUpdateOutcome::UnitProblem::NewerFirmware;
        return false;
    }
    return true;
}

// Records an answer after the update; true when it came from the unit written: the same
// model, on the link it was written on or found again as the same unit by its identity.
bool MLPUpdateFirmwareRequest::answeredAfter(const MLPDeviceInfoNode& answered, bool onWrittenLink)
{
    m_outcome.answeredAfter = true;
    m_outcome.unitAfter = answered;
    m_outcome.sameUnitAfter = answered.model == m_outcome.unitFound.model &&
                              (onWrittenLink || answered.isSameUnit(m_outcome.unitFound));
    return m_outcome.sameUnitAfter;
}

void MLPUpdateFirmwareRequest::askAfterUpdate(MLPWorkerContext& context, UnitLink& unit)
{
    MLPDeviceInfoNode answered;
    if (readUnit(unit, answered) && answeredAfter(answered, true)) {
        return;
    }
    // Silent, or another unit in its place: it may be starting its new firmware, and a
    // maker-USB unit may leave the bus to do so. It is looked for by its identity, on
    // whichever link it comes back on.
    unit.close();
    const MLPClock& clock = context.clock;
    const uint32_t start = clock.nowMs(clock.context);
    while (clock.nowMs(clock.context) - start < kUnitReturnBoundMs) {
        clock.sleepMs(clock.context, kUnitLookupIntervalMs);
        if (unit.open(context, m_outcome.unitFound) && readUnit(unit, answered)) {
            m_outcome.cameBackAfter = true;
            if (answeredAfter(answered, false)) {
                return;
            }
        }
    }
}

MLPUpdateOutcome::UnitProblem MLPUpdateFirmwareRequest::unitProblemOf(MLPUnitLinks::Problem problem)
{
    switch (problem) {
    case MLPUnitLinks::Problem::Held:
        return MLPUpdateOutcome::UnitProblem::Held;
    case MLPUnitLinks::Problem::NotAccessible:
        return MLPUpdateOutcome::UnitProblem::NotAccessible;
    case MLPUnitLinks::Problem::NotAttached:
    case MLPUnitLinks::Problem::None:
        break;
    }
    return MLPUpdateOutcome::UnitProblem::NotAttached;
}

void MLPUpdateFirmwareRequest::finish(bool tookFile)
{
    // The window deletes the request in the slot that receives its final signal. Emitted
    // on the worker thread, the signal would leave Qt tidying the request's connections on
    // that thread while the window deletes the request on its own, freeing the very slot
    // object being run. So the final signal is emitted on the request's own thread, where
    // the deletion happens: at once when run() runs there, otherwise from that thread's
    // event loop. Nothing touches the request after handing the emission over.
    QMetaObject::invokeMethod(this, "emitOutcome", Qt::AutoConnection, Q_ARG(bool, tookFile));
}

void MLPUpdateFirmwareRequest::emitOutcome(bool tookFile)
{
    if (tookFile) {
        emit workDone();
    } else {
        emit failed(OperationFailed);
    }
}

void MLPUpdateFirmwareRequest::transfer(MLPConnection* connection, const MLU2File& file)
{
    m_doneBytes = 0;
    m_totalBytes = file.totalSize();
    m_outcome.totalBytes = m_totalBytes;

    m_outcome.phase = MLPUpdateOutcome::Phase::Header;
    m_currentTransferLength = kHeaderLength;
    const MLPWriteResult header = connection->writeSegmented(file.header(), kHeaderLength, UpdateHeader, 0);
    const bool headerMayLackLastAck = false;
    if (!transferDone(header, headerMayLackLastAck)) {
        return;
    }

    m_outcome.phase = MLPUpdateOutcome::Phase::Block;
    for (int index = 0; index < file.blockCount(); ++index) {
        m_outcome.block = index;
        const MLU2Block block = file.block(index);
        m_currentTransferLength = block.length;
        const MLPWriteResult written =
            connection->writeSegmented(block.data, block.length, UpdateBlock, static_cast<uint16_t>(index));
        const bool blockMayLackLastAck = true;
        if (!transferDone(written, blockMayLackLastAck)) {
            return;
        }
    }
    m_outcome.phase = MLPUpdateOutcome::Phase::Done;
    m_outcome.block = -1;
}

// Records what one transfer brought; true when the update may go on (or is complete).
bool MLPUpdateFirmwareRequest::transferDone(const MLPWriteResult& written, bool mayLackLastAck)
{
    m_outcome.confirmedBytes += written.confirmedBytes;
    if (written.status == MLPStatus::Ok) {
        return true;
    }
    // The link took every byte, the last segment included, and only that segment's
    // acknowledgement is missing or malformed: the device has the whole image, which is
    // taken as success. A last segment the link refused never reached the device.
    if (mayLackLastAck && written.status == MLPStatus::NoValidReply && written.finalSegmentAccepted &&
        m_doneBytes >= m_totalBytes) {
        m_outcome.lastAcknowledgementMissing = true;
        return true;
    }
    m_outcome.segment = static_cast<int>(written.segments);
    m_outcome.status = written.status;
    m_outcome.linkWriteFailed = written.linkWriteFailed;
    if (written.linkWriteFailed) {
        m_outcome.linkError = written.linkError;
        m_outcome.linkErrorName = QString::fromStdString(written.linkErrorName);
    }
    if (written.status == MLPStatus::DeviceError) {
        m_outcome.deviceStatus = written.errorCode;
    }
    return false;
}

void MLPUpdateFirmwareRequest::bytesReceived(int) {}

void MLPUpdateFirmwareRequest::bytesSent(int total)
{
    const double fraction = static_cast<double>(total + m_doneBytes) / static_cast<double>(m_totalBytes);
    const double percent = std::trunc(fraction * 100.0);
    emit progress(percent < 0.0 ? 0 : percent > 100.0 ? 100 : static_cast<int>(percent));

    if (total == m_currentTransferLength) {
        m_doneBytes += m_currentTransferLength;
    }
}

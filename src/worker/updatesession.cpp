#include "updatesession.h"

#include "builtinupdatefiles.h"
#include "firmwareversion.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "updatehistory.h"
#include "updatetext.h"

#include <QDateTime>
#include <QFileInfo>

UpdateSession::UpdateSession(MLPWorkerThread& thread, const QString& historyPath, QObject* parent)
    : QObject(parent), m_thread(thread), m_historyPath(historyPath)
{}

UpdateSession::~UpdateSession()
{
    if (!m_request) {
        return;
    }
    m_request->stopBeforeWriting();
    m_thread.withdraw(m_request);
    // Withdrawn before it began, it has nothing to tell.
    if (!m_request->hasRun()) {
        return;
    }
    m_state = takeOutcome();
    // As it answered just before the write: the news of its check may not have arrived.
    if (m_outcome.deviceAnswered) {
        m_unit = m_outcome.unitFound;
    }
    if (m_refusal != Refusal::Stopped && m_refusal != Refusal::LeftAlone) {
        recordInHistory();
    }
}

bool UpdateSession::hasEnded() const
{
    return m_state == State::Refused || m_state == State::Done || m_state == State::Unconfirmed ||
           m_state == State::Failed;
}

UpdateSession::Verdict UpdateSession::verdict() const
{
    switch (m_refusal) {
    case Refusal::NoAnswer:
    case Refusal::NotAttached:
    case Refusal::Held:
    case Refusal::NotAccessible:
    case Refusal::OtherUnit:
        return Verdict::NotReached;
    case Refusal::Stopped:
        return Verdict::NotStarted;
    case Refusal::LeftAlone:
        return Verdict::LeftAlone;
    case Refusal::Request:
    case Refusal::None:
        break;
    }
    return m_state == State::Done          ? Verdict::Confirmed
           : m_state == State::Unconfirmed ? Verdict::TookFileUnconfirmed
                                           : Verdict::Failed;
}

void UpdateSession::start(const MLPDeviceInfoNode& unit, const UpdateImage& image,
                          MLPUpdateFirmwareRequest::LeaveAlone leaveAlone)
{
    m_unit = unit;
    m_image = image;
    m_request = new MLPUpdateFirmwareRequest(unit, image, this);
    m_request->setLeaveAlone(leaveAlone);
    if (m_allowUnsigned) {
        m_request->allowUnsigned();
    }
    connect(m_request, &MLPUpdateFirmwareRequest::progress, this, &UpdateSession::progress);
    connect(m_request, &MLPUpdateFirmwareRequest::unitChecked, this, &UpdateSession::unitChecked);
    connect(m_request, &MLPUpdateFirmwareRequest::verifying, this, &UpdateSession::verifying);
    connect(m_request, &MLPWorkerRequestI::workDone, this, &UpdateSession::requestEnded);
    connect(m_request, &MLPWorkerRequestI::failed, this, &UpdateSession::requestEnded);
    setState(State::Checking);
    if (m_beside) {
        m_thread.postUpdateBeside(m_request);
    } else {
        m_thread.postUpdate(m_request);
    }
}

bool UpdateSession::stopBeforeWriting()
{
    return m_request && m_request->stopBeforeWriting();
}

UpdateSession::Refusal UpdateSession::refusalFor(MLPUpdateOutcome::UnitProblem problem)
{
    switch (problem) {
    case MLPUpdateOutcome::UnitProblem::NotAttached:
        return Refusal::NotAttached;
    case MLPUpdateOutcome::UnitProblem::Held:
        return Refusal::Held;
    case MLPUpdateOutcome::UnitProblem::NotAccessible:
        return Refusal::NotAccessible;
    case MLPUpdateOutcome::UnitProblem::NoAnswer:
        return Refusal::NoAnswer;
    case MLPUpdateOutcome::UnitProblem::SameFirmware:
    case MLPUpdateOutcome::UnitProblem::NewerFirmware:
        return Refusal::LeftAlone;
    case MLPUpdateOutcome::UnitProblem::OtherModel:
    case MLPUpdateOutcome::UnitProblem::None:
        break;
    }
    return Refusal::OtherUnit;
}

void UpdateSession::unitChecked(const MLPDeviceInfoNode& unit)
{
    m_unit = unit;
    setState(State::Writing);
}

void UpdateSession::verifying()
{
    setState(State::Verifying);
}

void UpdateSession::requestEnded()
{
    end(takeOutcome());
}

UpdateSession::State UpdateSession::takeOutcome()
{
    m_outcome = m_request->outcome();
    // The request emits its final signal as the last thing it does with itself.
    delete m_request;
    m_request = nullptr;
    using Phase = MLPUpdateOutcome::Phase;
    switch (m_outcome.phase) {
    case Phase::FileCheck:
    case Phase::IdentityCheck:
        m_refusal = Refusal::Request;
        return State::Refused;
    case Phase::Stopped:
        m_refusal = Refusal::Stopped;
        return State::Refused;
    case Phase::UnitCheck:
        m_refusal = refusalFor(m_outcome.unitProblem);
        return State::Refused;
    case Phase::Header:
    case Phase::Block:
        return State::Failed;
    case Phase::Done:
        break;
    }
    return judgeWrittenUnit();
}

// The update is done only when the unit written, asked afterwards, runs the file's firmware;
// another unit answering in its place confirms nothing.
UpdateSession::State UpdateSession::judgeWrittenUnit() const
{
    if (m_outcome.answeredAfter && m_outcome.sameUnitAfter &&
        marlune::compareFirmware(m_outcome.fileCheck.fileFirmwareVersion, m_outcome.unitAfter.fwVersion) ==
            marlune::FirmwareOrder::Same) {
        return State::Done;
    }
    return State::Unconfirmed;
}

// The history is written before the end is told, so that whoever hears of it finds the
// history complete.
void UpdateSession::end(State state)
{
    m_state = state;
    // Stopped before its first byte, or left alone for the firmware it runs, the unit was
    // left as it was: nothing to record, as for a unit a run's plan leaves out.
    if (m_refusal != Refusal::Stopped && m_refusal != Refusal::LeftAlone) {
        recordInHistory();
    }
    emit stateChanged(state);
}

void UpdateSession::setState(State state)
{
    m_state = state;
    emit stateChanged(state);
}

void UpdateSession::recordInHistory()
{
    UpdateHistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.model = m_unit.model;
    entry.link = QLatin1String(marlune::MLP::linkKindKey(m_unit.linkKind));
    entry.serial = m_unit.serial;
    entry.address = m_unit.address;
    // What the device said just before the file went out, when it was asked.
    entry.versionBefore = MLPDeviceInfoNode::versionText(m_outcome.deviceAnswered ? m_outcome.deviceFwVersion
                                                                                  : m_unit.fwVersion);
    entry.file = historyFileName();
    entry.fileSha256 = m_outcome.sentSha256;
    entry.signedBy = m_outcome.fileCheck.signature.keyName;
    entry.keyId = m_outcome.fileCheck.signature.keyId;
    entry.succeeded = confirmed();
    // The device took the whole file also when it does not report the file's firmware.
    if (m_outcome.tookFile()) {
        entry.versionWritten = fileFirmwareVersion();
    }
    entry.reason = UpdateText::reason(*this);
    if (m_outcome.answeredAfter) {
        entry.versionAfter = MLPDeviceInfoNode::versionText(m_outcome.unitAfter.fwVersion);
    }
    m_historyEntry = entry;
    m_historyProblem = UpdateHistory(m_historyPath).append(entry);
}

// A built-in file lives in the program's resources, where no path outside it leads.
QString UpdateSession::historyFileName() const
{
    if (m_image.path().startsWith(marlune::builtInUpdateFilesDirectory())) {
        return tr("built-in %1").arg(m_unit.model);
    }
    return QFileInfo(m_image.path()).absoluteFilePath();
}

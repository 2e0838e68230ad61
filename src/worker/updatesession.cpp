#include "updatesession.h"

#include "builtinupdatefiles.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "updatehistory.h"
#include "updatetext.h"

#include <QDateTime>
#include <QFileInfo>

// The worker thread's answers stay connected once needed, for the session's life, and are
// told apart by what the session awaits: a connection dropped from within its own queued
// call would leave the worker thread, at its next emit, deleting the call's slot object while
// this thread may still be in it.
UpdateSession::UpdateSession(MLPWorkerThread& thread, const QString& historyPath, QObject* parent)
    : QObject(parent), m_thread(thread), m_historyPath(historyPath)
{
    connect(&m_thread, &MLPWorkerThread::deviceSelectionAnswered, this, &UpdateSession::selectionAnswered);
}

// A request still running is left to finish: deleting it would pull it from under the
// worker thread. Its owner keeps the session until it has ended.
UpdateSession::~UpdateSession() = default;

bool UpdateSession::hasEnded() const
{
    return m_state == State::Refused || m_state == State::Done || m_state == State::Failed;
}

void UpdateSession::start(const MLPDeviceInfoNode& unit, const QString& filePath)
{
    m_unit = unit;
    m_filePath = filePath;
    // The list may have been made again since the unit was chosen; the unit is where the
    // last discovery found it.
    for (const MLPDeviceInfoNode& listed : m_thread.discoveredDevices()) {
        if (listed.isSameUnit(unit)) {
            m_unit.address = listed.address;
        }
    }
    setState(State::Checking);
    ask(m_unit.address);
}

void UpdateSession::ask(const QString& address)
{
    m_askedAddress = address;
    m_awaitingSelection = true;
    m_thread.postSelect(address);
}

void UpdateSession::startOnSelected(const MLPDeviceInfoNode& unit, const QString& filePath)
{
    m_unit = unit;
    m_filePath = filePath;
    write();
}

void UpdateSession::selectionAnswered(bool answered, const MLPDeviceInfoNode& device)
{
    // Only the answer to this session's own selection counts; a front end may select too.
    if (!m_awaitingSelection || device.address != m_askedAddress ||
        (m_state != State::Checking && m_state != State::Verifying)) {
        return;
    }
    m_awaitingSelection = false;
    const bool sameUnit = answered && device.isSameUnit(m_unit);
    if (m_state == State::Verifying) {
        if (sameUnit) {
            m_unitAfter = device;
            end(State::Done);
        } else if (!m_rediscovered) {
            // Units plugged in or out while the file went out move the others; the unit is
            // looked for where it is listed now.
            m_rediscovered = true;
            m_awaitingDiscovery = true;
            connect(&m_thread, &MLPWorkerThread::deviceDiscoverFinsihed, this, &UpdateSession::rediscovered,
                    Qt::UniqueConnection);
            m_thread.postDiscover();
        } else {
            end(State::Done);
        }
        return;
    }
    if (!sameUnit) {
        m_refusal = answered ? Refusal::OtherUnit : Refusal::NoAnswer;
        end(State::Refused);
        return;
    }
    m_unit = device;
    write();
}

void UpdateSession::write()
{
    setState(State::Writing);
    m_request = new MLPUpdateFirmwareRequest(m_filePath, this);
    connect(m_request, &MLPUpdateFirmwareRequest::progress, this, &UpdateSession::progress);
    connect(m_request, &MLPWorkerRequestI::workDone, this, &UpdateSession::requestSucceeded);
    connect(m_request, &MLPWorkerRequestI::failed, this, &UpdateSession::requestFailed);
    m_thread.postUpdate(m_request);
}

void UpdateSession::requestSucceeded()
{
    m_outcome = m_request->outcome();
    // The request emits its final signal as the last thing it does with itself.
    delete m_request;
    m_request = nullptr;
    verify();
}

void UpdateSession::requestFailed()
{
    m_outcome = m_request->outcome();
    delete m_request;
    m_request = nullptr;
    const bool nothingSent = m_outcome.phase == MLPUpdateOutcome::Phase::FileCheck ||
                             m_outcome.phase == MLPUpdateOutcome::Phase::NoConnection ||
                             m_outcome.phase == MLPUpdateOutcome::Phase::IdentityCheck;
    if (nothingSent) {
        m_refusal = Refusal::Request;
        end(State::Refused);
    } else {
        end(State::Failed);
    }
}

// Asks the unit by selecting it where the last discovery listed it: a unit that is not
// listed (or no longer there) is not asked, and another unit's answer is not taken for it.
void UpdateSession::verify()
{
    setState(State::Verifying);
    askWhereListed();
}

void UpdateSession::askWhereListed()
{
    for (const MLPDeviceInfoNode& listed : m_thread.discoveredDevices()) {
        if (listed.isSameUnit(m_unit)) {
            ask(listed.address);
            return;
        }
    }
    end(State::Done);
}

void UpdateSession::rediscovered()
{
    if (!m_awaitingDiscovery) {
        return;
    }
    m_awaitingDiscovery = false;
    askWhereListed();
}

// The history is written before the end is told, so that whoever hears of it finds the
// history complete.
void UpdateSession::end(State state)
{
    m_state = state;
    recordInHistory();
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
    entry.succeeded = succeeded();
    if (entry.succeeded) {
        entry.versionWritten = fileFirmwareVersion();
    }
    entry.reason = UpdateText::reason(*this);
    if (!m_unitAfter.model.isEmpty()) {
        entry.versionAfter = MLPDeviceInfoNode::versionText(m_unitAfter.fwVersion);
    }
    m_historyProblem = UpdateHistory(m_historyPath).append(entry);
}

// A built-in file lives in the program's resources, where no path outside it leads.
QString UpdateSession::historyFileName() const
{
    if (m_filePath.startsWith(marlune::builtInUpdateFilesDirectory())) {
        return tr("built-in %1").arg(m_unit.model);
    }
    return QFileInfo(m_filePath).absoluteFilePath();
}

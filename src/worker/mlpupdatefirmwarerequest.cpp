#include "mlpupdatefirmwarerequest.h"

#include "mlpcommand.h"
#include "mlpconnection.h"
#include "mlpdeviceinforecord.h"
#include "mlpworkercontext.h"
#include "mlu2file.h"
#include "updatefilecheck.h"

#include <QCryptographicHash>

#include <cmath>

namespace {

constexpr uint32_t kHeaderLength = 256;

// The blocks are the mappings the transfer sends from, so the hash is of those very bytes.
QString sentBytesHash(MLU2File& file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromRawData(reinterpret_cast<const char*>(file.header()),
                                         static_cast<int>(kHeaderLength)));
    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block block = file.block(index);
        hash.addData(QByteArray::fromRawData(reinterpret_cast<const char*>(block.data),
                                             static_cast<int>(block.length)));
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

MLPUpdateFirmwareRequest::MLPUpdateFirmwareRequest(const QString& filePath, QObject* parent)
    : MLPWorkerRequestI(parent), m_filePath(filePath)
{}

void MLPUpdateFirmwareRequest::run(MLPWorkerContext* context)
{
    m_outcome = MLPUpdateOutcome();
    MLPConnection* connection = context->connection ? *context->connection : nullptr;
    if (!connection) {
        // A discovery that found nothing leaves the thread without a connection while the
        // window may still offer the update.
        m_outcome.phase = MLPUpdateOutcome::Phase::NoConnection;
        finish(false);
        return;
    }

    {
        MLU2File file(m_filePath);
        connection->addObserver(this);
        // A truncated or damaged file passes open() but cannot deliver all its blocks;
        // starting such an update would leave the device half-written, so it is refused
        // before any byte goes out.
        file.open();
        m_outcome.fileCheck = UpdateFileCheck::checkFile(file);
        if (m_outcome.fileCheck.fits()) {
            m_outcome.sentSha256 = sentBytesHash(file);
            // Also makes the connection use the device's current maximum frame length.
            readDeviceIdentity(connection);
            if (deviceFitsFile()) {
                transfer(connection, file);
            }
        }
        // Unregistered before the final signal: no segment can report progress any more.
        connection->removeObserver(this);
        file.close();
    }

    finish(m_outcome.succeeded());
}

void MLPUpdateFirmwareRequest::readDeviceIdentity(MLPConnection* connection)
{
    const MLPReadResult answer = connection->requestDeviceInfo();
    m_outcome.deviceAnswered =
        answer.status == MLPStatus::Ok && answer.data && answer.length == MLPDeviceInfoRecord::kPayloadLength;
    if (m_outcome.deviceAnswered) {
        const MLPDeviceInfoRecord record = MLPDeviceInfoRecord::fromPayload(answer.data.get());
        m_outcome.deviceFwVersion = record.fwVersion;
        m_outcome.fileCheck.deviceModel =
            QString::fromUtf8(record.model.data(), static_cast<int>(record.model.size()));
        m_outcome.fileCheck.deviceHwVersion = record.hwVersion;
    }
}

// An address is only a position: a unit plugged in or pulled out since the device was
// chosen can put another one there. The file goes only to a device it was made for; one
// that does not say what it is gets the update as before.
bool MLPUpdateFirmwareRequest::deviceFitsFile()
{
    if (!m_outcome.deviceAnswered) {
        return true;
    }
    m_outcome.fileCheck = UpdateFileCheck::check(m_outcome.fileCheck, m_outcome.fileCheck.deviceModel,
                                                 m_outcome.fileCheck.deviceHwVersion);
    if (m_outcome.fileCheck.fits()) {
        return true;
    }
    m_outcome.phase = MLPUpdateOutcome::Phase::IdentityCheck;
    return false;
}

void MLPUpdateFirmwareRequest::finish(bool succeeded)
{
    // The window deletes the request in the slot that receives its final signal. Emitted
    // on the worker thread, the signal would leave Qt tidying the request's connections on
    // that thread while the window deletes the request on its own, freeing the very slot
    // object being run. So the final signal is emitted on the request's own thread, where
    // the deletion happens: at once when run() runs there, otherwise from that thread's
    // event loop. Nothing touches the request after handing the emission over.
    QMetaObject::invokeMethod(this, "emitOutcome", Qt::AutoConnection, Q_ARG(bool, succeeded));
}

void MLPUpdateFirmwareRequest::emitOutcome(bool succeeded)
{
    if (succeeded) {
        emit workDone();
    } else {
        emit failed(OperationFailed);
    }
}

void MLPUpdateFirmwareRequest::transfer(MLPConnection* connection, MLU2File& file)
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

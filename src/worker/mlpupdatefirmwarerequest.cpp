#include "mlpupdatefirmwarerequest.h"

#include "mlpcommand.h"
#include "mlpconnection.h"
#include "mlpworkercontext.h"
#include "mlu2file.h"

#include <cmath>

namespace {

constexpr uint32_t kHeaderLength = 256;

// A truncated or damaged file passes open() but cannot deliver all its blocks; starting
// such an update would leave the device half-written, so it is refused before any byte
// goes out.
bool allBlocksAvailable(MLU2File& file)
{
    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block block = file.block(index);
        if (!block.data || block.length == 0) {
            return false;
        }
    }
    return file.header() != nullptr;
}

} // namespace

MLPUpdateFirmwareRequest::MLPUpdateFirmwareRequest(const QString& filePath, QObject* parent)
    : MLPWorkerRequestI(parent), m_filePath(filePath)
{}

void MLPUpdateFirmwareRequest::run(MLPWorkerContext* context)
{
    MLPConnection* connection = context->connection ? *context->connection : nullptr;
    if (!connection) {
        // A discovery that found nothing leaves the thread without a connection while the
        // window may still offer the update.
        finish(false);
        return;
    }

    bool succeeded = false;
    {
        MLU2File file(m_filePath);
        connection->addObserver(this);
        if (file.open() && allBlocksAvailable(file)) {
            // Learns the device's current maximum frame length; the outcome does not matter.
            connection->requestDeviceInfo();
            succeeded = transfer(connection, file);
        }
        // Unregistered before the final signal: no segment can report progress any more.
        connection->removeObserver(this);
        file.close();
    }

    finish(succeeded);
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

bool MLPUpdateFirmwareRequest::transfer(MLPConnection* connection, MLU2File& file)
{
    m_doneBytes = 0;
    m_totalBytes = file.totalSize();

    m_currentTransferLength = kHeaderLength;
    const MLPWriteResult header = connection->writeSegmented(file.header(), kHeaderLength, UpdateHeader, 0);
    if (header.status != MLPStatus::Ok) {
        return false;
    }

    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block block = file.block(index);
        m_currentTransferLength = block.length;
        const MLPWriteResult written =
            connection->writeSegmented(block.data, block.length, UpdateBlock, static_cast<uint16_t>(index));
        // The link took every byte, the last segment included, and only that segment's
        // acknowledgement is missing or malformed: the device has the whole image, which is
        // taken as success. A last segment the link refused never reached the device.
        const bool lastAckMissing = written.status == MLPStatus::NoValidReply &&
                                    written.finalSegmentAccepted && m_doneBytes >= m_totalBytes;
        if (written.status != MLPStatus::Ok && !lastAckMissing) {
            return false;
        }
    }
    return true;
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

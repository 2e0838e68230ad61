#pragma once

#include "mlpprogressobserveri.h"
#include "mlpupdateoutcome.h"
#include "mlpworkerrequesti.h"

#include <QString>

class MLU2File;
class MLPConnection;
struct MLPWriteResult;

// Writes one update file to the selected device: its header with command UpdateHeader,
// then each block with command UpdateBlock and the block index, all as acknowledged
// segments. Reports progress in percent of header plus blocks after every segment.
//
// The main window deletes the request as soon as its final signal arrives. workDone() and
// failed() are therefore emitted on the request's own thread (the window's), not on the
// thread that runs it: the emission is handed over as the very last thing run() does with
// this object. progress() is emitted on the running thread. What the update came to, and
// where it failed, is read with outcome() once the final signal has arrived.
class MLPUpdateFirmwareRequest : public MLPWorkerRequestI, public marlune::MLP::MLPProgressObserverI
{
    Q_OBJECT

public:
    MLPUpdateFirmwareRequest(const QString& filePath, QObject* parent = nullptr);

    void run(MLPWorkerContext* context) override;
    bool writesToDevice() const override { return true; }

    // Complete once workDone() or failed() has arrived; not to be read while run() runs.
    MLPUpdateOutcome outcome() const { return m_outcome; }

    void bytesReceived(int total) override;
    void bytesSent(int total) override;

signals:
    void progress(int percent);

private:
    void readDeviceIdentity(MLPConnection* connection);
    bool deviceFitsFile();
    void transfer(MLPConnection* connection, MLU2File& file);
    bool transferDone(const MLPWriteResult& written, bool mayLackLastAck);
    void finish(bool succeeded);
    Q_INVOKABLE void emitOutcome(bool succeeded);

    qint64 m_doneBytes = 0;
    qint64 m_currentTransferLength = 0;
    qint64 m_totalBytes = 0;
    QString m_filePath;
    MLPUpdateOutcome m_outcome;
};

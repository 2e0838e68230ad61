#pragma once

#include <QObject>

struct MLPWorkerContext;

// A unit of device work that the worker thread runs synchronously. Requests report their
// outcome with exactly one of workDone() or failed() at the end of run().
class MLPWorkerRequestI : public QObject
{
    Q_OBJECT

public:
    enum failReason
    {
        OperationFailed = 0,
        NoAnswer = 2,
    };
    Q_ENUM(failReason)

    explicit MLPWorkerRequestI(QObject* parent = nullptr);
    ~MLPWorkerRequestI() override;

    virtual void run(MLPWorkerContext* context) = 0;
    // True for a request that writes to the device's memory, which an interruption (a
    // log-off, a shut-down) would leave half-done.
    virtual bool writesToDevice() const { return false; }

signals:
    void workDone();
    void failed(MLPWorkerRequestI::failReason reason);
};

Q_DECLARE_METATYPE(MLPWorkerRequestI::failReason)

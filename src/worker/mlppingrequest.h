#pragma once

#include "mlpworkerrequesti.h"

// Asks the selected device for its information record; the worker thread runs it back to
// back while nothing else is pending, so it doubles as the connection watchdog.
class MLPPingRequest : public MLPWorkerRequestI
{
    Q_OBJECT

public:
    explicit MLPPingRequest(QObject* parent = nullptr);

    void run(MLPWorkerContext* context) override;
};

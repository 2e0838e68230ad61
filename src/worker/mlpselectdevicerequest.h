#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpworkerrequesti.h"

#include <cstdint>

// Makes the context's unit the thread's current device, found by its identity: a fresh link
// and connection replace the thread's, and the device's versions are read. Never fails;
// a silent device reports 0xFFFF for both versions and the pings that follow report it lost.
class MLPSelectDeviceRequest : public MLPWorkerRequestI
{
    Q_OBJECT

public:
    static constexpr uint16_t kUnknownVersion = 0xFFFF;

    explicit MLPSelectDeviceRequest(QObject* parent = nullptr);

    void run(MLPWorkerContext* context) override;

    // Only read on the worker thread, after run() has returned.
    uint16_t fwVersion = 0;
    uint16_t hwVersion = 0;
    // The device answered with its information record; the versions are then its own.
    bool answered = false;
    // What the device answered, with the address, link kind and serial number it was found at:
    // the unit that was selected. Empty but for the address when it did not answer.
    MLPDeviceInfoNode device;
};

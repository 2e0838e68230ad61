#pragma once

#include <QString>

#include <cstdint>

// A USB device of a kind the tool drives that this process cannot use.
struct InaccessibleUsbDevice
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t busNumber = 0;
    uint8_t deviceNumber = 0;
    bool accessDenied = false; // Linux's usual cause: no udev rule grants this user the device
    bool noDriver = false;     // Windows' usual cause: the WinUSB driver is not installed for it
    QString problem;
};

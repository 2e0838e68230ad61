#pragma once

#include "mlplinkkind.h"

#include <QMetaType>
#include <QString>

#include <cstdint>

// One discovered device as its information record described it, and the "usb:m/" address
// it was found under.
struct MLPDeviceInfoNode
{
    // A version as devices report it, BCD in both bytes: the hexadecimal digits of the
    // high byte, a dot, then the two hexadecimal digits of the low byte (0x0112 reads 1.12).
    static QString versionText(uint16_t version);

    QString model;
    QString address;
    uint16_t infoWord0 = 0;
    uint16_t hwVersion = 0;
    uint16_t fwVersion = 0;
    uint16_t maxFrameLength = 0;
    // Derived from the position at discovery: the joined list numbers the bridges first.
    marlune::MLP::MLPLinkKind linkKind = marlune::MLP::MLPLinkKind::Unknown;
    // The serial number the bridge or the maker device reported over USB; empty when none
    // was read. With the link kind it names one unit, where the address is only a position.
    QString serial;

    // Whether both nodes name the same physical unit, wherever it is listed now. Without a
    // serial number a unit cannot be recognised again.
    bool isSameUnit(const MLPDeviceInfoNode& other) const
    {
        return !serial.isEmpty() && linkKind == other.linkKind && serial == other.serial;
    }
};

Q_DECLARE_METATYPE(MLPDeviceInfoNode)

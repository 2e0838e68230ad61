#pragma once

#include "mlplinkkind.h"

#include <QMetaType>
#include <QString>

#include <cstdint>

struct MLPDeviceInfoRecord;

// One discovered device as its information record described it, and the "usb:m/" address
// it was found under.
struct MLPDeviceInfoNode
{
    // A version as devices report it, BCD in both bytes: the hexadecimal digits of the
    // high byte, a dot, then the two hexadecimal digits of the low byte (0x0112 reads 1.12).
    static QString versionText(uint16_t version);
    // A device as its information record describes it, found under `address`; the link
    // kind and serial number are the caller's to add.
    static MLPDeviceInfoNode fromRecord(const MLPDeviceInfoRecord& record, const QString& address);
    // The same for a device found where `where` says: its address, link kind and serial number.
    static MLPDeviceInfoNode fromRecord(const MLPDeviceInfoRecord& record, const MLPDeviceInfoNode& where);

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
    // Where the device sits on the bus, "1-2.3" (bus 1, port 2, port 3 of the hub there);
    // empty where the library told none. Another device plugged in or out does not shift it.
    QString portPath;
    // How many attached devices of this link kind reported this serial number when it was
    // listed, this one included; 0 or 1 when it names this device alone.
    int serialShareCount = 0;

    // Whether the serial number names this device alone among those attached.
    bool serialIsOwn() const { return !serial.isEmpty() && serialShareCount <= 1; }

    // The one rule for "is this the same unit", wherever a unit is met again (a discovery,
    // a selection, the check before an update, the unit found after it): the same link kind
    // and serial number, where that serial number is the device's own; otherwise, a device
    // without one or sharing it, the same serial number at the same port path. Only where
    // neither side knows its port path does the address, a mere position, name the unit.
    bool isSameUnit(const MLPDeviceInfoNode& other) const;
};

Q_DECLARE_METATYPE(MLPDeviceInfoNode)

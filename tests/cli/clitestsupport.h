#pragma once

#include "virtualdevice.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Shared by the command-line tests: virtual devices and the bytes they received.
namespace clitest {

inline std::shared_ptr<marlune::testing::VirtualDevice>
makeDevice(const std::string& model, uint16_t hwVersion = 0x0100, uint16_t fwVersion = 0x0203)
{
    marlune::testing::VirtualDeviceIdentity identity;
    identity.model = model;
    identity.hwVersion = hwVersion;
    identity.fwVersion = fwVersion;
    identity.maxFrameLength = 128;
    return std::make_shared<marlune::testing::VirtualDevice>(identity);
}

inline QByteArray toBytes(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// A plain version as update files hold it (1.00 is 0x0100), as a device reports it in BCD.
inline uint16_t toBcd(uint16_t plainVersion)
{
    const auto bcd = [](int value) { return (value / 10) << 4 | (value % 10); };
    return static_cast<uint16_t>(bcd(plainVersion >> 8) << 8 | bcd(plainVersion & 0xFF));
}

} // namespace clitest

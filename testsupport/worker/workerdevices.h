#pragma once

#include "virtualdevice.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marlune::testing {

// A virtual device for the suites that run the worker over emulated USB: the model and the
// BCD versions the test varies; 128-byte frames, so that an update takes many segments. It
// takes on the firmware it is sent, as a real unit does.
std::shared_ptr<VirtualDevice> makeDevice(const std::string& model, uint16_t hwVersion = 0x0100,
                                          uint16_t fwVersion = 0x0203);

// What a virtual device received, to compare with the bytes of an update file.
QByteArray toBytes(const std::vector<uint8_t>& bytes);

} // namespace marlune::testing

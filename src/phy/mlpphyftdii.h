#pragma once

#include "mlpphy.h"

#include <cstdint>
#include <string>

namespace marlune::MLP {

// The interface of links to devices behind an FTDI USB-serial bridge. It replaces the
// harmless byte-link defaults with obligations and adds the device list of the family.
class MLPPhyFtdiI : public MLPPhy
{
public:
    ~MLPPhyFtdiI() override;

    void open(const std::string& address) override = 0;
    void close() override = 0;
    MLPPhyReadResult readByte() override = 0;
    bool write(const uint8_t* data, uint32_t length) override = 0;

    // Builds the list of bridges this link accepts; returns its length.
    virtual int32_t enumerate() = 0;
    // Closes the open bridge, then opens the one at `index` of that list, if there is one.
    virtual void openIndex(int32_t index) = 0;
};

} // namespace marlune::MLP

#pragma once

#include "mlpphyreadresult.h"

#include <cstdint>
#include <string>

namespace marlune::MLP {

// The byte link under the MLP protocol. Every operation has a harmless default so a link
// without an open device still answers every call; a missing byte is an ordinary answer,
// because the protocol layer keeps its own clock.
class MLPPhy
{
public:
    virtual ~MLPPhy();

    virtual void open(const std::string& address);
    virtual void close();
    virtual MLPPhyReadResult readByte();
    // True when the link accepted every byte. A link without an open device accepts none.
    virtual bool write(const uint8_t* data, uint32_t length);
    virtual int32_t lastError();
    virtual std::string errorString(int32_t code);
};

} // namespace marlune::MLP

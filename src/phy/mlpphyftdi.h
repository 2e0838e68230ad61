#pragma once

#include "mlpphyftdid2xx.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlune::MLP {

// The FTDI link of the program: accepts the bridges that describe themselves as one of the
// maker's two DMX interfaces (MLPUsbIdentities).
class MLPPhyFtdi : public MLPPhyFtdiD2xx
{
public:
    int32_t enumerate() override;

    // The serial number of the bridge at a position of the last enumeration; empty beyond it.
    std::string serialAt(int32_t index) const;

private:
    std::vector<std::string> m_serials;
};

} // namespace marlune::MLP

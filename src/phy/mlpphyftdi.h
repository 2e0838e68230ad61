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
    // Bridges of our USB ids that the last enumeration found open in another program: their
    // description cannot be read, so they cannot be accepted, nor told from others' bridges.
    int32_t heldBridgeCount() const { return m_heldBridges; }

private:
    std::vector<std::string> m_serials;
    int32_t m_heldBridges = 0;
};

} // namespace marlune::MLP
